#!/usr/bin/env bash
# Measures the filter on generated Italian-like prose, side by side with
# `tr -s ' '` and `dd bs=64k` on the same file and with the plain model of
# the rules: CPU time writing to /dev/null, wall time writing a real file,
# peak resident memory. Each figure is the best of several runs.
#
# usage: bench/run.sh [megabytes] [n]     (default: 160 MB, n = 7)
set -euo pipefail
cd "$(dirname "$0")/.."

size_mb=${1:-160}
words=${2:-7}
runs=${RUNS:-3}
work=${TMPDIR:-/tmp}/spezzafrasi-bench
mkdir -p "$work"

if [ ! -x /usr/bin/time ]; then
  echo "needs /usr/bin/time (Debian package: time)" >&2
  exit 1
fi

cmake --preset default > /dev/null
cmake --build --preset default --target spezzafrasi plain_spezzafrasi make_corpus > /dev/null
bin=build/default

corpus=$work/corpus-$size_mb.txt
[ -s "$corpus" ] || "$bin/bench/make_corpus" "$size_mb" > "$corpus"
small=$work/corpus-small.txt
head -c 1000 "$corpus" > "$small"
bytes=$(stat -c %s "$corpus")
cat "$corpus" > /dev/null # into the page cache

# best TIME_FIELD over $runs runs of a command; prints "wall cpu rss_kb"
measure() {
  local best_wall="" best_cpu="" best_rss=""
  for _ in $(seq "$runs"); do
    /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" > /dev/null 2>&1
    read -r wall user sys rss < "$work/time"
    local cpu
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
    best_wall=$(awk -v a="$wall" -v b="${best_wall:-$wall}" 'BEGIN { print (a < b ? a : b) }')
    best_cpu=$(awk -v a="$cpu" -v b="${best_cpu:-$cpu}" 'BEGIN { print (a < b ? a : b) }')
    best_rss=$(awk -v a="$rss" -v b="${best_rss:-$rss}" 'BEGIN { print (a > b ? a : b) }')
  done
  echo "$best_wall $best_cpu $best_rss"
}

read -r _ tr_cpu _ < <(measure sh -c "tr -s ' ' < '$corpus' > /dev/null")
read -r dd_wall _ _ < <(measure dd if="$corpus" of="$work/dd.out" bs=64k)

mbps() { awk -v b="$bytes" -v s="$1" 'BEGIN { printf "%.0f", (s > 0 ? b / s / 1e6 : 0) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

printf 'corpus: %s bytes of generated prose, n = %s, best of %s runs\n' "$bytes" "$words" "$runs"
printf 'tr -s " " to /dev/null: %ss CPU (%s MB/s); dd bs=64k to a file: %ss wall\n\n' \
  "$tr_cpu" "$(mbps "$tr_cpu")" "$dd_wall"
printf '%-20s %9s %8s %9s %10s %9s %10s %10s\n' program "CPU s" "MB/s" "vs tr" "wall s" "vs dd" \
  "RSS KiB" "RSS 1 KB"
for program in spezzafrasi plain_spezzafrasi; do
  exe=$bin/$program
  [ "$program" = plain_spezzafrasi ] && exe=$bin/bench/$program
  read -r _ cpu _ < <(measure "$exe" "$corpus" /dev/null "$words")
  read -r wall _ rss < <(measure "$exe" "$corpus" "$work/$program.out" "$words")
  read -r _ _ small_rss < <(measure "$exe" "$small" "$work/$program.small" "$words")
  printf '%-20s %9s %8s %9s %10s %9s %10s %10s\n' "$program" "$cpu" "$(mbps "$cpu")" \
    "$(ratio "$cpu" "$tr_cpu")" "$wall" "$(ratio "$wall" "$dd_wall")" "$rss" "$small_rss"
done

if cmp -s "$work/spezzafrasi.out" "$work/plain_spezzafrasi.out"; then
  echo; echo "outputs: identical"
else
  echo; echo "outputs: DIFFERENT" >&2
  exit 1
fi
