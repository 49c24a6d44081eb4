#!/usr/bin/env bash
# Runs the README's recipe for many files, word for word, over a few
# hundred generated texts, and checks every output and console line.
set -euo pipefail
program_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "many files test: $*" >&2; exit 1; }
export PATH="$program_dir:$PATH"
# A sanitizer's leak check cannot run inside the program's seccomp filter.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

count=300
mkdir -p "$work/testi/sotto cartella"
for i in $(seq "$count"); do
  dir=$work/testi
  [ $((i % 3)) -eq 0 ] && dir="$work/testi/sotto cartella"
  printf 'Testo numero %d, con parole in più da tagliare. Fine %d.' "$i" "$i" > "$dir/testo $i.txt"
done
# One file that cannot be read: its failure must show.
mkdir "$work/testi/cartella.txt"

cd "$work"
status=0
find testi -name '*.txt' -type f -print0 |
  xargs -0 -n 1 -P "$(nproc)" sh -c \
    'spezzafrasi "$1" "${1%.txt}.periodi" || echo "non riuscito: $1 (stato $?)" >&2' sh \
    > console.txt 2> failures.txt || status=$?
[ "$status" -eq 0 ] || fail "xargs ended with $status"
[ ! -s failures.txt ] || fail "unexpected failures: $(cat failures.txt)"

for i in $(seq "$count"); do
  dir=testi
  [ $((i % 3)) -eq 0 ] && dir="testi/sotto cartella"
  expected=$(printf 'Testo numero %d, con parole in più;\nFine %d;\n;' "$i" "$i")
  [ "$(cat "$dir/testo $i.periodi")" = "$expected" ] || fail "wrong periods for file $i"
  grep -qxF "Periodizzato in $dir/testo $i.periodi" console.txt || fail "no completion line for $i"
done
[ "$(grep -c '^Periodizzazione in corso' console.txt)" -eq "$count" ] || fail "progress lines"
[ "$(wc -l < console.txt)" -eq $((2 * count)) ] || fail "console lines: $(wc -l < console.txt)"

# A failing file is named, with its status, and the others still run.
find testi -name '*.txt' -print0 |
  xargs -0 -n 1 -P "$(nproc)" sh -c \
    'spezzafrasi "$1" "${1%.txt}.periodi" || echo "non riuscito: $1 (stato $?)" >&2' sh \
    > console.txt 2> failures.txt || status=$?
[ "$(cat failures.txt)" = "spezzafrasi: testi/cartella.txt: è una cartella
non riuscito: testi/cartella.txt (stato 1)" ] ||
  fail "the failure was not reported: $(cat failures.txt)"
echo "many files OK"
