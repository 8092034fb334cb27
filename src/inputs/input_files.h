// The files an input holds, one by one, as `show` and `diff` see them: in
// an order that saving a file again never changes, each with what its
// catalogue says of it, a digest of its bytes and, for ALASM data, its text.
//
// An input is walked into its leaves: the input itself, or each file of a
// folder in sorted order, by its path in the folder ("sub/GAME.trd"). A
// leaf holds files:
//
//   leaf              its files                    a file's own name
//   disk or archive   each live catalogue entry,   "NAME.T", its catalogue's
//                     by name, then type, bytes    name and type; a second
//                     compared as unsigned         file of one name and type
//                                                  " (2)"
//   Hobeta file       itself                       its header's name and type
//   bare ALASM data   itself                       its ALASM header's name
//                                                  and type
//   anything else     itself, where it was named   its file name
//                     (a walk skips it)
//
// Names keep their bytes, as text keeps a source's (or read through
// --charset), but for a byte below 0x20, 0x7F and the backslash, which
// become "\xNN": a name, a folder's path too, is one line of the text, and
// gives its bytes back. A file is known between
// two inputs by its key: its path in the folder, and then, on a disk, a
// colon and its own name. A Hobeta file and bare data need no catalogue
// name to be matched, so a renamed copy still meets its original.
//
// What went wrong is kept as notes, which `show` writes into the text:
//
//   ==== WHERE: error: TEXT       (or warning)
//
// WHERE being the file's heading name (less, for the input itself, nothing)
// and, for a line, a colon and its number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "alasm/alasm_text.h"
#include "base/problem.h"
#include "formats/alasm_lines.h"
#include "formats/container.h"
#include "inputs/korvex_inputs.h"
#include "inputs/loader.h"

namespace korve {

// The start of a heading or a note's line, as no line ALASM assembles
// starts.
inline constexpr std::string_view kHeadingMark = "==== ";

// A file of a walk, and its path in the folder walked ("" for the input).
struct Leaf {
    const InputNode* node = nullptr;
    std::string path;
};

// The files and the unreadable folders under `top`, in the order a walk
// takes them; links to folders and what is no file are left out, as a walk
// skips them.
std::vector<Leaf> walk_leaves(const InputNode& top);

// What went wrong, for a message and for the text.
struct Note {
    Severity severity = Severity::Error;  // Error or Warning
    std::string line;                     // ":57" where a line is meant
    std::string text;
};

struct HeldFile {
    std::string key;      // what it is matched by
    std::string heading;  // its name in its heading: the path, a colon, its own name
    std::string inner;    // its own name on a disk; "" for a file that is the leaf
    std::optional<std::uint16_t> start;  // a catalogue's or a Hobeta header's
    std::size_t length = 0;   // a catalogue's or a Hobeta header's; the file's size
    AlasmPlace place = InputKind::None;  // where its ALASM data is; kind None for other data
    std::string container;    // what its ALASM data is read from: a Hobeta file, a disk file's sectors, or the data
    std::size_t data_begin = 0;  // its bytes in `container`: what the length covers
    std::size_t data_size = 0;
    bool lost = false;           // its data could not be read
    std::vector<Note> notes;     // a lost file, a checksum that does not match

    std::string_view data() const {
        return std::string_view(container).substr(data_begin, data_size);
    }
};

struct HeldFiles {
    std::string heading;    // the leaf's path as headings name it: its notes' WHERE
    std::error_code error;  // the leaf could not be opened or read
    bool opened = false;    // it was opened: the error is in reading it
    std::string failure;    // why it holds nothing, where that is no system error
    InputKind kind = InputKind::None;
    std::vector<Note> notes;  // the image's own problems
    std::vector<HeldFile> files;  // sorted; none for a walked file that holds nothing
};

// Reads a leaf; `walked` where a walk found it rather than a user named it.
// Names' bytes go through `options.charset`, where one is chosen. A file of
// ALASM text is read as `texts` says (loader.h).
HeldFiles read_held_files(const Leaf& leaf, std::FILE* stdin_stream, bool walked,
                          const TextOptions& options, const TextInputs& texts = {});

// Why a leaf could not be read, in a message's words.
std::string failure_words(const Leaf& leaf, const HeldFiles& held);

// A file's text: its lines as stored, and what stopped or marred them.
struct FileText {
    std::vector<std::string> lines;
    std::vector<Note> notes;
};
// Read with `options.reading`, through `options.charset`; the layout stored.
FileText file_text(const HeldFile& file, const TextOptions& options);

// Whether two files hold the same bytes from the same start.
bool same_file(const HeldFile& a, const HeldFile& b);

// "==== NAME  start S  length L  fnv XXXXXXXX": the start left out where
// there is none, the digest where the data is lost.
std::string heading_line(const HeldFile& file);

// "==== WHERE: error: TEXT"; `where` as above.
std::string note_line(std::string_view where, const Note& note);

// What follows a file's heading: its own notes, its text, the text's notes.
std::vector<std::string> body_lines(const HeldFile& file, FileText text);

// "a:b", or either alone where the other is empty.
std::string joined_name(std::string_view outer, std::string_view inner);

}  // namespace korve
