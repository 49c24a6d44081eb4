#!/usr/bin/env bash
# Writes indented Italian text of the given size to standard output: the
# Italian manual pages of Debian's package manpages-it, each set by groff
# as man shows it (80 columns: indented paragraphs, justified lines with
# runs of spaces, option lists, tables, examples), in a fixed order,
# repeated as often as the size asks.
#
# usage: bench/indented_text.sh BYTES
set -euo pipefail
bytes=$1
dir=/usr/share/man/it
if [ ! -d "$dir" ] || ! command -v groff > /dev/null; then
  echo "needs Debian's manpages-it and groff (apt-get install manpages-it groff)" >&2
  exit 1
fi
pass=$(mktemp)
trap 'rm -f "$pass"' EXIT
find "$dir" -name '*.gz' | LC_ALL=C sort | while IFS= read -r page; do
  # a page that groff cannot set is left out, the same every time
  zcat "$page" | groff -k -man -Tutf8 -P-cbou -rLL=80n -rcR=1 2> /dev/null || true
done > "$pass"
passes=$(( bytes / $(stat -c %s "$pass") + 1 ))
# The last pass is cut short: that is no failure.
set +o pipefail
for _ in $(seq "$passes"); do cat "$pass"; done | head -c "$bytes"
