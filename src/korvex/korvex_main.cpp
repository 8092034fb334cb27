// korvex's entry point: its driver over the process's own streams.
#include <array>
#include <cstddef>
#include <cstdio>

#include "base/program_entry.h"
#include "korvex/korvex.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// Whether messages go to a person's terminal, which shows each as it is
// written, rather than to a file or a pipe.
bool messages_on_terminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

int run(int argc, const char* const* argv) {
#ifdef _WIN32
    // korvex reads its input's bytes as they are and writes its own line
    // ends; text mode would change both.
    for (std::FILE* stream : std::array{stdin, stdout, stderr}) {
        _setmode(_fileno(stream), _O_BINARY);
    }
#endif
    // A translation may report a line in three; written one at a time to a
    // file, the reports took longer than the translation. The buffer is
    // given, not only its size: the C library would take a block of the
    // file's own size, 4 KiB, a system call for every fifty reports. It is
    // static, as the stream is, which is in use until the process ends;
    // only the C library reads or writes it.
    if (!messages_on_terminal()) {
        static std::array<char, std::size_t{1} << 16> message_buffer;
        std::setvbuf(stderr, message_buffer.data(), _IOFBF, message_buffer.size());
    }
    return static_cast<int>(korve::run_korvex(argc, argv, {stdin, stdout, stderr}));
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return korve::run_with_utf8_arguments(argc, argv, run); }
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
