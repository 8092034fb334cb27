#include <cstdio>

#include "driver.h"

#ifdef _WIN32

#include <string>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

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

// Windows hands a program its arguments in full only in UTF-16: through
// main() a name holding a letter outside the ANSI code page arrives as '?'.
// korve takes them in UTF-8, so that it opens any file and names paths in
// its messages as they were typed.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        args.push_back(utf8(argv[i]));
    }
    std::vector<const char*> pointers;
    for (const std::string& arg : args) {
        pointers.push_back(arg.c_str());
    }
    return static_cast<int>(korve::run(argc, pointers.data(), stdout));
}

#else

int main(int argc, char** argv) {
    return static_cast<int>(korve::run(argc, argv, stdout));
}

#endif
