#!/usr/bin/env bash
# Measures what one more file costs: the program over many small files of
# real Italian text (1 to 20 KB, one process each, one after the other),
# side by side with `cp` and `tr -s ' '` on the same files, each writing a
# real file. Prints the CPU time (user + system, from exec to exit) per
# file of each, the best of several interleaved rounds, and the ratios. The
# program measured is the one the Debian package installs, when dpkg-deb is
# there; otherwise the build's.
#
# usage: bench/many_files.sh [files]     (default: 2,000 files)
# BASELINE=path/to/another/spezzafrasi adds that build to the same rounds.
set -euo pipefail
cd "$(dirname "$0")/.."

count=${1:-2000}
runs=${RUNS:-5}
work=${TMPDIR:-/tmp}/spezzafrasi-many-files
rm -rf "$work"
mkdir -p "$work/testi"

cmake --preset default > /dev/null
cmake --build --preset default --target spezzafrasi spawn_each > /dev/null
bin=build/default
program=$bin/spezzafrasi
if command -v dpkg-deb > /dev/null && command -v cpack > /dev/null; then
  cpack --config "$bin/CPackConfig.cmake" -G DEB -B "$work/deb" > /dev/null
  dpkg-deb -x "$work"/deb/spezzafrasi_*.deb "$work/root"
  program=$work/root/usr/bin/spezzafrasi
fi

# Files of 1 to 20 KB cut one after another from the text, sizes spread
# evenly (the same every time).
total=$((count * 21000))
bench/italian_text.sh "$total" > "$work/testo"
offset=0
for i in $(seq "$count"); do
  size=$(( 1000 + (i * 7919) % 19001 ))
  dd if="$work/testo" of="$work/testi/$i.txt" iflag=skip_bytes,count_bytes skip="$offset" \
    count="$size" bs=64k status=none
  offset=$((offset + size))
done
ls "$work"/testi/*.txt > "$work/list"

# The commands take turns file by file; each round gives one total per
# command, and the best round of each is kept.
out=$work/out
commands=(cp {} "$out" :: "<{}" ">$out" tr -s ' ' :: "$program" {} "$out")
tools=(cp tr spezzafrasi)
if [ -n "${BASELINE:-}" ]; then
  commands+=(:: "$BASELINE" {} "$out")
  tools+=(baseline)
fi
declare -A best
for _ in $(seq "$runs"); do
  mapfile -t seconds < <("$bin/bench/spawn_each" "${commands[@]}" < "$work/list")
  [ "${#seconds[@]}" -eq "${#tools[@]}" ] || { echo "spawn_each failed" >&2; exit 1; }
  for i in "${!tools[@]}"; do
    tool=${tools[$i]}
    old=${best[$tool]:-}
    if [ -z "$old" ] || awk -v a="${seconds[$i]}" -v b="$old" 'BEGIN { exit !(a < b) }'; then
      best[$tool]=${seconds[$i]}
    fi
  done
done

per_file() { awk -v s="$1" -v n="$count" 'BEGIN { printf "%.3f", s / n * 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
printf '%s files of 1 to 20 KB of Italian text, one process each; best of %s rounds\n' \
  "$count" "$runs"
printf 'program measured: %s (%s)\n\n' "$program" \
  "$(ldd "$program" 2> /dev/null | awk '/=>/ { print $1 }' | paste -sd ' ' -)"
printf '%-12s %12s %8s %8s\n' command "CPU ms/file" "vs cp" "vs tr"
for tool in "${tools[@]}"; do
  printf '%-12s %12s %8s %8s\n' "$tool" "$(per_file "${best[$tool]}")" \
    "$(ratio "${best[$tool]}" "${best[cp]}")" "$(ratio "${best[$tool]}" "${best[tr]}")"
done
