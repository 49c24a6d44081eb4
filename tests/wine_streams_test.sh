#!/usr/bin/env bash
# The Windows program's standard streams as a Unix shell hands them to it
# under Wine: files given by redirection are read and written (and the
# input is still never the output), and a reader that goes away ends the
# program quietly, with the status a POSIX shell gives SIGPIPE.
#
# usage: wine_streams_test.sh WINE PROGRAM.exe
set -euo pipefail
wine=$1 program=$2
export WINEDEBUG=-all
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
ulimit -f $((1 << 20)) # KiB: a runaway output fails the test, not the disk
fail() { echo "wine streams: $*" >&2; exit 1; }
run() { timeout 120 "$wine" "$program" "$@"; }

printf 'Oggi piove molto forte. Domani no.' > in.txt
printf 'Oggi piove molto;\r\nDomani no;\r\n;\r\n' > expected.txt
for _ in $(seq 20000); do printf 'Una frase di prova, lunga quanto basta. '; done > big.txt

# name ^ command ^ status ^ the file that must hold the periods, or the
# cause that standard error must give
rows=(
  "input from a file^run - out.txt 3 < in.txt^0^out.txt"
  "both standard streams files^run - - 3 < in.txt > both.txt^0^both.txt"
  "output appended to the input^cp in.txt same.txt; run same.txt - 3 >> same.txt^1^è il file di ingresso"
  "both streams one file^cp in.txt one.txt; run - - 3 < one.txt >> one.txt^1^è il file di ingresso"
  "reader gone^run big.txt - 3 2> gone.err | head -c 10 > /dev/null; exit \${PIPESTATUS[0]}^141^"
)
for row in "${rows[@]}"; do
  IFS='^' read -r name command status check <<< "$row"
  got=0
  (eval "$command") 2> "$work/errors" || got=$?
  [ "$got" = "$status" ] || { cat "$work/errors" >&2; fail "$name: status $got, not $status"; }
  if [ -f "$check" ]; then
    cmp -s "$check" expected.txt || fail "$name: $check holds $(od -c "$check" | head -n 3)"
  elif [ -n "$check" ]; then
    grep -q "$check" "$work/errors" || fail "$name: no \"$check\" in: $(cat "$work/errors")"
  fi
done
# The reader's going is no error to speak of.
! grep -q Errore gone.err || fail "reader gone: $(cat gone.err)"
echo "wine streams: ${#rows[@]} cases"
