#!/usr/bin/env bash
# Checks that every include in src/ points down the layers and that no units
# include each other, directly or round a circle; web/'s C++ stands above
# them all. Prints each fault as compilers do, FILE:LINE: error: WHAT, and
# exits 1 if there is one.
#
#   tests/layers_check.sh [SOURCE_DIR]     (the checkout: by default, this one's)
#
# An include names its folder from src/ ("formats/trdos_image.h"); web/'s
# own headers are named as they are ("korve_web.h"). A unit is a header and
# its source: a source that includes a header which includes the source's
# own header again closes a circle too.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

# The layers, from the bottom up: a folder, then the folders it may include
# besides its own. docs/source-layout.md says what lives in each.
layers='
base
formats      base
alasm        base formats
translation  base formats alasm
files        base formats alasm translation
inputs       base formats alasm translation files
lsp          base formats alasm translation files inputs   # the language server
korvex       base formats alasm translation files inputs lsp
korve        base formats                         # korve, the classic one
web          base formats alasm translation files inputs lsp korvex korve   # the page
'

mapfile -t sources < <({ find src -name '*.h' -o -name '*.cpp'
                         find web -maxdepth 1 \( -name '*.h' -o -name '*.cpp' \); } | LC_ALL=C sort)
[ ${#sources[@]} -gt 0 ] || { echo "layers_check: no sources under $(pwd)/src" >&2; exit 2; }

printf '%s\n' "${sources[@]}" | LC_ALL=C awk -v layers="$layers" '
function folder_of(path,   parts, count) {
    count = split(path, parts, "/")
    if (parts[1] == "web") return "web"
    return count == 3 ? parts[2] : ""
}
function unit_of(path) { sub(/^src\//, "", path); sub(/\.(h|cpp)$/, "", path); return path }
function fail(where, what) { print where ": error: " what; failed = 1 }
# The file an include names, as the compiler finds it; "" where none is.
function resolve(from, named) {
    if (folder_of(from) == "web" && (("web/" named) in known)) return "web/" named
    return ("src/" named) in known ? "src/" named : ""
}
# Follows the includes out of `unit`; a unit met again on the way is a circle.
function visit(unit,   i, next_unit, j, circle) {
    state[unit] = "open"
    path[++depth] = unit
    for (i = 1; i <= edges[unit]; i++) {
        next_unit = edge_to[unit, i]
        if (state[next_unit] == "open") {
            circle = ""
            for (j = depth; path[j] != next_unit; j--) circle = " -> " path[j] circle
            circle = next_unit circle " -> " next_unit
            fail(edge_where[unit, i], "includes " edge_named[unit, i] \
                 ", which includes this unit again: " circle)
        } else if (state[next_unit] == "") {
            visit(next_unit)
        }
    }
    depth--
    state[unit] = "done"
}
BEGIN {
    count = split(layers, rows, "\n")
    for (r = 1; r <= count; r++) {
        sub(/#.*/, "", rows[r])
        if (split(rows[r], words, " ") == 0) continue
        layer[words[1]] = ++layer_count
        allowed[words[1], words[1]] = 1
        for (w = 2; w in words; w++) allowed[words[1], words[w]] = 1
        delete words
    }
}
NR == FNR {
    known[$0] = 1
    if (folder_of($0) == "")
        fail($0 ":1", "a file of src/ lies in one folder of its layer, as src/formats/container.h")
    else if (!(folder_of($0) in layer))
        fail($0 ":1", folder_of($0) "/ is no layer: give it its row in tests/layers_check.sh")
    next
}
FNR == 1 {
    from = FILENAME
    from_folder = folder_of(from)
    from_unit = unit_of(from)
    if (!(from_unit in seen)) { seen[from_unit] = 1; units[++unit_count] = from_unit }
}
/^[ \t]*#[ \t]*include[ \t]*"/ {
    named = $0
    sub(/^[^"]*"/, "", named)
    sub(/".*$/, "", named)
    where = from ":" FNR
    to = resolve(from, named)
    if (to == "") {
        fail(where, "\"" named "\" names no file of src/ by its folder (as \"formats/trdos_image.h\")")
        next
    }
    to_folder = folder_of(to)
    if (!(from_folder in layer) || !(to_folder in layer)) next
    if (!((from_folder, to_folder) in allowed)) {
        if (layer[to_folder] > layer[from_folder])
            fail(where, from_folder "/ includes " named " above it")
        else
            fail(where, from_folder "/ includes " named ", which it may not: see tests/layers_check.sh")
        next  # said: the circles it closes would say it again
    }
    to_unit = unit_of(to)
    if (to_unit != from_unit && !((from_unit, to_unit) in linked)) {
        linked[from_unit, to_unit] = 1
        n = ++edges[from_unit]
        edge_to[from_unit, n] = to_unit
        edge_named[from_unit, n] = named
        edge_where[from_unit, n] = where
    }
}
END {
    for (u = 1; u <= unit_count; u++) if (state[units[u]] == "") visit(units[u])
    exit failed
}
' - "${sources[@]}"
