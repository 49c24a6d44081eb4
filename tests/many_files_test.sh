#!/usr/bin/env bash
# Runs the README's recipe for many files, as written there, over a few
# hundred generated texts whose names hold what shells take apart, and
# checks every output and console line, and that a failure is named and
# fails the recipe.
#
# usage: many_files_test.sh PROGRAM_DIR README
set -euo pipefail
program_dir=$1
readme=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "many files test: $*" >&2; exit 1; }
export PATH="$program_dir:$PATH"
# A sanitizer's leak check cannot run inside the program's seccomp filter.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

names=("testo" "con spazi" "l'amica geniale" 'dice "ciao"' "perché è già" "-trattino"
  'costa $5' "stella*")
count=300
mkdir -p "$work/testi/sotto cartella"
name_of() { echo "${names[$1 % ${#names[@]}]} $1"; }
dir_of() { if [ $(($1 % 3)) -eq 0 ]; then echo "testi/sotto cartella"; else echo testi; fi; }
for i in $(seq "$count"); do
  printf 'Testo numero %d, con parole in più da tagliare. Fine %d.' "$i" "$i" \
    > "$work/$(dir_of "$i")/$(name_of "$i").txt"
done
# The README's recipe: the first block after "every core busy".
awk '/every core busy/ { found = 1 } found && /^```$/ { if (inside) exit; inside = 1; next }
     inside' "$readme" > "$work/recipe.sh"
grep -q xargs "$work/recipe.sh" || fail "no recipe found in $readme"

cd "$work"
status=0
bash recipe.sh > console.txt 2> failures.txt || status=$?
[ "$status" -eq 0 ] || fail "the recipe ended with $status: $(cat failures.txt)"
[ ! -s failures.txt ] || fail "unexpected failures: $(cat failures.txt)"

for i in $(seq "$count"); do
  file="$(dir_of "$i")/$(name_of "$i")"
  expected=$(printf 'Testo numero %d, con parole in più;\nFine %d;\n;' "$i" "$i")
  [ "$(cat "$file.periodi")" = "$expected" ] || fail "wrong periods for $file"
  grep -qxF "Periodizzato in $file.periodi" console.txt || fail "no completion line for $file"
done
[ "$(grep -c '^Periodizzazione in corso' console.txt)" -eq "$count" ] || fail "progress lines"
[ "$(wc -l < console.txt)" -eq $((2 * count)) ] || fail "console lines: $(wc -l < console.txt)"

# A text that cannot be read is named, with its status, the others still
# run, and the recipe fails.
mkdir "testi/cartella.txt"
find testi -name '*.periodi' -delete
status=0
bash recipe.sh > console.txt 2> failures.txt || status=$?
[ "$status" -eq 123 ] || fail "the recipe ended with $status, not 123, after a failure"
[ "$(cat failures.txt)" = "spezzafrasi: testi/cartella.txt: è una cartella
non riuscito: testi/cartella.txt (stato 1)" ] ||
  fail "the failure was not reported: $(cat failures.txt)"
[ "$(find testi -name '*.periodi' | wc -l)" -eq "$count" ] || fail "the other texts did not run"
echo "many files OK"
