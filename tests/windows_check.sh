#!/usr/bin/env bash
# Cross-builds korve.exe and korvex.exe with MinGW-w64, packs the Windows
# zip, and runs the whole-program tests of the Linux build against the
# programs unpacked from it under Wine: the same console text, statuses and
# output bytes, every line ending in CR LF.
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

# The zip a Windows user downloads: one folder holding korve.exe and
# korvex.exe, their manual pages as web pages, the README, the licences and
# the changes. The checks below run the programs unpacked from it.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$windows/CMakeCache.txt")
folder=korve-$version-win64
zip=$windows/$folder.zip
rm -f "$windows"/korve-*-win64.zip
(cd "$windows" && cpack -G ZIP) >/dev/null || fail "cpack -G ZIP failed"
[ -f "$zip" ] || fail "cpack made no $zip"
held=$(unzip -Z1 "$zip" | grep -v '/$' | LC_ALL=C sort | tr '\n' ' ')
expected=$(printf "$folder/%s " CHANGELOG.md LICENSE LICENSE.mingw-w64.txt README.md korve-manual.html \
    korve.exe korvex-manual.html korvex.exe)
[ "$held" = "$expected" ] || fail "$zip holds: $held"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$zip" -d "$unpacked"
for program in korve korvex; do
    grep -q 'id="EXIT_STATUS"' "$unpacked/$folder/$program-manual.html" ||
        fail "$program-manual.html shows no manual page"
done
echo "windows check: $zip holds $held"
exe=$unpacked/$folder/korve.exe
korvex_exe=$unpacked/$folder/korvex.exe

# Self-contained: each needs only the DLLs that come with Windows.
for program in "$exe" "$korvex_exe"; do
    for dll in $(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
        case ${dll,,} in
            kernel32.dll | msvcrt.dll) ;;
            *) fail "${program##*/} needs $dll" ;;
        esac
    done
done

# The Linux test program runs whichever korve and korvex it is told to.
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

# Every whole-program test runs: what can differ on Windows (names, line
# ends, permissions, the console) is all there. Each start under Wine takes
# a second or more, so the tests that run every real file run a fixed
# sample of them (KORVE_TEST_SAMPLE: every 10th, and every disk image,
# archive and other case of its own; see tests/program_run.h); the Linux
# build's tests run them all. The tests run in two shards at once, one a
# core, each in its own temporary folders.
export KORVE_TEST_BINARY=$exe KORVEX_TEST_BINARY=$korvex_exe KORVE_TEST_LAUNCHER=wine \
    KORVE_TEST_NEWLINE=crlf KORVE_TEST_SAMPLE=10 GTEST_TOTAL_SHARDS=2
for shard in 0 1; do
    GTEST_SHARD_INDEX=$shard "$linux/tests/korve_tests" --gtest_filter='KorveRun.*:KorvexRun.*' \
        >"$unpacked/shard$shard.log" 2>&1 &
    pids[shard]=$!
done
failed=no
for shard in 0 1; do
    wait "${pids[shard]}" || failed=yes
    cat "$unpacked/shard$shard.log"
done
[ "$failed" = no ] || fail "the whole-program tests failed under Wine"
