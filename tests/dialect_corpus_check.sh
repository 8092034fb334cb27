#!/usr/bin/env bash
# Translates the real sources of a corpus for sjasmplus and for pasmo and
# builds them with both:
#
#   tests/dialect_corpus_check.sh "TRANSLATE" SJASMPLUS PASMO CORPUS_DIR
#
# TRANSLATE is the command that translates, given `--dialect D -o DIR
# INPUT...` after it (`build/korvex text`), its first word korvex itself; it
# names the files it writes after the inputs (SCRUTIL.H gives SCRUTIL.H.asm)
# and reports each line it cannot translate as `INPUT:LINE: cannot
# translate: ...`. A translation that says `; Build: sjasmplus FILE` (one
# sjasmplus assembles into its memory) is built as it says, and saves its
# bytes where its SAVEBIN says; any other is built with `sjasmplus --raw=`.
#
# 1. A text with a Cyrillic string and comment, packed with --charset CP866
#    and translated with it, is UTF-8 and builds the string's CP866 bytes.
# 2. PGMFLASH, from its folder and from its disk image, and with --main
#    from its disk image, with and without --charset CP866, builds with both
#    to exactly the bytes ALASM built; --main exits with status 0.
# 3. Every source project in real/ translates with no report but those
#    listed below, and each of its main files (one that names no MAIN and
#    that no other file includes) assembles in both targets with no error
#    but the sources' own faults listed below; where both build it, they
#    build the same bytes (vs_test.$h, whose ORG goes back, among them).
# 4. Line for line: on every disk image and in every project, each stored
#    line N is line N of the sjasmplus translation. Each line of the ALASM
#    text gets a comment with its number (";@N"), the text is packed again
#    and translated; line N must end with that comment (line 1 may end with
#    the heading after it). A source sjasmplus assembles into its memory
#    that includes another is the one known exception (its bookkeeping
#    stands on lines of its own); the corpus holds none.
# 5. A folder of texts is one project, as a disk is: the texts korvex writes
#    off each disk image, translated as a folder of ALASM text, give every
#    byte the image's own translation gives, with and without --charset
#    CP866, for both targets.
# Some commits' folders hold only the files they changed: the files they
# include and lack come from the complete folder of the same disk, the one
# ALASM's binary was built from. A file is named here by its path below the
# corpus's folder of its repository.
# Deleted catalogue entries are translated but not built, and a file cut
# short inside a record (odd/) is left out.
#
# Exit status 77 (skipped) without either assembler, or without the corpus
# once the first check has passed.
set -uo pipefail
# korvex runs through KORVE_TEST_LAUNCHER where it is set, as in the other
# whole-program tests.
read -r -a launcher <<< "${KORVE_TEST_LAUNCHER-}"
read -r -a translate <<< "$1"
korvex=("${launcher[@]}" "${translate[0]}")
translate=("${launcher[@]}" "${translate[@]}")
sjasmplus=$2
pasmo=$3
corpus=$4
if [ ! -x "$sjasmplus" ] || [ ! -x "$pasmo" ]; then
  echo "sjasmplus ($sjasmplus) or pasmo ($pasmo) is missing: skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The lines reported as untranslatable: DIALECT FOLDER/FILE:LINE.
expected_reports=""
# The sources' own faults: DIALECT FOLDER/MAIN-FILE, and why.
#   dhr8 jumps with JR further than JR reaches (its line 168).
#   The PGMFLASH.H and FLAUTILS.H of commit 72c4106 both define PROGRAM.
expected_faults="\
sjasmplus depk--z80--kod.trd@dea9a7b/dhr8.H
pasmo depk--z80--kod.trd@dea9a7b/dhr8.H
sjasmplus z80--pgmflash--PGMFLASH.TRD@72c4106/PGMFLASH.H
pasmo z80--pgmflash--PGMFLASH.TRD@72c4106/PGMFLASH.H"

# The files whose lines move in sjasmplus's translation (FOLDER/FILE, how
# many lines): sources it assembles into its memory that include others.
expected_lines_off=""

failed=0
fail() { echo "FAIL $*"; failed=$((failed + 1)); }

# Assembles DIR/FILE for DIALECT into OUT; the assembler's words in OUT.log.
assemble() {
  local dialect=$1 dir=$2 file=$3 out=$4 build saved
  rm -f "$out"
  if [ "$dialect" = pasmo ]; then
    (cd "$dir" && "$pasmo" --bin "$file" "$out") > "$out.log" 2>&1
    return
  fi
  build=$(grep -m 1 '^; Build: sjasmplus ' "$dir/$file")
  if [ -z "$build" ]; then
    (cd "$dir" && "$sjasmplus" --nologo --raw="$out" "$file") > "$out.log" 2>&1
    return
  fi
  saved=$(grep -o -P -m 1 '^\tSAVEBIN\t"\K[^"]+' "$dir/$file")
  (cd "$dir" && rm -f "$saved" && eval "\"\$sjasmplus\" --nologo ${build#; Build: sjasmplus }") \
    > "$out.log" 2>&1 && mv "$dir/$saved" "$out"
}

# 1. A string's bytes through --charset: "Привет" is 8F E0 A8 A2 A5 E2 in
#    CP866, and the comment beside it is UTF-8 again.
printf '\tORG\t#8000\n\tDB\t"Привет, мир",0 ;строка\n' > "$work/cyrillic.asm"
printf '\x8f\xe0\xa8\xa2\xa5\xe2, \xac\xa8\xe0\x00' > "$work/cyrillic.bin"
"${korvex[@]}" pack --charset CP866 -o "$work/CYRILLIC.H" "$work/cyrillic.asm" > /dev/null
for dialect in sjasmplus pasmo; do
  dir=$work/cyrillic-$dialect
  "${translate[@]}" --dialect $dialect --charset CP866 -o "$dir/" "$work/CYRILLIC.H" > "$dir.log" 2>&1 ||
    fail "the Cyrillic text for $dialect: $(cat "$dir.log")"
  if ! iconv -f UTF-8 -t UTF-8 "$dir/CYRILLIC.H.asm" > /dev/null 2>&1 ||
     ! grep -q ';строка' "$dir/CYRILLIC.H.asm"; then
    fail "the Cyrillic text for $dialect is not the UTF-8 it was"
  fi
  assemble $dialect "$dir" CYRILLIC.H.asm "$dir/out.bin"
  if cmp -s "$dir/out.bin" "$work/cyrillic.bin"; then
    echo "The Cyrillic string: $dialect builds its CP866 bytes"
  else
    fail "the Cyrillic string: $dialect does not build its CP866 bytes"
  fi
done

# 1b. Instructions of several operands build what the same instructions one
#     to a line build, in both.
several="PUSH AF,BC,IX|POP IY,HL,AF|INC HL,DE,(HL),(IX+1)|DEC L,L,BC|OR H,L,(HL),#0F
AND B,5|XOR D,E|CP H,1|SUB B,C|RLC B,(HL)|SRL A,(IY+2)|SLI C,D|LD L,0,H,'S,A,(HL)
ADD HL,BC,IX,DE|EX DE,HL,AF,AF'|BIT 0,A,7,(HL)|SET 1,B,2,(IX+3)|RES 3,C,4,D
IN A,(#FE),B,(C)|OUT (#FE),A,(C),B"
single="PUSH AF|PUSH BC|PUSH IX|POP IY|POP HL|POP AF|INC HL|INC DE|INC (HL)|INC (IX+1)
DEC L|DEC L|DEC BC|OR H|OR L|OR (HL)|OR #0F|AND B|AND 5|XOR D|XOR E|CP H|CP 1|SUB B|SUB C
RLC B|RLC (HL)|SRL A|SRL (IY+2)|SLI C|SLI D|LD L,0|LD H,'S|LD A,(HL)|ADD HL,BC|ADD IX,DE
EX DE,HL|EX AF,AF'|BIT 0,A|BIT 7,(HL)|SET 1,B|SET 2,(IX+3)|RES 3,C|RES 4,D|IN A,(#FE)
IN B,(C)|OUT (#FE),A|OUT (C),B"
for form in several single; do
  { printf '\tORG\t#8000\nS'
    tr '|' '\n' <<< "${!form}" | sed 's/^\([A-Z]*\) /\t\1\t/'
    printf '\tJR\tS\n'; } > "$work/$form.asm"
  "${korvex[@]}" pack -o "$work/${form^^}.H" "$work/$form.asm" > /dev/null
  for dialect in sjasmplus pasmo; do
    dir=$work/$form-$dialect
    "${translate[@]}" --dialect $dialect -o "$dir/" "$work/${form^^}.H" > "$dir.log" 2>&1 ||
      fail "$form operands for $dialect: $(cat "$dir.log")"
    assemble $dialect "$dir" "${form^^}.H.asm" "$work/$form-$dialect.bin"
  done
done
if cmp -s "$work/several-sjasmplus.bin" "$work/single-sjasmplus.bin" &&
   cmp -s "$work/several-pasmo.bin" "$work/single-pasmo.bin" &&
   cmp -s "$work/several-sjasmplus.bin" "$work/several-pasmo.bin"; then
  echo "Several operands: both build what the instructions one to a line build"
else
  fail "several operands build other bytes than the instructions one to a line"
fi

if [ ! -d "$corpus/real" ] || [ ! -f "$corpus/builds/pgmflash-3f1a178.bin" ]; then
  echo "no corpus at $corpus: the rest skipped"
  [ "$failed" -eq 0 ] && exit 77
  exit 1
fi
pgmflash=$(find "$corpus/real" -type d -name 'z80--pgmflash--PGMFLASH.TRD@3f1a178' | head -n 1)

# Translates INPUT... for DIALECT into DIR; the reports, as FILE:LINE, in
# DIR.reports.
translate_into() {
  local dialect=$1 dir=$2
  shift 2
  mkdir -p "$dir"
  "${translate[@]}" --dialect "$dialect" -o "$dir" "$@" > "$dir.log" 2>&1
  echo $? > "$dir.status"
  grep -o '[^ ]*:[0-9]*: cannot translate' "$dir.log" | sed 's/: cannot translate$//; s|.*/||' \
    > "$dir.reports" || true
}

# 2. PGMFLASH, to the bytes ALASM built.
reference=$corpus/builds/pgmflash-3f1a178.bin
for dialect in sjasmplus pasmo; do
  for source in folder image main main-cp866; do
    dir=$work/pgmflash-$dialect-$source
    case $source in
      folder) translate_into $dialect "$dir" "$pgmflash"/{PGMFLASH,SCRUTIL,define,LOADFILE,FLAUTILS}.H ;;
      image) translate_into $dialect "$dir" "$corpus/images/pgmflash.trd" ;;
      main) translate_into $dialect "$dir" --main PGMFLASH.H "$corpus/images/pgmflash.trd" ;;
      main-cp866)
        translate_into $dialect "$dir" --main PGMFLASH --charset CP866 "$corpus/images/pgmflash.trd" ;;
    esac
    if [ "$(cat "$dir.status")" != 0 ]; then
      fail "PGMFLASH from its $source for $dialect: exit status $(cat "$dir.status")"
    fi
    if [ $source != image ] && [ $source != folder ] &&
       [ "$(ls "$dir" | tr '\n' ' ')" != "FLAUTILS.H.asm LOADFILE.H.asm PGMFLASH.H.asm SCRUTIL.H.asm define.H.asm " ]; then
      fail "PGMFLASH from its $source for $dialect wrote $(ls "$dir" | tr '\n' ' ')"
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

# Translates INPUT... for sjasmplus with each line's number as its comment,
# under NAME, and counts in $lines_off the files where a line moved.
lines_checked=0
lines_off=""
check_lines() {
  local name=$1 dir=$work/lines/$1 text file off
  shift
  mkdir -p "$dir/text" "$dir/marked" "$dir/packed"
  "${korvex[@]}" text -q -o "$dir/text" "$@" > "$dir/text.log" 2>&1
  for text in "$dir"/text/*.asm; do
    file=$(basename "$text")
    case "$file" in deleted-entry*) continue ;; esac
    awk '{ print $0 " ;@" NR }' "$text" > "$dir/marked/$file"
    "${korvex[@]}" pack -q -o "$dir/packed/${file%.asm}" "$dir/marked/$file" > "$dir/pack.log" 2>&1 ||
      fail "lines: $name/$file does not pack again: $(head -n 2 "$dir/pack.log")"
  done
  translate_into sjasmplus "$dir/sjasmplus" "$dir"/packed/*
  for text in "$dir"/marked/*.asm; do
    file=$(basename "$text")
    lines_checked=$((lines_checked + $(wc -l < "$text")))
    off=$(awk -v lines="$(wc -l < "$text")" \
      'NR <= lines && $0 !~ (";@" NR "( ; Translated by korvex for sjasmplus: .*)?$") { off++ }
       END { print off + (NR < lines ? lines - NR : 0) }' "$dir/sjasmplus/$file")
    [ "$off" -eq 0 ] || lines_off+="$name/${file%.asm} $off"$'\n'
  done
}
for image in "$corpus"/images/*.trd "$corpus"/images/*.scl; do
  check_lines "images/$(basename "$image")" "$image"
done

# 5. Each disk's texts, translated as a folder.
texts_same=0
for image in "$corpus"/images/*.trd "$corpus"/images/*.scl; do
  for charset in "" CP866; do
    dir=$work/texts/$(basename "$image")${charset:+-$charset}
    mkdir -p "$dir/text"
    "${korvex[@]}" text -q ${charset:+--charset $charset} -o "$dir/text" "$image" > "$dir/text.log" 2>&1
    for dialect in sjasmplus pasmo; do
      translate_into $dialect "$dir/$dialect-disk" ${charset:+--charset $charset} "$image"
      translate_into $dialect "$dir/$dialect-texts" ${charset:+--charset $charset} "$dir/text"
      if diff -r "$dir/$dialect-disk" "$dir/$dialect-texts" > "$dir/$dialect.diff"; then
        texts_same=$((texts_same + 1))
      else
        fail "$(basename "$dir"): its texts translated for $dialect differ from the disk's translation:"
        head -n 20 "$dir/$dialect.diff"
      fi
    done
  done
done
echo "$texts_same translations of a disk's texts give the disk's translation"

# 3. Every project.
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
  check_lines "$name" "${inputs[@]}"
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
if ! diff <(sed "/^$/d" <<< "$lines_off" | sort) <(sed "/^$/d" <<< "$expected_lines_off" | sort) \
     > "$work/lines.diff"; then
  fail "the files whose lines move in sjasmplus's translation, with how many (< found, > expected):"
  cat "$work/lines.diff"
fi
echo "$lines_checked stored lines checked: $(sed "/^$/d" <<< "$lines_off" | wc -l) files where lines move"
echo "$projects projects; $built main files built by both targets, $same of them to the same bytes;" \
     "$(wc -l < "$reports") lines reported, $(sort -u "$faults" | wc -l) known faults"
[ "$failed" -eq 0 ]
