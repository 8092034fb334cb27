// The web page's way into korve: the whole program, run on files in the
// in-memory file system that WebAssembly gives it, exactly as the command
// line runs it. The page's script writes the input there, calls
// korve_web_run and reads back the console text and the output.
//
// What an input is, and what the header of its ALASM data says, comes from
// the core's own units through korve_web_read_input: the script puts the
// input's first bytes in WebAssembly's memory and reads the answer through
// the korve_web_input_* functions. Disk images come through memory too:
// korve_web_read_image reads one into a DiskImage on the heap, the script
// reads what it needs through the korve_web_image_* and korve_web_entry_*
// functions. Bytes (a name, a Hobeta file) are read through the
// korve_web_bytes_* functions. Whatever a korve_web_read_* function gives is
// the script's, to give back to the matching korve_web_free_* function.
// Each entry's Hobeta file then converts through korve_web_run, as any file.
//
// korvex runs whole, too: korve_web_run_korvex takes its words and writes
// what it prints to two files, so that the page gives scripts exactly what
// the command line gives, and gives back what `text` wrote as values (each
// text's file, its lines, the lines it could not translate and why): the
// page draws those, and never reads korvex's words. The reading view's text
// comes through korve_web_read_view, which tells for every byte the part of
// its line it belongs to, as the converter knew it.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "alasm_lines.h"
#include "alasm_source.h"
#include "alasm_text.h"
#include "byte_reader.h"
#include "catalogue.h"
#include "container.h"
#include "driver.h"
#include "file.h"
#include "hobeta_header.h"
#include "korvex.h"
#include "output_names.h"
#include "trdos_image.h"

namespace {
// Returned instead of an exit status when the console text could not be kept.
constexpr int kConsoleLost = -1;

// What an input is, told from its first bytes, and what its ALASM data's
// header says.
struct InputFacts {
    korve::InputKind kind = korve::InputKind::None;
    bool checksum_matches = true;  // a Hobeta header's
    std::string name;              // the header's name, for ALASM data, as korve prints it
    // The same name as a person reads it: korve prints the header's bytes up
    // to the first zero, and so a name of all eight bytes runs on into the
    // type letter after it ("PGMFLASHH"). Here the name stops at its eight
    // bytes, less the spaces that pad it, and the type is told apart.
    std::string plain_name;
    std::string type;  // the type letter where korve's name shows it; else empty
};

// The first kRecognisedBytes tell an input's kind, and hold its ALASM
// header, behind a Hobeta header or not.
static_assert(korve::kHobetaHeaderSize + korve::kAlasmHeaderSize <= korve::kRecognisedBytes);

// A disk image, the name TR-DOS shows for each of its entries, the name
// korvex gives each entry's files, and the name of its text file.
struct WebImage {
    korve::DiskImage disk;
    std::vector<std::string> full_names;
    std::vector<std::string> file_names;
    std::vector<std::string> text_names;
};

// A korvex run: its exit status, and what `text` wrote.
struct WebKorvexRun {
    int status = 0;
    korve::KorvexReport report;
};

// Where korve stops on ALASM data: the undefined token, as korve's message
// names it ("|0xE7|"), and its line; nothing where it converts every line.
struct StopFacts {
    bool stopped = false;
    std::string token;
    std::size_t line = 0;
};

// ALASM data's text as the reading view shows it: the lines as laid out,
// their bytes before any code page, each followed by '\n'; and for each byte
// of `text`, the part of the line it belongs to (ViewPart). The converter
// knows which bytes were keywords: the colours come from that, not from the
// look of the text.
struct WebView {
    std::string text;
    std::string parts;
};

// The parts of a line the page colours, a letter each. A label is what
// stands before the first keyword (or, with none, outside strings and
// comments): ALASM keeps labels and NAME=expr there.
enum class ViewPart : char {
    Label = 'L',
    Mnemonic = 'M',
    Operand = 'O',   // a keyword among the operands: A, (HL), NZ
    Text = 'T',      // names, numbers, operators among the operands
    Spaces = 'S',
    String = 'Q',
    Comment = 'C',
    LineEnd = 'E',
};

ViewPart view_part(korve::LinePart part, bool before_mnemonic) {
    switch (part) {
        case korve::LinePart::Text:
            return before_mnemonic ? ViewPart::Label : ViewPart::Text;
        case korve::LinePart::Spaces:
            return ViewPart::Spaces;
        case korve::LinePart::Mnemonic:
            return ViewPart::Mnemonic;
        case korve::LinePart::Operand:
            return ViewPart::Operand;
        case korve::LinePart::String:
            return ViewPart::String;
        case korve::LinePart::Comment:
            return ViewPart::Comment;
    }
    return ViewPart::Text;
}

void add_view_line(WebView& view, const korve::DescribedLine& line) {
    bool before_mnemonic = true;
    for (const korve::LinePiece& piece : line.pieces) {
        before_mnemonic = before_mnemonic && piece.part != korve::LinePart::Mnemonic;
        view.text.append(line.text, piece.begin, piece.size);
        view.parts.append(piece.size, static_cast<char>(view_part(piece.part, before_mnemonic)));
    }
    view.text += '\n';
    view.parts += static_cast<char>(ViewPart::LineEnd);
}

// Words packed one after another, each ending in a zero byte, as the script
// writes them; a last word without its zero is dropped.
std::vector<std::string> unpacked_words(const char* words, std::size_t size) {
    std::vector<std::string> unpacked;
    const std::string_view all(words, size);
    for (std::size_t begin = 0; begin < all.size();) {
        const std::size_t end = all.find('\0', begin);
        if (end == std::string_view::npos) {
            break;
        }
        unpacked.emplace_back(all.substr(begin, end - begin));
        begin = end + 1;
    }
    return unpacked;
}

// An input's kind as the script names it.
const char* kind_name(korve::InputKind kind) {
    switch (kind) {
        case korve::InputKind::None:
            return "none";
        case korve::InputKind::BareAlasm:
            return "bare-alasm";
        case korve::InputKind::HobetaAlasm:
            return "hobeta-alasm";
        case korve::InputKind::SclArchive:
            return "scl-archive";
        case korve::InputKind::TrdosImage:
            return "trdos-image";
    }
    return "none";
}

// A problem as the script names it, as `korvex list` does: "" for none. The
// catalogue's keys are string literals, so each ends in a zero.
const char* problem_name(korve::ImageProblem problem) {
    return korve::problem_key(problem).data();
}

const korve::ImageEntry& entry_of(const WebImage* image, std::size_t index) {
    return image->disk.entries[index];
}
}  // namespace

// Runs `korve INPUT OUTPUT` (paths as the command line takes them), writing
// what it prints to the file CONSOLE. Gives korve's exit status.
extern "C" EMSCRIPTEN_KEEPALIVE int korve_web_run(const char* input, const char* output,
                                                  const char* console) {
    korve::File console_file(std::fopen(console, "wb"));
    if (!console_file) {
        return kConsoleLost;
    }
    const char* const argv[] = {"korve", input, output, nullptr};
    const int argc = static_cast<int>(std::size(argv)) - 1;  // argv ends in a null pointer
    const korve::ExitStatus status = korve::run(argc, argv, console_file.get());
    return std::fclose(console_file.release()) == 0 ? static_cast<int>(status) : kConsoleLost;
}

// korve's exit status as the script names it; "" for a number that is none.
extern "C" EMSCRIPTEN_KEEPALIVE const char* korve_web_status_name(int status) {
    switch (static_cast<korve::ExitStatus>(status)) {
        case korve::ExitStatus::Converted:  // also Usage, which the page never meets
            return "converted";
        case korve::ExitStatus::FileError:
            return "file-error";
        case korve::ExitStatus::UndefinedToken:
            return "undefined-token";
        case korve::ExitStatus::NotAlasm:
            return "not-alasm";
    }
    return "";
}

// How many of an input's first bytes korve_web_read_input needs: the script
// need not copy more.
extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_recognised_bytes() {
    return korve::kRecognisedBytes;
}

// Tells what the input whose first bytes (up to korve_web_recognised_bytes,
// or all there are) are the `size` at `bytes` is, and reads its ALASM header
// as korve does.
extern "C" EMSCRIPTEN_KEEPALIVE InputFacts* korve_web_read_input(const unsigned char* bytes,
                                                                std::size_t size) {
    const std::span<const unsigned char> start(bytes, std::min(size, korve::kRecognisedBytes));
    auto* const facts = new InputFacts;
    facts->kind = korve::recognise_input(start);
    if (korve::holds_alasm(facts->kind)) {
        korve::ByteReader reader(start);
        facts->checksum_matches = korve::set_up_alasm(facts->kind, reader).checksum_matches;
        facts->name = korve::read_alasm_name(reader);
        const std::string_view name = facts->name;
        facts->plain_name = name.substr(0, korve::kAlasmNameSize);
        facts->plain_name.erase(facts->plain_name.find_last_not_of(' ') + 1);
        if (name.size() > korve::kAlasmTypeOffset) {
            facts->type = name.substr(korve::kAlasmTypeOffset, 1);
        }
    }
    return facts;
}

extern "C" EMSCRIPTEN_KEEPALIVE void korve_web_free_input(const InputFacts* facts) { delete facts; }

extern "C" EMSCRIPTEN_KEEPALIVE const char* korve_web_input_kind(const InputFacts* facts) {
    return kind_name(facts->kind);
}

extern "C" EMSCRIPTEN_KEEPALIVE bool korve_web_input_checksum_matches(const InputFacts* facts) {
    return facts->checksum_matches;
}

// The name in the ALASM data's header, empty for other input.
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_input_name(const InputFacts* facts) {
    return &facts->name;
}

extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_input_plain_name(
    const InputFacts* facts) {
    return &facts->plain_name;
}

extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_input_type(const InputFacts* facts) {
    return &facts->type;
}

// Reads the `size` bytes at `bytes` as a .trd or an .scl.
extern "C" EMSCRIPTEN_KEEPALIVE WebImage* korve_web_read_image(const unsigned char* bytes,
                                                              std::size_t size) {
    auto* const image = new WebImage{korve::read_disk_image({bytes, size}), {}, {}, {}};
    for (const korve::ImageEntry& entry : image->disk.entries) {
        image->full_names.push_back(korve::full_name(entry));
    }
    image->file_names = korve::image_file_names(image->disk);
    for (const std::string& name : image->file_names) {
        image->text_names.push_back(name + std::string(korve::kTextSuffix));
    }
    return image;
}

// The most bytes an image can hold: the script need not copy more to know
// that a file is no image.
extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_largest_image() { return korve::kLargestImage; }

extern "C" EMSCRIPTEN_KEEPALIVE void korve_web_free_image(const WebImage* image) { delete image; }

extern "C" EMSCRIPTEN_KEEPALIVE const char* korve_web_image_problem(const WebImage* image) {
    return problem_name(image->disk.problem);
}

extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_image_entries(const WebImage* image) {
    return image->disk.entries.size();
}

// Bytes the reader gave, which may hold any byte, a zero among them: the
// script reads them as their place and their size.
extern "C" EMSCRIPTEN_KEEPALIVE const char* korve_web_bytes_data(const std::string* bytes) {
    return bytes->data();
}

extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_bytes_size(const std::string* bytes) {
    return bytes->size();
}

// An entry's fields; `index` below korve_web_image_entries.
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_entry_name(const WebImage* image,
                                                                      std::size_t index) {
    return &entry_of(image, index).name;
}

// The name, a dot and the type, as TR-DOS shows them.
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_entry_full_name(const WebImage* image,
                                                                           std::size_t index) {
    return &image->full_names[index];
}

extern "C" EMSCRIPTEN_KEEPALIVE unsigned char korve_web_entry_type(const WebImage* image,
                                                                   std::size_t index) {
    return static_cast<unsigned char>(entry_of(image, index).type);
}

extern "C" EMSCRIPTEN_KEEPALIVE unsigned korve_web_entry_length(const WebImage* image,
                                                                std::size_t index) {
    return entry_of(image, index).length;
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* korve_web_entry_problem(const WebImage* image,
                                                                    std::size_t index) {
    return problem_name(entry_of(image, index).problem);
}

extern "C" EMSCRIPTEN_KEEPALIVE bool korve_web_entry_alasm(const WebImage* image,
                                                           std::size_t index) {
    return entry_of(image, index).alasm;
}

// The entry's Hobeta file, empty when its data could not be read.
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_entry_hobeta(
    const WebImage* image, std::size_t index) {
    return &entry_of(image, index).hobeta;
}

// The name korvex gives the entry's files, in UTF-8: PGMFLASH.H.
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_entry_file_name(
    const WebImage* image, std::size_t index) {
    return &image->file_names[index];
}

// The name of the text file of an entry: PGMFLASH.H.asm.
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_entry_text_name(
    const WebImage* image, std::size_t index) {
    return &image->text_names[index];
}

// Runs `korvex WORD...`, the `size` bytes at `words` holding the words, each
// ending in a zero byte, with no standard input, writing its standard output
// to the file OUT and its standard error to the file ERR. Gives its exit
// status and what it wrote, to read through korve_web_korvex_*.
extern "C" EMSCRIPTEN_KEEPALIVE WebKorvexRun* korve_web_run_korvex(const char* words,
                                                                  std::size_t size,
                                                                  const char* out,
                                                                  const char* err) {
    const std::vector<std::string> given = unpacked_words(words, size);
    std::vector<const char*> argv{"korvex"};
    for (const std::string& word : given) {
        argv.push_back(word.c_str());
    }
    const int argc = static_cast<int>(argv.size());
    argv.push_back(nullptr);
    auto* const run = new WebKorvexRun;
    korve::File out_file(std::fopen(out, "wb"));
    korve::File err_file(std::fopen(err, "wb"));
    if (!out_file || !err_file) {
        run->status = kConsoleLost;
        return run;
    }
    const korve::KorvexStatus status = korve::run_korvex(
        argc, argv.data(), {nullptr, out_file.get(), err_file.get(), &run->report});
    const bool out_closed = std::fclose(out_file.release()) == 0;
    const bool err_closed = std::fclose(err_file.release()) == 0;
    run->status = out_closed && err_closed ? static_cast<int>(status) : kConsoleLost;
    return run;
}

extern "C" EMSCRIPTEN_KEEPALIVE void korve_web_free_korvex(const WebKorvexRun* run) { delete run; }

extern "C" EMSCRIPTEN_KEEPALIVE int korve_web_korvex_status(const WebKorvexRun* run) {
    return run->status;
}

// The texts `text` wrote, in the order it wrote them; `index` below this.
extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_korvex_texts(const WebKorvexRun* run) {
    return run->report.texts.size();
}

// The source a text came from, as korvex's messages name it.
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_korvex_text_input(
    const WebKorvexRun* run, std::size_t index) {
    return &run->report.texts[index].input;
}

// The file it was written to, as korvex's messages name it: the -o folder,
// then its name there; empty where nothing was written.
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_korvex_text_file(
    const WebKorvexRun* run, std::size_t index) {
    return &run->report.texts[index].file;
}

extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_korvex_text_lines(const WebKorvexRun* run,
                                                                       std::size_t index) {
    return run->report.texts[index].lines;
}

// The lines of a text that could not be translated: how many, and each
// one's number (from 1) and reason.
extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_korvex_untranslated(
    const WebKorvexRun* run, std::size_t index) {
    return run->report.texts[index].untranslated.size();
}

extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_korvex_untranslated_line(
    const WebKorvexRun* run, std::size_t index, std::size_t line) {
    return run->report.texts[index].untranslated[line].number;
}

extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_korvex_untranslated_reason(
    const WebKorvexRun* run, std::size_t index, std::size_t line) {
    return &run->report.texts[index].untranslated[line].reason;
}

// The name of the Hobeta file the text file named `name` (UTF-8) goes back
// into: GAME.$h.asm gives GAME.$h, PGMFLASH.H.asm PGMFLASH.$h. The script
// frees it with korve_web_free_bytes.
extern "C" EMSCRIPTEN_KEEPALIVE std::string* korve_web_hobeta_name(const char* name) {
    return new std::string(korve::hobeta_file_name(name));
}

// The name of the text file written for the file named `name` (UTF-8):
// GAME.$h gives GAME.$h.asm. The script frees it with korve_web_free_bytes.
extern "C" EMSCRIPTEN_KEEPALIVE std::string* korve_web_text_name(const char* name) {
    return new std::string(std::string(name) + std::string(korve::kTextSuffix));
}

extern "C" EMSCRIPTEN_KEEPALIVE void korve_web_free_bytes(const std::string* bytes) { delete bytes; }

// Where korve stops on the ALASM data (bare or behind a Hobeta header) that
// is the `size` bytes at `bytes`; null for bytes that hold no ALASM data.
extern "C" EMSCRIPTEN_KEEPALIVE StopFacts* korve_web_read_stop(const unsigned char* bytes,
                                                              std::size_t size) {
    const std::span<const unsigned char> input(bytes, size);
    const korve::InputKind kind =
        korve::recognise_input(input.first(std::min(size, korve::kRecognisedBytes)));
    if (!korve::holds_alasm(kind)) {
        return nullptr;
    }
    korve::ByteReader reader(input);
    const korve::TextReport report = korve::convert_to_text(reader, kind, {}, nullptr);
    auto* const stop = new StopFacts;
    if (report.end.undefined) {
        const std::string text =
            korve::undefined_token_text(report.end.undefined->byte, report.end.undefined->mode);
        stop->stopped = true;
        stop->token = text.substr(text.find_first_not_of(' '));
        stop->line = report.end.lines + 1;
    }
    return stop;
}

extern "C" EMSCRIPTEN_KEEPALIVE void korve_web_free_stop(const StopFacts* stop) { delete stop; }

extern "C" EMSCRIPTEN_KEEPALIVE bool korve_web_stop_stopped(const StopFacts* stop) {
    return stop->stopped;
}

extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_stop_token(const StopFacts* stop) {
    return &stop->token;
}

extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_stop_line(const StopFacts* stop) {
    return stop->line;
}

// The text of the ALASM data (bare or behind a Hobeta header) that is the
// `size` bytes at `bytes`, for the reading view, in the layout `tidy` asks
// for: the lines korvex writes, up to an undefined token. Null for bytes
// that hold no ALASM data.
extern "C" EMSCRIPTEN_KEEPALIVE WebView* korve_web_read_view(const unsigned char* bytes,
                                                            std::size_t size, bool tidy) {
    const std::span<const unsigned char> input(bytes, size);
    const korve::InputKind kind =
        korve::recognise_input(input.first(std::min(size, korve::kRecognisedBytes)));
    if (!korve::holds_alasm(kind)) {
        return nullptr;
    }
    auto* const view = new WebView;
    korve::ByteReader reader(input);
    const korve::AlasmSource source = korve::read_source(reader, kind);
    const korve::TextLayout layout = tidy ? korve::TextLayout::Tidy : korve::TextLayout::Stored;
    for (std::size_t i = 0; i < source.size(); ++i) {
        add_view_line(*view, korve::laid_out(source.line(i), layout));
    }
    return view;
}

extern "C" EMSCRIPTEN_KEEPALIVE void korve_web_free_view(const WebView* view) { delete view; }

extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_view_text(const WebView* view) {
    return &view->text;
}

extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_view_parts(const WebView* view) {
    return &view->parts;
}
