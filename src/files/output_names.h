// The names of the files that text is written to: safe on every file
// system, and distinct where a file system ignores case.
//
// A file's text takes its whole name and ".asm" (GAME.$h gives GAME.$h.asm),
// so that two files that differ only in type never meet. A file on a disk
// image is named by its TR-DOS name and type, "NAME.T"; those may hold any
// byte, and so, byte by byte:
//
//   byte                                  becomes
//   below 0x20, 0x7F, / \ : * ? " < > |   "_": names that some file system
//                                         refuses or reads as a path
//   0x80 and above                        its letter in CP866, in UTF-8
//   any other                             itself
//
// and then a name that would be "..", the folder above, becomes "__", and a
// name that Windows keeps for a device (CON, PRN, AUX, NUL, COM1-COM9,
// LPT1-LPT9, before the first dot and in any case) gains a leading "_": a
// file of that name would be the device.
//
// Names given out in one folder are claimed there: one that differs from a
// claimed one only in case (ASCII and Cyrillic letters) gains " (2)", " (3)"
// and on, since on Windows or a Mac the two would be one file.
#pragma once

#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/trdos_image.h"

namespace korve {

// The names of an image's files (live_entries), in their order, their host
// spellings (trdos_name.h) distinct among themselves as claim_name makes
// them: what their text files are named, less kTextSuffix (alasm_text.h),
// wherever they are written.
std::vector<std::string> image_file_names(std::span<const CatalogueEntry> files);

// The TR-DOS name that the name of a text file gives back, as its bytes in
// CP866: the name less ".asm" (or ".txt") and less its type ".H" (or a
// Hobeta file's ".$h"), in any case: PGMFLASH.H.asm gives PGMFLASH, GAME.$h.asm
// GAME. Nothing where a character has no byte in CP866. Whether TR-DOS
// takes the name (its length) is trdos_image.h's to say.
std::optional<std::string> trdos_name_of(std::string_view file_name);

// The name of a file of ALASM text less ".asm", in any case, which its own
// text is named by as a disk file's is by "NAME.T": fade0.asm gives fade0,
// PGMFLASH.H.asm PGMFLASH.H. Nothing where the name does not end in ".asm":
// a file is read as ALASM text by its name, never by guessing at its bytes.
std::optional<std::string> text_stem(std::string_view file_name);

// The name of the Hobeta file a text goes back into: the name less ".asm"
// (or ".txt"), and less a one-letter type, with ".$h": GAME.$h.asm gives
// GAME.$h, PGMFLASH.H.asm PGMFLASH.$h, notes.txt notes.$h.
std::string hobeta_file_name(std::string_view text_file_name);

// The names claimed in one folder, each in the form that ignores case.
struct ClaimedNames {
    std::set<std::string> folded;
};

// `stem` and `suffix`, or `stem (2)` and `suffix` and on where a name that
// differs only in case is claimed; claims it. The number goes before the
// suffix, so that a text's name still ends in ".asm".
std::string claim_name(ClaimedNames& claimed, std::string_view stem, std::string_view suffix = {});

}  // namespace korve
