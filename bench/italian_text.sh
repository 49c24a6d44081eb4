#!/usr/bin/env bash
# Writes real Italian text of the given size to standard output: the
# Italian fortunes of Debian's package fortunes-it (quotations, jokes,
# dialogues, definitions; public prose, not generated), without their
# separator lines, repeated as often as the size asks.
#
# usage: bench/italian_text.sh BYTES
set -euo pipefail
bytes=$1
dir=/usr/share/games/fortunes/it
if [ ! -d "$dir" ]; then
  echo "needs Debian's fortunes-it (apt-get install fortunes-it)" >&2
  exit 1
fi
# Every text file of the package, in a fixed order, so that a size always
# gives the same bytes.
pass=$(mktemp)
trap 'rm -f "$pass"' EXIT
find "$dir" -maxdepth 1 -type f ! -name '*.dat' | LC_ALL=C sort | xargs cat |
  grep -v '^%$' > "$pass"
passes=$(( bytes / $(stat -c %s "$pass") + 1 ))
# The last pass is cut short: that is no failure.
set +o pipefail
for _ in $(seq "$passes"); do cat "$pass"; done | head -c "$bytes"
