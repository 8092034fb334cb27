#!/usr/bin/env bash
# Converts every file of a folder of real ALASM sources and checks each run:
# status 1, one output line per stored line, no undefined token, and the same
# console text and output when the file comes through a pipe. ALASM ends
# its data with a zero byte, which reads as one more, empty, line: the
# manifest does not count it, the output does.
#
#   tests/corpus_check.sh KORVE CORPUS_DIR
#
# CORPUS_DIR holds MANIFEST.tsv (saved_path and line_records columns) beside
# the files it names. Without the folder there is nothing to check. korve
# runs through KORVE_TEST_LAUNCHER where it is set, as in the other
# whole-program tests.
set -euo pipefail
read -r -a korve <<< "${KORVE_TEST_LAUNCHER-}"
korve+=("$1")
corpus=$2
if [ ! -f "$corpus/MANIFEST.tsv" ]; then
  echo "no corpus at $corpus: nothing to check"
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

checked=0 failed=0
while IFS=$'\t' read -r path records; do
  case "$path" in odd/*) continue ;; esac
  console=$("${korve[@]}" "$corpus/$path" "$work/out.asm") && status=0 || status=$?
  piped=$(cat "$corpus/$path" | "${korve[@]}" /dev/stdin "$work/piped.asm") && piped_status=0 ||
    piped_status=$?
  lines=none last=none
  if [ -f "$work/out.asm" ]; then
    lines=$(wc -l < "$work/out.asm")
    last=$(tail -n 1 "$work/out.asm")
  fi
  if [ "$status" -ne 1 ] || [ "$lines" != "$((records + 1))" ] || [ -n "$last" ] || grep -q 'Error' <<<"$console"; then
    echo "FAIL $path: status $status, $lines lines for $records records"
    failed=$((failed + 1))
  elif [ "$piped_status" -ne "$status" ] || [ "$piped" != "$console" ] ||
       ! cmp -s "$work/piped.asm" "$work/out.asm"; then
    echo "FAIL $path: converts differently through a pipe"
    failed=$((failed + 1))
  fi
  checked=$((checked + 1))
  rm -f "$work/out.asm" "$work/piped.asm"
done < <(awk -F'\t' 'NR > 1 { print $1 "\t" $6 }' "$corpus/MANIFEST.tsv")

echo "$((checked - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
