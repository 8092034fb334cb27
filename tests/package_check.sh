#!/usr/bin/env bash
# Checks what installing korve gives, in a built Linux build folder: the
# install rules, the manual page and the Debian package. Nothing is installed
# on this machine: the package goes into a throwaway root of its own.
#
#   tests/package_check.sh [BUILD]        (default: build)
#
# Needs mandoc and dpkg; checks `man -l` too where man is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
page=docs/korve.1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "package check: $*" >&2
    exit 1
}

# Runs an installed korve on the shipped example; it must finish (status 1)
# with the same text as the build's own korve.
check_runs() {
    local status=0
    "$1" examples/greet.h "$work/installed.asm" >/dev/null || status=$?
    [ "$status" -eq 1 ] || fail "$1 exited with $status on the example"
    "$build/korve" examples/greet.h "$work/built.asm" >/dev/null || true
    cmp -s "$work/installed.asm" "$work/built.asm" || fail "$1 converts the example differently"
}

# The page: clean under mandoc's lint (not even style notes), and it renders.
lint=$(mandoc -Tlint "$page" 2>&1) || fail "mandoc -Tlint fails on $page: $lint"
[ -z "$lint" ] || fail "mandoc -Tlint warns on $page:"$'\n'"$lint"
shown=$(mandoc -Tutf8 "$page")
grep -q 'korve - convert ALASM' <<<"$shown" || fail "$page renders without its NAME line"

# One version throughout: the project's (as packed), the page's and the banner's.
cmake --build "$build" -j2 --target korve
rm -f "$build"/korve_*.deb
(cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1 || fail "cpack failed:"$'\n'"$(cat "$work/cpack.log")"
debs=("$build"/korve_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single korve_*.deb"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
grep -q "^\.TH KORVE 1 .* \"korve $version\"" "$page" || fail "$page does not name version $version"
banner=$("$build/korve" || true)
grep -q "^KORVE v${version%.*} " <<<"$banner" || fail "the banner does not show v${version%.*}"

# The install rules: the program and its page, nothing else.
cmake --install "$build" --prefix "$work/prefix" >/dev/null
installed=$(cd "$work/prefix" && find . -type f | sort | tr '\n' ' ')
[ "$installed" = "./bin/korve ./share/man/man1/korve.1 " ] || fail "installed: $installed"
cmp -s "$page" "$work/prefix/share/man/man1/korve.1" || fail "the installed page differs from $page"
check_runs "$work/prefix/bin/korve"
if command -v man >/dev/null; then
    shown=$(MANPAGER=cat man -l "$work/prefix/share/man/man1/korve.1" 2>&1) || true
    grep -q '^EXIT STATUS' <<<"$shown" || fail "man -l does not show the installed page: $shown"
else
    echo "package check: no man here; the page was checked with mandoc only"
fi

# The Debian package: the same two files, under /usr, kept by the project.
packed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $NF }' | sort | tr '\n' ' ')
[ "$packed" = "./usr/bin/korve ./usr/share/man/man1/korve.1 " ] || fail "$deb holds: $packed"
maintainer=$(dpkg-deb -f "$deb" Maintainer)
[[ "$maintainer" == "korve developers <"* ]] || fail "$deb is kept by: $maintainer"

# dpkg installs it into the throwaway root (whose own database is empty, so
# the C and C++ runtimes it depends on are taken as given) and removes it.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg_root() { dpkg --root="$root" --admindir="$root/var/lib/dpkg" --force-not-root "$@"; }
dpkg_root --force-depends -i "$deb" >/dev/null 2>&1 || fail "dpkg -i $deb failed"
[ -x "$root/usr/bin/korve" ] && [ -f "$root/usr/share/man/man1/korve.1" ] ||
    fail "dpkg -i did not install both files"
check_runs "$root/usr/bin/korve"
dpkg_root -r korve >/dev/null 2>&1 || fail "dpkg -r korve failed"
[ ! -e "$root/usr/bin/korve" ] || fail "dpkg -r left korve behind"

echo "package check: $deb ($version) installs korve and its manual page"
