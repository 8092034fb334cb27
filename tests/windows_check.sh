#!/usr/bin/env bash
# Cross-builds korve.exe with MinGW-w64 and runs the whole-program tests of
# the Linux build against it under Wine: the same console text, statuses and
# output bytes, every line ending in CR LF.
#
#   tests/windows_check.sh [LINUX_BUILD [WINDOWS_BUILD]]   (default: build build-windows)
#
# Needs the packages g++-mingw-w64-x86-64-posix and wine64. Wine keeps its
# prefix in $KORVE_WINEPREFIX (default ~/.cache/korve-wine), made on first use.
set -euo pipefail
cd "$(dirname "$0")/.."
linux=$(realpath -m "${1:-build}")
windows=$(realpath -m "${2:-build-windows}")
exe=$windows/korve.exe

fail() {
    echo "windows check: $*" >&2
    exit 1
}

cmake -S . -B "$windows" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DBUILD_TESTING=OFF
cmake --build "$windows" -j2

# Self-contained: it needs only the DLLs that come with Windows.
for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
    case ${dll,,} in
        kernel32.dll | msvcrt.dll) ;;
        *) fail "korve.exe needs $dll" ;;
    esac
done

# The Linux test program runs whichever korve it is told to.
[ -f "$linux/CMakeCache.txt" ] || cmake -S . -B "$linux"
cmake --build "$linux" -j2 --target korve_tests

export WINEDEBUG=-all
# Wine passes arguments and file names between Linux and Windows in the
# locale's character set: UTF-8, so that Cyrillic names come through.
export LC_ALL=C.UTF-8
export WINEPREFIX=${KORVE_WINEPREFIX:-${HOME:-/tmp}/.cache/korve-wine}
mkdir -p "$(dirname "$WINEPREFIX")"
# The first start makes the prefix, which takes a while. Then one server is
# kept up, with Wine's own services started outside the tests' pipes: else
# each run would start them afresh, and they would hold its output open for
# seconds. It ends by itself a little after the last run.
wine "$exe" >/dev/null 2>&1 || true
wineserver -w
wineserver -p5
wine "$exe" >/dev/null 2>&1 || true

KORVE_TEST_BINARY=$exe KORVE_TEST_LAUNCHER=wine KORVE_TEST_NEWLINE=crlf \
    "$linux/tests/korve_tests" --gtest_filter='KorveRun.*'
