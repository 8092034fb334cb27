#include "base/program_entry.h"

#ifdef _WIN32

#include <string>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace korve {
namespace {

// `wide` in UTF-8. Windows never refuses this: a lone surrogate, which no
// name typed as text holds, becomes U+FFFD.
std::string utf8(const wchar_t* wide) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), size, nullptr, nullptr);
    text.resize(text.size() - 1);  // the terminator the conversion wrote
    return text;
}

}  // namespace

int run_with_utf8_arguments(int argc, wchar_t** argv, ProgramMain program) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        args.push_back(utf8(argv[i]));
    }
    std::vector<const char*> pointers;
    for (const std::string& arg : args) {
        pointers.push_back(arg.c_str());
    }
    pointers.push_back(nullptr);
    return program(argc, pointers.data());
}

}  // namespace korve

#endif
