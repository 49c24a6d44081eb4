#!/usr/bin/env bash
# Writes real Italian text of the given size to standard output: the
# Italian fortunes of Debian's package fortunes-it (quotations, jokes,
# dialogues, definitions; public prose, not generated), without their
# separator lines, repeated as often as the size asks. With `accented`,
# the accents that the package writes as an apostrophe (e' for è) are
# written as the letters themselves, as Italian is written today: a byte
# above 0x7F every 160 or so, in about a third of the blocks of 64 bytes,
# where ASCII text and UTF-8 text mix least predictably.
#
# usage: bench/italian_text.sh BYTES [accented]
set -euo pipefail
bytes=$1
accented=${2:-}
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
if [ "$accented" = accented ]; then
  LC_ALL=C sed -i "s/a' /à /g; s/e' /è /g; s/i' /ì /g; s/o' /ò /g; s/u' /ù /g; s/E' /È /g" "$pass"
fi
passes=$(( bytes / $(stat -c %s "$pass") + 1 ))
# The last pass is cut short: that is no failure.
set +o pipefail
for _ in $(seq "$passes"); do cat "$pass"; done | head -c "$bytes"
