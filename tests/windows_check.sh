#!/usr/bin/env bash
# Cross-builds korve.exe with MinGW-w64, packs the Windows zip, and runs the
# whole-program tests of the Linux build against the korve.exe unpacked from
# it under Wine: the same console text, statuses and output bytes, every line
# ending in CR LF.
#
#   tests/windows_check.sh [LINUX_BUILD [WINDOWS_BUILD]]   (default: build build-windows)
#
# Needs the packages g++-mingw-w64-x86-64-posix, mandoc, zip, unzip and wine64.
# Wine keeps its prefix in $KORVE_WINEPREFIX (default ~/.cache/korve-wine),
# made on first use.
set -euo pipefail
cd "$(dirname "$0")/.."
linux=$(realpath -m "${1:-build}")
windows=$(realpath -m "${2:-build-windows}")

fail() {
    echo "windows check: $*" >&2
    exit 1
}

cmake --preset windows -B "$windows"
cmake --build "$windows" -j2

# The zip a Windows user downloads: one folder holding korve.exe, its manual
# page as a web page, the README, the licences and the changes. The checks
# below run the korve.exe unpacked from it.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$windows/CMakeCache.txt")
folder=korve-$version-win64
zip=$windows/$folder.zip
rm -f "$windows"/korve-*-win64.zip
(cd "$windows" && cpack -G ZIP) >/dev/null || fail "cpack -G ZIP failed"
[ -f "$zip" ] || fail "cpack made no $zip"
held=$(unzip -Z1 "$zip" | grep -v '/$' | LC_ALL=C sort | tr '\n' ' ')
expected=$(printf "$folder/%s " CHANGELOG.md LICENSE LICENSE.mingw-w64.txt README.md korve-manual.html korve.exe)
[ "$held" = "$expected" ] || fail "$zip holds: $held"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$zip" -d "$unpacked"
grep -q 'id="EXIT_STATUS"' "$unpacked/$folder/korve-manual.html" || fail "korve-manual.html shows no manual page"
echo "windows check: $zip holds $held"
exe=$unpacked/$folder/korve.exe

# Self-contained: it needs only the DLLs that come with Windows.
for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
    case ${dll,,} in
        kernel32.dll | msvcrt.dll) ;;
        *) fail "korve.exe needs $dll" ;;
    esac
done

# The Linux test program runs whichever korve it is told to.
[ -f "$linux/CMakeCache.txt" ] || cmake --preset default -B "$linux"
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
