#include <cstdio>

#include "base/program_entry.h"
#include "korve/driver.h"

namespace {

int run_korve(int argc, const char* const* argv) {
    return static_cast<int>(korve::run(argc, argv, stdout));
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    return korve::run_with_utf8_arguments(argc, argv, run_korve);
}
#else
int main(int argc, char** argv) { return run_korve(argc, argv); }
#endif
