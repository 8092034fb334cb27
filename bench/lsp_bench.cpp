// The language server's latency: a project of about 5,000 lines of ALASM
// text in several files joined by INCLUDE, written by this program, served
// by korvex lsp's Server in this process as an editor drives it (initialize,
// the main file and the file edited opened, then a long run of didChange,
// each the whole text of the file edited, as the server asks for). Each edit
// alternates between breaking a line and putting it right, so that every
// change changes the diagnostics. Prints the median time from a change to
// its publishDiagnostics, with the fastest and the slowest, and the peak
// resident memory after opening and after the last edit (Linux; elsewhere
// not known).
//
//   lsp_bench DIR EDITS [TARGET]    DIR an empty folder for the project;
//                                   TARGET korvex.target (default none)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "alasm_writer.h"
#include "lsp/lsp_document.h"
#include "lsp/lsp_server.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFiles = 10;
constexpr std::size_t kLinesEach = 500;
constexpr std::size_t kEdited = 5;  // PART5, opened beside the main file

// A block of a routine, its labels of file `file` and block `block`: a loop
// over a table, a call into the next file, a relative jump back.
void add_block(std::vector<std::string>& lines, std::size_t file, std::size_t block) {
    const std::string name = "F" + std::to_string(file) + "_B" + std::to_string(block);
    const std::string next = "F" + std::to_string((file + 1) % kFiles) + "_B" + std::to_string(block);
    lines.push_back("; " + name + ": adds the file's constant to each byte of its table");
    lines.push_back(name + "  LD HL," + name + "_T");
    lines.push_back("        LD B,8");
    lines.push_back(name + "_L LD A,(HL)");
    lines.push_back("        ADD A,STEP" + std::to_string(file));
    lines.push_back("        LD (HL),A");
    lines.push_back("        INC HL");
    lines.push_back("        DJNZ " + name + "_L");
    lines.push_back("        CALL " + next);
    lines.push_back("        JR NZ," + name);
    lines.push_back("        RET");
    lines.push_back(name + "_T DB 1,2,3,4,\"text\",0");
    lines.emplace_back();
}

std::string file_text(std::size_t file) {
    std::vector<std::string> lines;
    lines.push_back("STEP" + std::to_string(file) + " EQU " + std::to_string(file + 1));
    if (file == 0) {
        lines.emplace_back("        ORG #6000");
        for (std::size_t part = 1; part < kFiles; ++part) {
            lines.push_back("        INCLUDE \"PART" + std::to_string(part) + "\"");
        }
    }
    lines.emplace_back("        LOCAL");
    lines.emplace_back("LOOP    DJNZ LOOP");
    lines.emplace_back("        ENDL");
    for (std::size_t block = 0; lines.size() + 13 <= kLinesEach; ++block) {
        add_block(lines, file, block);
    }
    std::string text;
    for (const std::string& line : lines) {
        text += line + '\n';
    }
    return text;
}

std::string file_name(std::size_t file) { return file == 0 ? "main.asm" : "part" + std::to_string(file) + ".asm"; }

std::string json_string(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\t') {
            quoted += "\\t";
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}

std::string open_message(const std::string& uri, const std::string& text) {
    return R"({"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":)" +
           json_string(uri) + R"(,"languageId":"alasm","version":1,"text":)" + json_string(text) + "}}}";
}

std::string change_message(const std::string& uri, std::size_t version, const std::string& text) {
    return R"({"jsonrpc":"2.0","method":"textDocument/didChange","params":{"textDocument":{"uri":)" +
           json_string(uri) + R"(,"version":)" + std::to_string(version) + R"(},"contentChanges":[{"text":)" +
           json_string(text) + "}]}}";
}

// The text edited by change `edit`: every other change breaks a line
// (a name never defined), the next puts it right.
std::string edited(const std::string& text, std::size_t edit) {
    if (edit % 2 == 0) {
        return text;
    }
    std::string changed = text;
    const std::size_t line = 20 + (edit * 7) % (kLinesEach - 40);
    std::size_t at = 0;
    for (std::size_t i = 0; i < line; ++i) {
        at = changed.find('\n', at) + 1;
    }
    changed.insert(at, "        LD A,NOWHERE" + std::to_string(edit) + "\n");
    return changed;
}

// The process's peak resident memory so far, in KiB, where the system says.
std::string peak_memory() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            const std::size_t digits = line.find_first_of("0123456789");
            return digits == std::string::npos ? "?" : line.substr(digits, line.find(' ', digits) - digits);
        }
    }
    return "?";
}

bool publishes(const std::vector<std::string>& sent, const std::string& uri) {
    return std::any_of(sent.begin(), sent.end(), [&](const std::string& body) {
        return body.find("publishDiagnostics") != std::string::npos && body.find(json_string(uri)) != std::string::npos;
    });
}

}  // namespace

int main(int argc, char** argv) {
    char* end = nullptr;
    const std::size_t edits = argc >= 3 ? std::strtoull(argv[2], &end, 10) : 0;
    if ((argc != 3 && argc != 4) || end == argv[2] || *end != '\0' || edits == 0) {
        std::fprintf(stderr, "usage: lsp_bench DIR EDITS [TARGET]\n");
        return EXIT_FAILURE;
    }
    const fs::path folder = fs::absolute(argv[1]);
    std::size_t lines = 0;
    std::vector<std::string> texts;
    for (std::size_t file = 0; file < kFiles; ++file) {
        texts.push_back(file_text(file));
        lines += static_cast<std::size_t>(std::count(texts.back().begin(), texts.back().end(), '\n'));
        if (!korve::testing::write_file(folder / file_name(file), texts.back())) {
            std::fprintf(stderr, "lsp_bench: cannot write into %s\n", argv[1]);
            return EXIT_FAILURE;
        }
    }
    const std::string target = argc == 4 ? argv[3] : "none";
    const std::string main_uri = korve::lsp::uri_of_path(folder / file_name(0));
    const std::string uri = korve::lsp::uri_of_path(folder / file_name(kEdited));
    korve::lsp::Server server;
    server.take(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":{},)"
                R"("initializationOptions":{"korvex":{"target":)" + json_string(target) + "}}}}");
    server.take(R"({"jsonrpc":"2.0","method":"initialized","params":{}})");
    server.take(open_message(main_uri, texts[0]));
    if (!publishes(server.take(open_message(uri, texts[kEdited])), uri)) {
        std::fprintf(stderr, "lsp_bench: opening %s published nothing\n", uri.c_str());
        return EXIT_FAILURE;
    }
    const std::string first_peak = peak_memory();
    std::vector<double> taken;
    for (std::size_t edit = 1; edit <= edits; ++edit) {
        const std::string message = change_message(uri, edit + 1, edited(texts[kEdited], edit));
        const auto start = std::chrono::steady_clock::now();
        const std::vector<std::string> sent = server.take(message);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        if (!publishes(sent, uri)) {
            std::fprintf(stderr, "lsp_bench: change %zu published nothing\n", edit);
            return EXIT_FAILURE;
        }
        taken.push_back(took.count());
    }
    std::sort(taken.begin(), taken.end());
    std::printf("korvex lsp, %zu lines in %zu files (target %s), %zu changes of %s: change to diagnostics "
                "%.1f ms (%.1f-%.1f, 90%% within %.1f); peak memory %s KiB after opening, %s KiB after the "
                "last change\n",
                lines, kFiles, target.c_str(), edits, file_name(kEdited).c_str(), taken[taken.size() / 2],
                taken.front(), taken.back(), taken[taken.size() * 9 / 10], first_peak.c_str(),
                peak_memory().c_str());
    return EXIT_SUCCESS;
}
