#!/usr/bin/env bash
# Checks what installing korve gives, in a built Linux build folder: the
# install rules, the manual page and the Debian package, which lintian must
# pass with no error and no warning. Nothing is installed on this machine:
# the package goes into a throwaway root of its own.
#
#   tests/package_check.sh [BUILD]        (default: build)
#
# Needs mandoc, dpkg-dev and lintian; checks `man` too where man is installed.
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

# One version throughout: the project's (as packed), the page's, the banner's
# and that of the packages the README's Install names.
cmake --build "$build" -j2 --target korve
rm -f "$build"/korve_*.deb
# Packed under a strict umask: the package's folders must still be 755.
(cd "$build" && umask 077 && cpack -G DEB) >"$work/cpack.log" 2>&1 ||
    fail "cpack failed:"$'\n'"$(cat "$work/cpack.log")"
debs=("$build"/korve_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single korve_*.deb"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
grep -q "^\.TH KORVE 1 .* \"korve $version\"" "$page" || fail "$page does not name version $version"
banner=$("$build/korve" || true)
grep -q "^KORVE v${version%.*} " <<<"$banner" || fail "the banner does not show v${version%.*}"
for package in "korve_${version}_" "korve-$version-win64.zip"; do
    grep -qF "$package" README.md || fail "README.md's Install does not name $package"
done

# The install rules: the program, its page, the licence and the changes.
docs="./share/doc/korve/changelog.gz ./share/doc/korve/copyright ./share/man/man1/korve.1.gz"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
installed=$(cd "$work/prefix" && find . -type f | sort | tr '\n' ' ')
[ "$installed" = "./bin/korve $docs " ] || fail "installed: $installed"
cmp -s "$page" <(gzip -dc "$work/prefix/share/man/man1/korve.1.gz") ||
    fail "the installed page differs from $page"
grep -q "^License: Expat$" "$work/prefix/share/doc/korve/copyright" ||
    fail "the installed copyright file names no licence"
newest=$(gzip -dc "$work/prefix/share/doc/korve/changelog.gz" | sed -n 1p)
[ "$newest" = "korve ($version) unstable; urgency=medium" ] ||
    fail "the changelog starts with: $newest"
check_runs "$work/prefix/bin/korve"
# Shows the page as `man korve` does, from the manual folder $1.
check_man() {
    local shown
    shown=$(MANPATH=$1 MANPAGER=cat man korve 2>&1) || true
    grep -q '^EXIT STATUS' <<<"$shown" || fail "man korve does not show the page in $1: $shown"
}
if command -v man >/dev/null; then
    check_man "$work/prefix/share/man"
else
    echo "package check: no man here; the page was checked with mandoc only"
fi

# The Debian package: the same files under /usr, kept by the project, and a
# note to lintian where korve is linked statically.
packed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $NF }' | sort | tr '\n' ' ')
expected="./usr/bin/korve ${docs//.\//.\/usr\/}"
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
[ -x "$root/usr/bin/korve" ] || fail "dpkg -i did not install korve"
check_runs "$root/usr/bin/korve"
if command -v man >/dev/null; then
    check_man "$root/usr/share/man"
fi
dpkg_root -r korve >/dev/null 2>&1 || fail "dpkg -r korve failed"
[ ! -e "$root/usr/bin/korve" ] || fail "dpkg -r left korve behind"

echo "package check: $deb ($version) installs korve, its manual page, licence and changes"
