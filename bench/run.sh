#!/usr/bin/env bash
# Measures the filter on generated Italian-like prose, side by side with
# `tr -s ' '` and `dd bs=64k` on the same file and with the plain model of
# the rules: CPU time writing to /dev/null, wall time writing a real file,
# peak resident memory. The filter is measured as it is (the kernel it
# chooses) and built once with each kernel this processor runs. Each time
# is the best of several rounds, each memory figure the largest.
#
# usage: bench/run.sh [megabytes] [n]     (default: 160 MB, n = 7)
# BASELINE=path/to/another/spezzafrasi adds that build (an earlier version,
# say) to the same rounds.
set -euo pipefail
cd "$(dirname "$0")/.."

size_mb=${1:-160}
words=${2:-7}
runs=${RUNS:-5}
work=${TMPDIR:-/tmp}/spezzafrasi-bench
mkdir -p "$work"

if [ ! -x /usr/bin/time ]; then
  echo "needs /usr/bin/time (Debian package: time)" >&2
  exit 1
fi

cmake --preset default > /dev/null
cmake --build --preset default --target spezzafrasi plain_spezzafrasi make_corpus list_kernels \
  > /dev/null
bin=build/default
programs=(spezzafrasi)
for kernel in $("$bin/bench/list_kernels"); do
  cmake --build --preset default --target "spezzafrasi_$kernel" > /dev/null
  programs+=("spezzafrasi_$kernel")
done
[ -n "${BASELINE:-}" ] && programs+=(baseline)
programs+=(plain_spezzafrasi)
exe_of() {
  case $1 in
    spezzafrasi) echo "$bin/spezzafrasi" ;;
    baseline) echo "$BASELINE" ;;
    *) echo "$bin/bench/$1" ;;
  esac
}

corpus=$work/corpus-$size_mb.txt
[ -s "$corpus" ] || "$bin/bench/make_corpus" "$size_mb" > "$corpus"
small=$work/corpus-small.txt
head -c 1000 "$corpus" > "$small"
bytes=$(stat -c %s "$corpus")
cat "$corpus" > /dev/null # into the page cache

# One timed run: prints "wall cpu rss_kb".
timed() {
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" > /dev/null 2>&1
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/time"
}

declare -A best
# keeps the smallest time and the largest memory seen for a figure
keep() {
  local key=$1 value=$2 larger=${3:-}
  local old=${best[$key]:-}
  if [ -z "$old" ] || awk -v a="$value" -v b="$old" -v l="$larger" \
      'BEGIN { exit !(l ? a > b : a < b) }'; then
    best[$key]=$value
  fi
}

# The rounds interleave the commands, so that every figure sees the same
# state of the machine.
for _ in $(seq "$runs"); do
  read -r _ cpu _ < <(timed sh -c "tr -s ' ' < '$corpus' > /dev/null"); keep tr_cpu "$cpu"
  read -r wall _ _ < <(timed dd if="$corpus" of="$work/dd.out" bs=64k); keep dd_wall "$wall"
  for program in "${programs[@]}"; do
    exe=$(exe_of "$program")
    read -r _ cpu _ < <(timed "$exe" "$corpus" /dev/null "$words"); keep "$program.cpu" "$cpu"
    read -r wall _ rss < <(timed "$exe" "$corpus" "$work/$program.out" "$words")
    keep "$program.wall" "$wall"; keep "$program.rss" "$rss" larger
    read -r _ _ rss < <(timed "$exe" "$small" "$work/$program.small" "$words")
    keep "$program.small_rss" "$rss" larger
  done
done

mbps() { awk -v b="$bytes" -v s="$1" 'BEGIN { printf "%.0f", (s > 0 ? b / s / 1e6 : 0) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

tr_cpu=${best[tr_cpu]}
dd_wall=${best[dd_wall]}
printf 'corpus: %s bytes of generated prose, n = %s, best of %s interleaved rounds\n' \
  "$bytes" "$words" "$runs"
printf 'tr -s " " to /dev/null: %ss CPU (%s MB/s); dd bs=64k to a file: %ss wall\n\n' \
  "$tr_cpu" "$(mbps "$tr_cpu")" "$dd_wall"
printf '%-20s %9s %8s %9s %10s %9s %10s %10s\n' program "CPU s" "MB/s" "vs tr" "wall s" "vs dd" \
  "RSS KiB" "RSS 1 KB"
for program in "${programs[@]}"; do
  cpu=${best[$program.cpu]}
  wall=${best[$program.wall]}
  printf '%-20s %9s %8s %9s %10s %9s %10s %10s\n' "$program" "$cpu" "$(mbps "$cpu")" \
    "$(ratio "$cpu" "$tr_cpu")" "$wall" "$(ratio "$wall" "$dd_wall")" \
    "${best[$program.rss]}" "${best[$program.small_rss]}"
done

echo
status=0
for program in "${programs[@]}"; do
  if ! cmp -s "$work/$program.out" "$work/plain_spezzafrasi.out"; then
    echo "outputs: $program DIFFERS from the plain model" >&2
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "outputs: all identical to the plain model's"
exit "$status"
