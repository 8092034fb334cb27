// The web page's way into korve: the whole program, run on files in the
// in-memory file system that WebAssembly gives it, exactly as the command
// line runs it. The page's script writes the input there, calls
// korve_web_run and reads back the console text and the output.
#include <emscripten/emscripten.h>

#include <cstdio>
#include <iterator>

#include "driver.h"

namespace {
// Returned instead of an exit status when the console text could not be kept.
constexpr int kConsoleLost = -1;
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
