#!/usr/bin/env bash
# Measures the filter on four corpora of the same size, generated
# Italian-like prose, real Italian text and the same text with its accents
# written as letters (bench/italian_text.sh), and indented technical
# documentation (Italian manual pages, bench/indented_text.sh), side by
# side with `tr -s ' '` and `dd bs=64k` on the same file and with the plain
# model of the rules: CPU time writing to /dev/null (with the cost of each
# period line), wall time writing a real file, peak resident memory. The
# filter is measured as it is (the kernel it chooses) and built once with
# each kernel this processor runs. Each time is the best of several rounds,
# each memory figure the largest.
#
# usage: bench/run.sh [megabytes] [n]     (default: 160 MB, n = 7)
# CORPORA="generated real accented indented" chooses the corpora (real and
# accented need fortunes-it, indented manpages-it and groff).
# BASELINE=path/to/another/spezzafrasi adds that build (an earlier version,
# say) to the same rounds; BASELINE=path/to/its/build/directory adds its
# program and its program for each kernel (bench/spezzafrasi_KERNEL).
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
cmake --build --preset default --target spezzafrasi plain_spezzafrasi make_corpus list_kernels spawn_each \
  > /dev/null
bin=build/default
# A row per kernel: the same program, the kernel named by SPEZZAFRASI_KERNEL.
kernels=$("$bin/bench/list_kernels")
programs=(spezzafrasi)
for kernel in $kernels; do
  programs+=("spezzafrasi_$kernel")
done
if [ -d "${BASELINE:-}" ]; then
  programs+=(baseline)
  # A build from before SPEZZAFRASI_KERNEL has a program for each kernel.
  if ls "$BASELINE"/bench/spezzafrasi_* > /dev/null 2>&1; then
    for exe in "$BASELINE"/bench/spezzafrasi_*; do
      [ -x "$exe" ] && programs+=("baseline_${exe##*/spezzafrasi_}")
    done
  else
    for kernel in $kernels; do
      programs+=("baseline_$kernel")
    done
  fi
elif [ -n "${BASELINE:-}" ]; then
  programs+=(baseline)
fi
programs+=(plain_spezzafrasi)
exe_of() {
  case $1 in
    spezzafrasi | spezzafrasi_*) echo "$bin/spezzafrasi" ;;
    baseline) [ -d "$BASELINE" ] && echo "$BASELINE/spezzafrasi" || echo "$BASELINE" ;;
    baseline_*)
      local own=$BASELINE/bench/spezzafrasi_${1#baseline_}
      [ -x "$own" ] && echo "$own" || echo "$BASELINE/spezzafrasi"
      ;;
    *) echo "$bin/bench/$1" ;;
  esac
}
# Names the row's kernel to the program it runs, or none: the fastest.
choose_kernel() {
  case $1 in
    spezzafrasi_* | baseline_*) export SPEZZAFRASI_KERNEL=${1#*_} ;;
    *) unset SPEZZAFRASI_KERNEL ;;
  esac
}

corpora=${CORPORA:-generated real accented indented}
for corpus_name in $corpora; do
  corpus=$work/$corpus_name-$size_mb.txt
  if [ ! -s "$corpus" ]; then
    case $corpus_name in
      generated) "$bin/bench/make_corpus" "$size_mb" > "$corpus" ;;
      real) bench/italian_text.sh "$((size_mb * 1000000))" > "$corpus" ;;
      accented) bench/italian_text.sh "$((size_mb * 1000000))" accented > "$corpus" ;;
      indented) bench/indented_text.sh "$((size_mb * 1000000))" > "$corpus" ;;
    esac
  fi
  head -c 1000 "$corpus" > "$work/$corpus_name-small.txt"
  cat "$corpus" > /dev/null # into the page cache
done

# The CPU time of one run, to the microsecond (user + system).
cpu_of() { echo "$1" | "$bin/bench/spawn_each" "${@:2}"; }
# One timed run: prints "wall cpu rss_kb".
timed() {
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" > /dev/null 2>&1
  awk '{ printf "%s %.3f %s\n", $1, $2 + $3, $4 }' "$work/time"
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

# The rounds interleave the commands and the corpora, so that every figure
# sees the same state of the machine.
unset SPEZZAFRASI_KERNEL
for _ in $(seq "$runs"); do
  for c in $corpora; do
    corpus=$work/$c-$size_mb.txt
    keep "$c.tr_cpu" "$(cpu_of "$corpus" "<{}" tr -s ' ')"
    read -r wall _ _ < <(timed dd if="$corpus" of="$work/dd.out" bs=64k); keep "$c.dd_wall" "$wall"
    for program in "${programs[@]}"; do
      exe=$(exe_of "$program")
      choose_kernel "$program"
      keep "$c.$program.cpu" "$(cpu_of "$corpus" "$exe" {} /dev/null "$words")"
      read -r wall _ rss < <(timed "$exe" "$corpus" "$work/$c.$program.out" "$words")
      keep "$c.$program.wall" "$wall"; keep "$c.$program.rss" "$rss" larger
      read -r _ _ rss < <(timed "$exe" "$work/$c-small.txt" "$work/$c.$program.small" "$words")
      keep "$c.$program.small_rss" "$rss" larger
    done
  done
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
status=0
# The kernel's copy of a file costs more from some file systems than from
# others, and it weighs on the filter's ratio to tr far more than on tr's.
printf '\ncorpora in %s (file system: %s)\n' "$work" "$(stat -f -c %T "$work")"
for c in $corpora; do
  corpus=$work/$c-$size_mb.txt
  bytes=$(stat -c %s "$corpus")
  lines=$(wc -l < "$work/$c.plain_spezzafrasi.out")
  mbps() { awk -v b="$bytes" -v s="$1" 'BEGIN { printf "%.0f", (s > 0 ? b / s / 1e6 : 0) }'; }
  per_line() { awk -v l="$lines" -v s="$1" 'BEGIN { printf "%.1f", s * 1e9 / l }'; }
  tr_cpu=${best[$c.tr_cpu]}
  # separators in a run after its first, which the filter drops
  squeezed=$(LC_ALL=C tr '\n\r\f' '   ' < "$corpus" | LC_ALL=C tr -s ' ' | wc -c)
  printf '\n%s: %s bytes, %s period lines (%s bytes of input a line, %s separators dropped a KB), n = %s, best of %s rounds\n' \
    "$c" "$bytes" "$lines" "$((bytes / lines))" "$(((bytes - squeezed) * 1000 / bytes))" "$words" "$runs"
  printf 'tr -s " " to /dev/null: %.3fs CPU (%s MB/s, %s ns a line); dd bs=64k to a file: %ss wall\n' \
    "$tr_cpu" "$(mbps "$tr_cpu")" "$(per_line "$tr_cpu")" "${best[$c.dd_wall]}"
  printf '%-23s %9s %8s %9s %9s %10s %9s %10s %10s\n' program "CPU s" "MB/s" "ns/line" "vs tr" \
    "wall s" "vs dd" "RSS KiB" "RSS 1 KB"
  for program in "${programs[@]}"; do
    cpu=${best[$c.$program.cpu]}
    wall=${best[$c.$program.wall]}
    printf '%-23s %9.3f %8s %9s %9s %10s %9s %10s %10s\n' "$program" "$cpu" "$(mbps "$cpu")" \
      "$(per_line "$cpu")" "$(ratio "$cpu" "$tr_cpu")" "$wall" "$(ratio "$wall" "${best[$c.dd_wall]}")" \
      "${best[$c.$program.rss]}" "${best[$c.$program.small_rss]}"
  done
  for program in "${programs[@]}"; do
    if ! cmp -s "$work/$c.$program.out" "$work/$c.plain_spezzafrasi.out"; then
      echo "outputs: $program DIFFERS from the plain model on $c" >&2
      status=1
    fi
  done
done
echo
[ "$status" -eq 0 ] && echo "outputs: all identical to the plain model's"
exit "$status"
