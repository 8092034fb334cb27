#!/usr/bin/env bash
# Checks what installing korve gives, in a built Linux build folder: the
# install rules, the manual pages, korvex's bash completion and the Debian
# package, which lintian must pass with no error and no warning. Nothing is installed on this machine:
# the package goes into a throwaway root of its own.
#
#   tests/package_check.sh [BUILD]        (default: build)
#
# Needs mandoc, dpkg-dev and lintian; checks `man` too where man is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "package check: $*" >&2
    exit 1
}

# Runs the installed korve and korvex of the folder $1 on the shipped
# example; korve must finish (status 1), korvex with 0, both with the same
# text as the build's own korve.
check_runs() {
    local status=0
    "$1/korve" examples/greet.h "$work/installed.asm" >/dev/null || status=$?
    [ "$status" -eq 1 ] || fail "$1/korve exited with $status on the example"
    "$build/korve" examples/greet.h "$work/built.asm" >/dev/null || true
    cmp -s "$work/installed.asm" "$work/built.asm" || fail "$1/korve converts the example differently"
    "$1/korvex" text examples/greet.trd -o "$work/korvex" --force ||
        fail "$1/korvex exited with $? on the example"
    cmp -s "$work/korvex/GREET.H.asm" "$work/built.asm" || fail "$1/korvex converts the example differently"
}

# The pages: clean under mandoc's lint (not even style notes), and they render.
for program in korve korvex; do
    page=docs/$program.1
    lint=$(mandoc -Tlint "$page" 2>&1) || fail "mandoc -Tlint fails on $page: $lint"
    [ -z "$lint" ] || fail "mandoc -Tlint warns on $page:"$'\n'"$lint"
    shown=$(mandoc -Tutf8 "$page")
    grep -q "^ *$program - convert ALASM" <<<"$shown" || fail "$page renders without its NAME line"
    grep -q '^\.SH EXIT STATUS$' "$page" || fail "$page has no EXIT STATUS"
done

# One version throughout: the project's (as packed), the manual pages', korvex's
# and that of the packages the README's Install names.
cmake --build "$build" -j2 --target korve korvex
rm -f "$build"/korve_*.deb
# Packed under a strict umask: the package's folders must still be 755.
(cd "$build" && umask 077 && cpack -G DEB) >"$work/cpack.log" 2>&1 ||
    fail "cpack failed:"$'\n'"$(cat "$work/cpack.log")"
debs=("$build"/korve_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single korve_*.deb"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
for page in docs/korve.1 docs/korvex.1; do
    grep -q "^\.TH KORVEX\? 1 .* \"korve $version\"" "$page" || fail "$page does not name version $version"
done
# korve's banner is its classic text, whatever the version: scripts match it.
banner=$("$build/korve" || true)
grep -q "^KORVE v1.1 " <<<"$banner" || fail "the banner is not korve's own: $banner"
[ "$("$build/korvex" --version)" = "korvex $version" ] || fail "korvex --version does not say $version"
for package in "korve_${version}_" "korve-$version-win64.zip"; do
    grep -qF "$package" README.md || fail "README.md's Install does not name $package"
done

# The install rules: the programs, their pages, korvex's completion, the
# licence and the changes.
docs="./share/bash-completion/completions/korvex ./share/doc/korve/changelog.gz"
docs+=" ./share/doc/korve/copyright ./share/man/man1/korve.1.gz ./share/man/man1/korvex.1.gz"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
installed=$(cd "$work/prefix" && find . -type f | sort | tr '\n' ' ')
[ "$installed" = "./bin/korve ./bin/korvex $docs " ] || fail "installed: $installed"
for program in korve korvex; do
    cmp -s "docs/$program.1" <(gzip -dc "$work/prefix/share/man/man1/$program.1.gz") ||
        fail "the installed page differs from docs/$program.1"
done
cmp -s completions/korvex.bash "$work/prefix/share/bash-completion/completions/korvex" ||
    fail "the installed completion differs from completions/korvex.bash"
completed=$(bash -c 'source "$1"; COMP_WORDS=(korvex text --lay); COMP_CWORD=2; _korvex; echo "${COMPREPLY[*]}"' \
    - "$work/prefix/share/bash-completion/completions/korvex")
[ "$completed" = "--layout" ] || fail "the completion completes --lay as: $completed"
grep -q "^License: Expat$" "$work/prefix/share/doc/korve/copyright" ||
    fail "the installed copyright file names no licence"
newest=$(gzip -dc "$work/prefix/share/doc/korve/changelog.gz" | sed -n 1p)
[ "$newest" = "korve ($version) unstable; urgency=medium" ] ||
    fail "the changelog starts with: $newest"
check_runs "$work/prefix/bin"
# Shows the pages as `man korve` and `man korvex` do, from the manual folder $1.
check_man() {
    local shown program
    for program in korve korvex; do
        shown=$(MANPATH=$1 MANPAGER=cat man "$program" 2>&1) || true
        grep -q '^EXIT STATUS' <<<"$shown" || fail "man $program does not show the page in $1: $shown"
    done
}
if command -v man >/dev/null; then
    check_man "$work/prefix/share/man"
else
    echo "package check: no man here; the page was checked with mandoc only"
fi

# The Debian package: the same files under /usr, kept by the project, and a
# note to lintian where the programs are linked statically.
packed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $NF }' | sort | tr '\n' ' ')
expected="./usr/bin/korve ./usr/bin/korvex ${docs//.\//.\/usr\/}"
readelf -l "$build/korve" | grep -q 'program interpreter' ||
    expected+=" ./usr/share/lintian/overrides/korve"
expected=$(tr ' ' '\n' <<<"$expected" | sort | tr '\n' ' ')
[ "$packed" = "$expected" ] || fail "$deb holds: $packed"
maintainer=$(dpkg-deb -f "$deb" Maintainer)
[[ "$maintainer" == "korve developers <"* ]] || fail "$deb is kept by: $maintainer"
command -v lintian >/dev/null || fail "lintian is missing (Debian package lintian)"
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
    fail "lintian finds errors or warnings in $deb:"$'\n'"$(cat "$work/lintian.log")"
echo "package check: $(lintian --version) passes $deb; it said:"
sed 's/^/    /' "$work/lintian.log"

# dpkg installs it into the throwaway root (whose own database is empty, so
# any library it depends on is taken as given) and removes it.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg_root() { dpkg --root="$root" --admindir="$root/var/lib/dpkg" --force-not-root "$@"; }
dpkg_root --force-depends -i "$deb" >/dev/null 2>&1 || fail "dpkg -i $deb failed"
for file in $docs; do
    [ -f "$root/usr/${file#./}" ] || fail "dpkg -i did not install usr/${file#./}"
done
for program in korve korvex; do
    [ -x "$root/usr/bin/$program" ] || fail "dpkg -i did not install $program"
done
check_runs "$root/usr/bin"
if command -v man >/dev/null; then
    check_man "$root/usr/share/man"
fi
dpkg_root -r korve >/dev/null 2>&1 || fail "dpkg -r korve failed"
for program in korve korvex; do
    [ ! -e "$root/usr/bin/$program" ] || fail "dpkg -r left $program behind"
done

echo "package check: $deb ($version) installs korve, korvex, their manual pages, the completion, licence and changes"
