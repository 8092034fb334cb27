// korvex's entry point: its driver over the process's own streams.
#include <cstdio>

#include "base/program_entry.h"
#include "korvex/korvex.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include <array>
#endif

namespace {

int run(int argc, const char* const* argv) {
#ifdef _WIN32
    // korvex reads its input's bytes as they are and writes its own line
    // ends; text mode would change both.
    for (std::FILE* stream : std::array{stdin, stdout, stderr}) {
        _setmode(_fileno(stream), _O_BINARY);
    }
#endif
    return static_cast<int>(korve::run_korvex(argc, argv, {stdin, stdout, stderr}));
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return korve::run_with_utf8_arguments(argc, argv, run); }
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
