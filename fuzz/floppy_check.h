// The fuzz target's checks of the floppy images' readers and writers
// (korve_fuzz.cpp): FDI, UDI and Teledisk. Each gives what failed, or nothing.
#pragma once

#include <span>

namespace korve_fuzz {

// The bytes read as an FDI image (where they carry its mark):
//  - no sector's data reaches outside the bytes, a sector cut says so, and
//    an image with a cut sector says it is cut;
//  - reading the image, and the TR-DOS disk on it, twice gives the same;
//    the disk is its sectors' 256 bytes each, each found on a listed sector;
//  - the sectors read whole, written back with their own bytes, give the
//    same image (or are refused, where one lies on the headers);
//  - a change to one sector read (the last byte picks which; not the disk
//    information sector, whose CRC tells the sides) is refused, or written
//    so that the image reads back as the edited disk, the image's bytes
//    changed only in that sector's data and one flag byte.
const char* check_fdi(std::span<const unsigned char> bytes);

// The bytes read as a UDI image: every sector's data within them, whole or
// said to be cut, the same twice; a damaged image is not written to; every
// sound, whole sector written back with its own bytes gives the same image
// (its file CRC made right), and one sector written with new bytes changes
// those, their CRC and the file's CRC alone.
const char* check_udi(std::span<const unsigned char> image);

// The bytes read as a Teledisk image give the same floppy twice, each
// sector's data within the decoded bytes and of its size (less where cut,
// and then not said to be good); the first half of the bytes, unpacked as
// LZHUF, gives the first bytes of what the whole unpacks to.
const char* check_td0(std::span<const unsigned char> bytes);

// The bytes graded by the loader as a named input (inputs/loader.h), as
// korvex reads every input:
//  - the input's own bytes are kept whole (LoadedInput::file);
//  - a floppy image (one its reader takes) carries the .trd that
//    read_trdos_floppy gives of it, else it is of neither kind;
//  - a live file that takes in a sector the floppy did not read whole is
//    lost, and named lost with its problem's words;
//  - where a file is lost, or a catalogue sector the catalogue was read
//    from is damaged, the run does not end with status 0: the loader's
//    problems, with an error for each lost file as the verbs give it,
//    leave it at 1 at least;
//  - a floppy image's own problem (cut short, a wrong file CRC) is said.
const char* check_loaded(std::span<const unsigned char> bytes);

}  // namespace korve_fuzz
