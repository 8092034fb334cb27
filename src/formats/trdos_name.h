// A TR-DOS file's name, the one way every unit holds one: eight bytes padded
// with spaces and a type byte, as a catalogue entry, a Hobeta header and
// ALASM's own header keep them (their first nine bytes), and every way korvex
// spells one or takes one typed.
//
//   rendering  of PGMFLASH.H                      where it is used
//   shown      the name less its padding, a dot,  messages, `list`, show's
//              the type: a byte below 0x20, 0x7F  headings, the page
//              and the backslash as "\xNN", bytes
//              of 0x80 and above as the code page
//              reads them (CP866, or show's
//              --charset; with none, the bytes)
//   host       the name less its padding, a dot,  the files text and get
//              the type: a byte below 0x20, 0x7F  write, and what `put`
//              and / \ : * ? " < > | as "_",      matches a text's file by
//              0x80 and above in CP866; then
//              ".." becomes "__", and a name
//              Windows keeps for a device (CON,
//              PRN, AUX, NUL, COM1-9, LPT1-9,
//              before the first dot, in any case)
//              gains a leading "_"
//   key        the value itself: the padded bytes what names are compared
//              and the type, so that two names    by
//              TR-DOS takes as one ("TSTPF " and
//              TSTPF) are one
//
// Two files whose host spellings differ only in case are the folder's to
// tell apart (output_names.h numbers the second).
//
// A typed name (`get`'s, `--main`'s, `put --name`'s, a text's file name) is
// the shown or the host spelling of a file, spaces after its name not
// counting: it fits a file whole ("PGMFLASH.H") or by its name alone
// ("PGMFLASH"). It names the first file it fits whole; failing that, the
// one file it fits by name alone; where several of other types fit so, it
// could mean any of them, and the caller says which ("PGMFLASH is
// PGMFLASH.H or PGMFLASH.C: give its type").
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"

namespace korve {

inline constexpr std::size_t kTrdosNameSize = 8;
inline constexpr std::size_t kTrdosNameFields = kTrdosNameSize + 1;  // the name, then the type
inline constexpr unsigned char kNamePadding = ' ';

// Made by trdos_name or catalogue_name, never from a string literal, which
// would pad it with zero bytes: hence the constructor.
struct TrdosName {
    TrdosName() = default;

    std::array<unsigned char, kTrdosNameSize> name = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    unsigned char type = kNamePadding;

    bool operator==(const TrdosName&) const = default;
};

// The name the first kTrdosNameFields bytes of a catalogue entry or a header
// hold, as they stand (fewer: padded with spaces).
TrdosName catalogue_name(std::span<const unsigned char> fields);

// The name a header shows, ALASM's or a Hobeta file's: it ends at its first
// zero, as korve shows it; a catalogue's name holds any byte.
TrdosName header_name(const TrdosName& stored);

// The name an ALASM header's bytes up to its first zero give (its name,
// then its type letter): `typed` where they reach the type.
struct HeaderName {
    TrdosName name;
    bool typed = false;
};
HeaderName alasm_header_name(std::string_view bytes);

// Writes a name into the first kTrdosNameFields bytes of `fields`.
void write_trdos_name(const TrdosName& name, std::span<unsigned char> fields);

// The name's bytes less the spaces that pad it; empty for a name of none.
std::string name_bytes(const TrdosName& name);

// The name's bytes less their padding, a dot and the type, as the catalogue
// holds them: what ALASM's INCLUDE names a file by.
std::string catalogue_text(const TrdosName& name);

// Why bytes cannot be a TR-DOS name: none of them but spaces (which read
// back as no name), more than 8, or a byte below 0x20 (0x00 would end a
// catalogue, 0x01 mark the file deleted).
enum class NameProblem : unsigned char { None, Empty, TooLong, ControlByte };
NameProblem check_trdos_name(std::string_view bytes);
std::string name_problem_text(NameProblem problem);

// The name of `bytes` (at most 8, as check_trdos_name takes them) and `type`.
TrdosName trdos_name(std::string_view bytes, unsigned char type);

// A spelling as a name and a type apart ("PGMFLASH", "H"), and whole.
struct NameParts {
    std::string name;
    std::string type;  // empty where the spelling has none (a host's "__")
};
std::string joined(const NameParts& parts);

// Bytes on one line, the shown rendering's rule: those below 0x20, 0x7F
// and the backslash as "\xNN", so that the line gives the bytes back; the
// rest through `page` (none: as they are).
std::string shown_bytes(std::string_view bytes, std::optional<CodePage> page);

NameParts shown_parts(const TrdosName& name, std::optional<CodePage> page = CodePage::Cp866);
std::string shown_name(const TrdosName& name, std::optional<CodePage> page = CodePage::Cp866);
NameParts host_parts(const TrdosName& name);
// Bytes as a file name takes them, the host spelling's rule byte by byte:
// what a file system refuses or reads as a path as "_", the rest in CP866.
std::string safe_name(std::string_view bytes);
std::string host_name(const TrdosName& name);

// A file as a typed name may name it: its shown spelling (in CP866) and its
// host spelling (host_name's, or the name a folder gave it: "GAME.H (2)").
struct NameCandidate {
    NameParts shown;
    NameParts host;
};
NameCandidate name_candidate(const TrdosName& name);
NameCandidate name_candidate(const TrdosName& name, std::string_view host);
// A host spelling taken apart at its last dot: "SCRUTIL.$h" as SCRUTIL, $h.
NameParts spelled_parts(std::string_view spelling);

enum class NameFit : unsigned char { None, NameAlone, Whole };
NameFit fit_name(std::string_view typed, const NameCandidate& file);

// The files among `files` that `typed` names: the first it fits whole;
// failing that, those it fits by name alone, one of each shown spelling.
// None, one, or the several it could mean.
std::vector<std::size_t> files_named(std::string_view typed, std::span<const NameCandidate> files);

// What a typed name that names several files could mean, in words:
// "PGMFLASH is PGMFLASH.H or PGMFLASH.C: give its type".
std::string ambiguous_name_text(std::string_view typed, std::span<const NameCandidate> files,
                                std::span<const std::size_t> named);

// A typed name that names no file yet, as TR-DOS would store it: its bytes
// in CP866, less a last ".T" that gives its type (or `type` where it has
// none): "NEW.C" gives NEW, C; "NEW" NEW and `type`. Nothing where a
// character has no byte in CP866.
struct TypedName {
    std::string bytes;
    unsigned char type = kNamePadding;
};
std::optional<TypedName> typed_name(std::string_view typed, unsigned char type);

}  // namespace korve
