// How korve's programs start on every system: with their arguments in UTF-8.
//
// Windows hands a program its arguments in full only in UTF-16, to wmain():
// through main() a name holding a letter outside the ANSI code page arrives
// as '?'. The programs take them in UTF-8, so that they open any file and
// name paths in their messages as they were typed (file.h turns them back
// into the system's paths).
#pragma once

namespace korve {

// A program's own main, over arguments in UTF-8.
using ProgramMain = int (*)(int argc, const char* const* argv);

#ifdef _WIN32
// Runs `program` with wmain()'s arguments in UTF-8.
int run_with_utf8_arguments(int argc, wchar_t** argv, ProgramMain program);
#endif

}  // namespace korve
