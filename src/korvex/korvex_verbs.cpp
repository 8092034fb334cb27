#include "korvex/korvex_verbs.h"

#include <array>

namespace korve::command_line {
namespace {

constexpr OptionRow kQuiet = {OptionId::Quiet, "quiet", 'q', "", "report errors only"};
constexpr OptionRow kVerbose = {OptionId::Verbose, "verbose", 'v', "",
                                "also name each file written, with its line count"};
constexpr OptionRow kStart = {OptionId::Start, "start", '\0', "ADDR",
                              "the start address of a file stored as it is (decimal, #hex or 0xhex): "
                              "a new code file needs one; a file replaced keeps its own without it"};
constexpr OptionRow kHelp = {OptionId::Help, "help", 'h', "", "show this help"};
constexpr OptionRow kForce = {OptionId::Force, "force", '\0', "", "write over files that exist"};
constexpr OptionRow kAlasmText = {OptionId::AlasmText, "alasm-text", '\0', "",
                                  "read each INPUT named (- too) as ALASM text, whatever its name; "
                                  "a file named *.asm is read so without it"};

constexpr std::array<OptionRow, 11> kTextOptions = {{
    {OptionId::Output, "output", 'o', "DIR|FILE|-",
     "write every file into the folder DIR (made if missing), the one input's text into "
     "FILE, or to standard output (-, as without -o)"},
    kForce,
    {OptionId::Charset, "charset", '\0', "CP866|CP1251|KOI8-R",
     "read bytes of 0x80 and above in that code page and write them in UTF-8 (an ALASM "
     "text's are UTF-8); without it they are written as stored"},
    {OptionId::Eol, "eol", '\0', "lf|crlf", "the line end; without it the system's"},
    {OptionId::Layout, "layout", '\0', "stored|tidy",
     "stored (the default) is korve's text; tidy is label, tab, mnemonic, tab, operands, "
     "without the stored spaces beside the tabs or at the end of a line"},
    {OptionId::Dialect, "dialect", '\0', "alasm|sjasmplus|pasmo",
     "the assembler the text is for: alasm (the default) is the text as stored; sjasmplus and "
     "pasmo build the bytes ALASM builds, and a line that cannot promise it is reported"},
    {OptionId::Main, "main", '\0', "NAME",
     "with --dialect, translate only the source NAME (a TR-DOS name: PGMFLASH.H, or PGMFLASH "
     "for type H) and the sources it includes, directly or not"},
    kAlasmText,
    kQuiet,
    kVerbose,
    kHelp,
}};

constexpr OptionRow kTextCharset = {
    OptionId::Charset, "charset", '\0', "CP866|CP1251|KOI8-R",
    "read bytes of 0x80 and above in that code page and write them in UTF-8 (an ALASM "
    "text's are UTF-8); without it they are written as stored"};

constexpr std::array<OptionRow, 5> kListOptions = {{
    {OptionId::Json, "json", '\0', "", "print one JSON document (see korvex(1))"},
    {OptionId::Charset, "charset", '\0', "CP866|CP1251|KOI8-R",
     "read an ALASM text as UTF-8, stored in that code page, as pack stores it"},
    kAlasmText,
    kQuiet,
    kHelp,
}};

constexpr std::array<OptionRow, 8> kPackOptions = {{
    {OptionId::Output, "output", 'o', "OUT",
     "write the ALASM data to OUT, whose name chooses what it is: .trd a TR-DOS disk image, "
     ".scl an SCL archive, .fdi or .udi an FDI or UDI floppy image of that disk, .$h a Hobeta file, any other name "
     "bare data"},
    kForce,
    {OptionId::Charset, "charset", '\0', "CP866|CP1251|KOI8-R",
     "read the text as UTF-8 and store it in that code page; without it its bytes are stored "
     "as they are"},
    {OptionId::Name, "name", '\0', "NAME[.T]",
     "the name on the disk and in the header, for one TEXT; without it the text's file name "
     "less .asm and its type (PGMFLASH.H.asm gives PGMFLASH). A type other than H stores the "
     "file as it is, byte for byte (a build: --name GAME.C)"},
    kStart,
    kQuiet,
    {OptionId::Verbose, "verbose", 'v', "", "also name each text packed, with its line count"},
    kHelp,
}};

constexpr std::array<OptionRow, 10> kPutOptions = {{
    {OptionId::Output, "output", 'o', "OUT",
     "write the changed DISK to OUT, and leave DISK as it is; without it DISK is changed in place"},
    {OptionId::Force, "force", '\0', "",
     "with -o, write over a file that exists; without it, change a DISK that has other names "
     "(hard links) under its own name alone, the others keeping its old bytes"},
    {OptionId::Name, "name", '\0', "NAME[.T]",
     "the file on the disk that the one TEXT replaces, or adds: a TR-DOS name, of type H "
     "without .T; without it the file korvex text names as the TEXT is named. A type other "
     "than H stores the file as it is, byte for byte (a build: --name GAME.C)"},
    kStart,
    {OptionId::Charset, "charset", '\0', "CP866|CP1251|KOI8-R",
     "the TEXT was written with korvex text --charset: UTF-8, stored in that code page"},
    {OptionId::Eol, "eol", '\0', "lf|crlf", "taken as text takes it: either line end reads alike"},
    {OptionId::Layout, "layout", '\0', "stored|tidy",
     "the TEXT was written with korvex text --layout: its unchanged lines are compared in it"},
    kQuiet,
    {OptionId::Verbose, "verbose", 'v', "", "also say what each TEXT changed"},
    kHelp,
}};

constexpr std::array<OptionRow, 6> kGetOptions = {{
    {OptionId::Output, "output", 'o', "DIR",
     "write the files into the folder DIR (made if missing); without it, the current folder"},
    kForce,
    {OptionId::Hobeta, "hobeta", '\0', "",
     "write each file as a Hobeta file, NAME.$T: its header, then its whole sectors"},
    kQuiet,
    {OptionId::Verbose, "verbose", 'v', "", "also name each file written"},
    kHelp,
}};

constexpr std::array<OptionRow, 4> kShowOptions = {{
    kTextCharset,
    kAlasmText,
    {OptionId::Textconv, "textconv", '\0', "",
     "for git's textconv: a file that cannot be read is said in the text alone, and the "
     "status is 0"},
    kHelp,
}};

constexpr std::array<OptionRow, 3> kDiffOptions = {{kTextCharset, kAlasmText, kHelp}};

constexpr std::array<OptionRow, 1> kLspOptions = {{kHelp}};

constexpr std::string_view kInputs =
    "An INPUT is a file (bare ALASM data, a Hobeta file, a TR-DOS disk image, an SCL\n"
    "archive, or an FDI, UDI or TD0 floppy image of a TR-DOS disk, told apart by\n"
    "their content), a file of ALASM text named *.asm, a folder, walked in sorted\n"
    "order, or - for standard input.";

constexpr std::string_view kTexts =
    "A TEXT is a file of text in ALASM's dialect, as korve and korvex text write it or\n"
    "as a person typed it, or - for standard input (which --name then names).";

constexpr std::string_view kPutInputs =
    "DISK is a TR-DOS disk image, an SCL archive, an FDI or UDI floppy image (a TD0\n"
    "is read only), or a Hobeta file or bare ALASM data (then with one TEXT). A TEXT\n"
    "is a file of text in ALASM's dialect, as korvex text wrote it and a person\n"
    "edited it, or - for standard input (which --name then names on a disk).";

constexpr std::string_view kGetInputs =
    "DISK is a TR-DOS disk image, an SCL archive, or an FDI, UDI or TD0 floppy image;\n"
    "a NAME.T is a file on it, named as korvex list shows it (PGMFLASH.C).";

constexpr std::string_view kLspInputs =
    "It takes no INPUT: an editor starts it, and the folder of each text it opens is\n"
    "that text's project, as korvex text takes a folder of texts.";

constexpr std::array<VerbRow, 8> kVerbs = {{
    {"text", Verb::Text, kTextOptions, "[OPTION...] INPUT...",
     "write every ALASM source the inputs hold as text",
     "Converts the ALASM data of each INPUT to text, a line per stored line, as\n"
     "korve does; an ALASM text is read as pack stores it. With one ALASM input and\n"
     "no -o the text goes to standard output; the files of disk images, folders and\n"
     "several inputs go into a folder, -o DIR.\n"
     "An existing file is never written over without --force.",
     kInputs},
    {"list", Verb::List, kListOptions, "[--json] INPUT...", "tell what each input holds",
     "Tells what each INPUT is: ALASM data with its header's name, length and line\n"
     "count; or a disk image, with each live file's name, type, start, length,\n"
     "sectors, whether it holds ALASM data, its line count and its problem.",
     kInputs},
    {"pack", Verb::Pack, kPackOptions, "[OPTION...] -o OUT TEXT...",
     "store text as ALASM data again, on a disk image or in a Hobeta file",
     "Stores each TEXT as ALASM data, as ALASM's editor stores a line, and writes\n"
     "them to OUT: a TR-DOS disk image (.trd) or an SCL archive (.scl) holding a file\n"
     "per TEXT, or one TEXT as a Hobeta file (.$h) or bare data (any other name).\n"
     "A Hobeta file among the TEXTs is stored as its header names it, and a file\n"
     "given --name NAME.T of a type other than H byte for byte.\n"
     "An existing file is never written over without --force.",
     kTexts},
    {"put", Verb::Put, kPutOptions, "[OPTION...] DISK TEXT...",
     "store edited text back into the disk image or file it came from",
     "Stores each TEXT back into DISK: in the file korvex text wrote it from, its\n"
     "unchanged lines keeping their stored bytes and its changed lines stored as pack\n"
     "stores them, or as a new file. Every other file stays as it was. DISK is changed\n"
     "in place, whole or not at all, unless -o names another file to write.\n"
     "A Hobeta file among the TEXTs is stored as its header names it, and a file\n"
     "given --name NAME.T of a type other than H byte for byte.",
     kPutInputs},
    {"get", Verb::Get, kGetOptions, "[--hobeta] [--force] [-o DIR] DISK [NAME.T...]",
     "copy files off a disk image or an archive",
     "Copies each named file, or every file, off DISK into a folder: its bytes as the\n"
     "catalogue's length gives them, named NAME.T, or with --hobeta a Hobeta file.\n"
     "An existing file is never written over without --force.",
     kGetInputs},
    {"show", Verb::Show, kShowOptions, "[--charset CP] [--textconv] INPUT",
     "print everything an input holds as one text, for people and for git",
     "Prints each file INPUT holds under a heading line, sorted by name and type:\n"
     "  ==== NAME.T  start S  length L  fnv XXXXXXXX\n"
     "then an ALASM source's text as text writes it. Lines end in LF everywhere.",
     kInputs},
    {"diff", Verb::Diff, kDiffOptions, "[--charset CP] A B",
     "compare two inputs file by file, as diff -r does",
     "Compares A and B file by file: names the files only one holds, prints a\n"
     "unified diff of each ALASM source's text, and says which other files differ.",
     kInputs},
    {"lsp", Verb::Lsp, kLspOptions, "", "serve an editor ALASM text's problems and names",
     "Speaks the Language Server Protocol on standard input and output: publishes\n"
     "what pack refuses, characters the code page lacks (CP866, or korvex.codePage\n"
     "among the initialization options), blocks left open or closed twice, labels\n"
     "defined twice or never; answers with a text's symbols, the definition and the\n"
     "references of a label across the files INCLUDE joins, and folding ranges.",
     kLspInputs},
}};

constexpr std::string_view kDiffStatuses =
    "Exit status: 0 when they are the same; 1 when they differ; 2 for a usage error or\n"
    "a file that cannot be opened or read.";

constexpr std::string_view kStatuses =
    "Exit status: 0 when every input converted; 1 when one did not convert in full;\n"
    "2 for a usage error or a file that cannot be opened, read or written.";

}  // namespace

std::span<const VerbRow> verb_rows() { return kVerbs; }

std::string_view inputs_help() { return kInputs; }

constexpr std::string_view kLspStatuses =
    "Exit status: 0 after the client's shutdown and exit; 1 when exit came without\n"
    "shutdown, or standard input ended first.";

std::string_view statuses_help(Verb verb) {
    switch (verb) {
        case Verb::Diff: return kDiffStatuses;
        case Verb::Lsp: return kLspStatuses;
        default: return kStatuses;
    }
}

}  // namespace korve::command_line
