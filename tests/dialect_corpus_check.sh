#!/usr/bin/env bash
# Translates the real sources of a corpus for sjasmplus and for pasmo and
# builds them with both:
#
#   tests/dialect_corpus_check.sh "TRANSLATE" SJASMPLUS PASMO CORPUS_DIR
#
# TRANSLATE is the command that translates, given `--dialect D -o DIR
# INPUT...` after it (`build/korvex text`); it names the files it writes
# after the inputs (SCRUTIL.H gives SCRUTIL.H.asm) and reports each line it
# cannot translate as `INPUT:LINE: cannot translate: ...`.
#
# 1. PGMFLASH, from its folder and from its disk image, builds with
#    `sjasmplus --raw=` and `pasmo --bin` to exactly the bytes ALASM built.
# 2. Every source project in real/ translates with no report but those
#    listed below, and each of its main files (one that names no MAIN and
#    that no other file includes) assembles in both targets with no error
#    but the sources' own faults listed below; where both build it, they
#    build the same bytes.
# Some commits' folders hold only the files they changed: the files they
# include and lack come from the complete folder of the same disk, the one
# ALASM's binary was built from. A file is named here by its path below the
# corpus's folder of its repository.
# Deleted catalogue entries are translated but not built, and a file cut
# short inside a record (odd/) is left out.
#
# Exit status 77 (skipped) without the corpus or either assembler.
set -uo pipefail
read -r -a translate <<< "$1"
sjasmplus=$2
pasmo=$3
corpus=$4
if [ ! -d "$corpus/real" ] || [ ! -f "$corpus/builds/pgmflash-3f1a178.bin" ]; then
  echo "no corpus at $corpus: skipped"
  exit 77
fi
if [ ! -x "$sjasmplus" ] || [ ! -x "$pasmo" ]; then
  echo "sjasmplus ($sjasmplus) or pasmo ($pasmo) is missing: skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The lines reported as untranslatable: DIALECT FOLDER/FILE:LINE.
#   vs_test's ORG #8000 goes back below the table it wrote at #8100, which
#   sjasmplus --raw cannot do.
expected_reports="\
sjasmplus vs_test.\$h:15"
# The sources' own faults: DIALECT FOLDER/MAIN-FILE, and why.
#   dhr8 jumps with JR further than JR reaches (its line 168).
#   The PGMFLASH.H and FLAUTILS.H of commit 72c4106 both define PROGRAM.
expected_faults="\
sjasmplus depk--z80--kod.trd@dea9a7b/dhr8.H
pasmo depk--z80--kod.trd@dea9a7b/dhr8.H
sjasmplus z80--pgmflash--PGMFLASH.TRD@72c4106/PGMFLASH.H
pasmo z80--pgmflash--PGMFLASH.TRD@72c4106/PGMFLASH.H"

pgmflash=$(find "$corpus/real" -type d -name 'z80--pgmflash--PGMFLASH.TRD@3f1a178' | head -n 1)
failed=0
fail() { echo "FAIL $*"; failed=$((failed + 1)); }

# Assembles DIR/FILE for DIALECT into OUT; the assembler's words in OUT.log.
assemble() {
  local dialect=$1 dir=$2 file=$3 out=$4
  rm -f "$out"
  if [ "$dialect" = sjasmplus ]; then
    (cd "$dir" && "$sjasmplus" --nologo --raw="$out" "$file") > "$out.log" 2>&1
  else
    (cd "$dir" && "$pasmo" --bin "$file" "$out") > "$out.log" 2>&1
  fi
}

# Translates INPUT... for DIALECT into DIR; the reports, as FILE:LINE, in
# DIR.reports.
translate_into() {
  local dialect=$1 dir=$2
  shift 2
  mkdir -p "$dir"
  "${translate[@]}" --dialect "$dialect" -o "$dir" "$@" > "$dir.log" 2>&1
  grep -o '[^ ]*:[0-9]*: cannot translate' "$dir.log" | sed 's/: cannot translate$//; s|.*/||' \
    > "$dir.reports" || true
}

# 1. PGMFLASH, to the bytes ALASM built.
reference=$corpus/builds/pgmflash-3f1a178.bin
for dialect in sjasmplus pasmo; do
  for source in folder image; do
    dir=$work/pgmflash-$dialect-$source
    if [ $source = folder ]; then
      translate_into $dialect "$dir" "$pgmflash"/{PGMFLASH,SCRUTIL,define,LOADFILE,FLAUTILS}.H
    else
      translate_into $dialect "$dir" "$corpus/images/pgmflash.trd"
    fi
    if [ -s "$dir.reports" ]; then
      fail "PGMFLASH from its $source for $dialect: $(tr '\n' ' ' < "$dir.reports")"
    fi
    assemble $dialect "$dir" PGMFLASH.H.asm "$dir/out.bin"
    if ! cmp -s "$dir/out.bin" "$reference"; then
      fail "PGMFLASH from its $source: $dialect builds $(stat -c %s "$dir/out.bin" 2>/dev/null || echo no) bytes, not ALASM's $(stat -c %s "$reference")"
      tail -n 5 "$dir/out.bin.log"
    else
      echo "PGMFLASH from its $source: $dialect builds ALASM's $(stat -c %s "$reference") bytes"
    fi
  done
done

# 2. Every project.
reports=$work/reports
faults=$work/faults
: > "$reports"
: > "$faults"
projects=0 built=0 same=0
while IFS= read -r folder; do
  name=${folder#"$corpus/real/"}
  repository=${name#odd/}
  key=${repository#*/}  # the folder less its repository's; "" for the repository's own
  [ "$key" = "$repository" ] && key=
  key=${key:+$key/}
  inputs=()
  for file in "$folder"/*; do
    case "$file" in
      *.catalog-length.H) ;;
      *.H) inputs+=("$file") ;;
      *.'$H' | *.'$h') [ -f "${file%.*}.H" ] || inputs+=("$file") ;;
    esac
  done
  [ ${#inputs[@]} -gt 0 ] || continue
  projects=$((projects + 1))
  for dialect in sjasmplus pasmo; do
    dir=$work/$dialect/$name
    translate_into $dialect "$dir" "${inputs[@]}"
    sed "s|^|$dialect $key|" "$dir.reports" >> "$reports"
  done
  for input in "${inputs[@]}"; do
    file=$(basename "$input")
    case "$file" in deleted-entry*) continue ;; esac
    grep -q '^; MAIN: ' "$work/sjasmplus/$name/$file.asm" && continue
    grep -q "^	INCLUDE	\"$file.asm\"" "$work/sjasmplus/$name"/*.asm && continue
    for dialect in sjasmplus pasmo; do
      dir=$work/$dialect/$name
      for included in $(grep -o -P '^\tINCLUDE\t"\K[^"]+' "$dir/$file.asm"); do
        [ -f "$dir/$included" ] ||
          "${translate[@]}" --dialect $dialect -o "$dir" "$pgmflash/${included%.asm}" > /dev/null 2>&1
      done
      assemble $dialect "$dir" "$file.asm" "$dir/$file.bin" || echo "$dialect $key$file" >> "$faults"
    done
    if [ -f "$work/sjasmplus/$name/$file.bin" ] && [ -f "$work/pasmo/$name/$file.bin" ] &&
       ! grep -q -F -x -e "sjasmplus $key$file" -e "pasmo $key$file" "$faults"; then
      built=$((built + 1))
      if cmp -s "$work/sjasmplus/$name/$file.bin" "$work/pasmo/$name/$file.bin"; then
        same=$((same + 1))
      elif ! grep -q -F "sjasmplus $key$file:" "$reports"; then
        fail "$key$file: sjasmplus and pasmo build different bytes"
      fi
    fi
  done
done < <(find "$corpus/real" -mindepth 1 -type d | sort)

if ! diff <(sort "$reports") <(sed "/^$/d" <<< "$expected_reports" | sort) > "$work/reports.diff"; then
  fail "the reported lines are not the expected ones (< reported, > expected):"
  cat "$work/reports.diff"
fi
if ! diff <(sort -u "$faults") <(sed "/^$/d" <<< "$expected_faults" | sort) > "$work/faults.diff"; then
  fail "the main files that do not assemble are not the expected ones (< failed, > expected):"
  cat "$work/faults.diff"
  grep '^<' "$work/faults.diff" | while read -r _ dialect file; do
    find "$work/$dialect" -path "*/$file.bin.log" -exec tail -n 4 {} \;
  done
fi
echo "$projects projects; $built main files built by both targets, $same of them to the same bytes;" \
     "$(wc -l < "$reports") lines reported, $(sort -u "$faults" | wc -l) known faults"
[ "$failed" -eq 0 ]
