// The page's way into korvex, and the reading view's text: the second half
// of the page's entry into the core (korve_web.cpp holds the first, and the
// korve_web_bytes_* functions that read the strings given here).
//
// korvex runs whole: korve_web_run_korvex takes its words and writes what it
// prints to two files, so that the page gives scripts exactly what the
// command line gives, and gives back what it did as values: what `text`
// wrote (each text's file, its lines, the lines it could not translate and
// why), and every problem it said, with its place. The page draws those, and
// never reads korvex's words to learn what happened to a file. The reading
// view's text comes through korve_web_read_view, which tells for every byte
// the part of its line it belongs to, as the converter knew it. Whatever a
// korve_web_run_* or korve_web_read_* function gives is the script's, to give
// back to the matching korve_web_free_* function.
#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "alasm/alasm_text.h"
#include "base/byte_reader.h"
#include "base/file.h"
#include "formats/alasm_lines.h"
#include "formats/alasm_source.h"
#include "formats/container.h"
#include "korve_web.h"
#include "korvex/korvex.h"

namespace {
// A korvex run: its exit status, and what `text` wrote.
struct WebKorvexRun {
    int status = 0;
    korve::KorvexReport report;
};

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

const korve::WrittenText& text_of(const WebKorvexRun* run, std::size_t index) {
    return run->report.texts[index];
}

const korve::SaidProblem& problem_of(const WebKorvexRun* run, std::size_t index) {
    return run->report.problems[index];
}

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
}  // namespace

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
        run->status = korve_web::kConsoleLost;
        return run;
    }
    const korve::KorvexStatus status = korve::run_korvex(
        argc, argv.data(), {nullptr, out_file.get(), err_file.get(), &run->report});
    const bool out_closed = std::fclose(out_file.release()) == 0;
    const bool err_closed = std::fclose(err_file.release()) == 0;
    run->status = out_closed && err_closed ? static_cast<int>(status) : korve_web::kConsoleLost;
    return run;
}

extern "C" EMSCRIPTEN_KEEPALIVE void korve_web_free_korvex(const WebKorvexRun* run) { delete run; }

// korvex's exit status, or kConsoleLost where what it printed was lost.
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
    return &text_of(run, index).input;
}

// The file it was written to, as korvex's messages name it: the -o folder,
// then its name there; empty where nothing was written.
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_korvex_text_file(
    const WebKorvexRun* run, std::size_t index) {
    return &text_of(run, index).file;
}

extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_korvex_text_lines(const WebKorvexRun* run,
                                                                       std::size_t index) {
    return text_of(run, index).lines;
}

// The lines of a text that could not be translated: how many, and each
// one's number (from 1) and reason.
extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_korvex_untranslated(
    const WebKorvexRun* run, std::size_t index) {
    return text_of(run, index).untranslated.size();
}

extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_korvex_untranslated_line(
    const WebKorvexRun* run, std::size_t index, std::size_t line) {
    return text_of(run, index).untranslated[line].number;
}

extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_korvex_untranslated_reason(
    const WebKorvexRun* run, std::size_t index, std::size_t line) {
    return &text_of(run, index).untranslated[line].reason;
}

// The problems korvex said, in the order it said them; `index` below this.
extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_korvex_problems(const WebKorvexRun* run) {
    return run->report.problems.size();
}

// How bad a problem is: "error", "warning", "note", "progress" or
// "untranslated" (a line that could not be translated).
extern "C" EMSCRIPTEN_KEEPALIVE const char* korve_web_korvex_problem_severity(
    const WebKorvexRun* run, std::size_t index) {
    return korve_web::severity_word(problem_of(run, index).problem.severity);
}

// Where a problem is: the input as korvex's messages name it, a file it
// holds, a line and a column of that file's text; empty or 0 where none.
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_korvex_problem_input(
    const WebKorvexRun* run, std::size_t index) {
    return &problem_of(run, index).problem.where.input;
}

extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_korvex_problem_file(
    const WebKorvexRun* run, std::size_t index) {
    return &problem_of(run, index).problem.where.file;
}

extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_korvex_problem_line(const WebKorvexRun* run,
                                                                         std::size_t index) {
    return problem_of(run, index).problem.where.line;
}

extern "C" EMSCRIPTEN_KEEPALIVE std::size_t korve_web_korvex_problem_column(
    const WebKorvexRun* run, std::size_t index) {
    return problem_of(run, index).problem.where.column;
}

// What it says, and the line korvex printed for it: empty where it printed
// none (progress, which only -v prints).
extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_korvex_problem_text(
    const WebKorvexRun* run, std::size_t index) {
    return &problem_of(run, index).problem.text;
}

extern "C" EMSCRIPTEN_KEEPALIVE const std::string* korve_web_korvex_problem_printed(
    const WebKorvexRun* run, std::size_t index) {
    return &problem_of(run, index).printed;
}

// The text of the ALASM data (bare or behind a Hobeta header) that is the
// `size` bytes at `bytes`, for the reading view, in the layout `tidy` asks
// for: the lines korvex writes, up to an undefined token. Null for bytes
// that hold no ALASM data.
extern "C" EMSCRIPTEN_KEEPALIVE WebView* korve_web_read_view(const unsigned char* bytes,
                                                            std::size_t size, bool tidy) {
    const std::span<const unsigned char> input(bytes, size);
    const std::optional<korve::InputKind> kind = korve_web::alasm_kind(input);
    if (!kind) {
        return nullptr;
    }
    auto* const view = new WebView;
    korve::ByteReader reader(input);
    // korvex's text, a space before the mnemonic read as ALASM reads it.
    const korve::AlasmSource source = korve::read_source(reader, *kind, korve::Reading::AsAlasm);
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
