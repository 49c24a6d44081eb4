#!/usr/bin/env bash
# The library and the Python module against the program, side by side in
# one run: documents of 0.2 to 20 KB of real Italian text (the fortunes of
# Debian's fortunes-it), segmented in one process through the C interface
# and through Python (bytes and str), against one program run per
# document; and one large text through the C interface (one call, and a
# stream of 64 KiB chunks), through Python (bytes, str, and two threads
# against one) and through the program. CPU time, best of the rounds (the
# threads: wall time); the large outputs must be the program's.
#
# usage: bench/library.sh [documents] [megabytes]   (default: 10000, 160)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-10000}
size_mb=${2:-160}
runs=${RUNS:-5}
work=${TMPDIR:-/tmp}/spezzafrasi-bench
python=/usr/bin/python3
mkdir -p "$work"

cmake --preset default > /dev/null
cmake --build --preset default --target spezzafrasi api_bench spawn_each > /dev/null
bin=build/default
# The module as a user builds it, from a copy of the sources.
module=$work/module
rm -rf "$module"
mkdir -p "$module/src"
tar --exclude=./build --exclude=./.git --exclude=./dist -cf - . | tar -xf - -C "$module/src"
"$python" -m pip wheel --no-build-isolation --no-deps -w "$module/dist" "$module/src" \
  > "$module/wheel.log" 2>&1 || { cat "$module/wheel.log"; exit 1; }
"$python" -m zipfile -e "$module"/dist/*.whl "$module/lib"
export PYTHONPATH=$module/lib

large=$work/real-$size_mb.txt
[ -s "$large" ] || bench/italian_text.sh "$((size_mb * 1000000))" > "$large"
# The documents: sizes drawn from 200 to 20,000 bytes, the same every run.
docs=$work/documents-$count
if [ ! -s "$docs.list" ]; then
  rm -rf "$docs"
  mkdir -p "$docs"
  bench/italian_text.sh "$((count * 10100))" | "$python" -c '
import random, sys
text, folder, count = sys.stdin.buffer.read(), sys.argv[1], int(sys.argv[2])
rng, at = random.Random(2026), 0
with open(folder + ".list", "w") as names:
    for i in range(count):
        size = rng.randint(200, 20000)
        piece = text[at:at + size]
        try:  # whole characters, for str
            piece.decode("utf-8")
        except UnicodeDecodeError as cut:
            piece = piece[:cut.start]
        at += len(piece)
        name = "%s/%05d.txt" % (folder, i)
        open(name, "wb").write(piece)
        names.write(name + "\n")
' "$docs" "$count"
fi
cat "$large" > /dev/null

echo "processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), family $(grep -m1 'cpu family' /proc/cpuinfo | cut -d: -f2 | tr -d ' ')"
doc_bytes=$(cat "$docs.list" | xargs cat | wc -c)
program_docs=1e30
for _ in $(seq "${SPAWN_RUNS:-1}"); do
  t=$("$bin/bench/spawn_each" "$bin/spezzafrasi" {} /dev/null < "$docs.list")
  program_docs=$(awk -v a="$t" -v b="$program_docs" 'BEGIN { print (a < b ? a : b) }')
done
read -r python_docs _ < <("$python" bench/api_bench.py spawn "$docs.list" "$bin/spezzafrasi")
read -r c_docs _ < <("$bin/bench/api_bench" docs "$docs.list" "$runs")
read -r py_docs_bytes py_docs_str _ < <("$python" bench/api_bench.py docs "$docs.list" "$runs")

program_large=1e30
for _ in $(seq "$runs"); do
  t=$(echo "$large" | "$bin/bench/spawn_each" "$bin/spezzafrasi" {} /dev/null)
  program_large=$(awk -v a="$t" -v b="$program_large" 'BEGIN { print (a < b ? a : b) }')
done
"$bin/spezzafrasi" "$large" "$work/large.program" > /dev/null
read -r c_large c_stream < <("$bin/bench/api_bench" large "$large" "$runs" "$work/large.c")
read -r py_large_bytes py_large_str py_typeset_bytes py_typeset_str one_thread two_threads \
  str_one_thread str_two_threads str_encode str_decode \
  < <("$python" bench/api_bench.py large "$large" "$runs" "$work/large.py")

per_doc() { awk -v s="$1" -v n="$count" 'BEGIN { printf "%10.2f us", s / n * 1e6 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.5f", a / b }'; }
printf '\n%s documents, %s bytes in all, best of %s rounds (program: %s)\n' "$count" "$doc_bytes" \
  "$runs" "${SPAWN_RUNS:-1}"
printf '%-36s %s a document\n' "program, one posix_spawn each" "$(per_doc "$program_docs")"
printf '%-36s %s a document\n' "program, one subprocess.run each" "$(per_doc "$python_docs")"
printf '%-36s %13s %13s\n' "" "of a spawn" "of a run"
for row in "C interface:$c_docs" "Python, bytes:$py_docs_bytes" "Python, str:$py_docs_str"; do
  printf '%-22s %s %13s %13s\n' "${row%%:*}" "$(per_doc "${row##*:}")" \
    "1/$(awk -v a="$program_docs" -v b="${row##*:}" 'BEGIN { printf "%.0f", a / b }')" \
    "1/$(awk -v a="$python_docs" -v b="${row##*:}" 'BEGIN { printf "%.0f", a / b }')"
done
printf '\n%s: %s bytes, CPU s, best of %s rounds\n' "$large" "$(stat -c %s "$large")" "$runs"
for row in "program:$program_large" "C interface, one call:$c_large" \
  "C interface, stream:$c_stream" "Python, bytes:$py_large_bytes" "Python, str:$py_large_str"; do
  printf '%-28s %8.3f s  %5.3fx the program\n' "${row%%:*}" "${row##*:}" \
    "$(ratio "${row##*:}" "$program_large")"
done
for row in "bytes:$one_thread:$two_threads" "str:$str_one_thread:$str_two_threads"; do
  IFS=: read -r kind one two <<< "$row"
  printf 'Python, two texts as %s, wall: one thread %.3f s, two threads %.3f s: %.2fx\n' "$kind" \
    "$one" "$two" "$(ratio "$one" "$two")"
done
printf 'Python, str: %.2fx bytes; str.encode() alone %.3f s, decoding the periods alone %.3f s\n' \
  "$(ratio "$py_large_str" "$py_large_bytes")" "$str_encode" "$str_decode"
printf 'Python, with typographic quotes (a str of two bytes a character): bytes %.3f s, str %.3f s: %.2fx\n' \
  "$py_typeset_bytes" "$py_typeset_str" "$(ratio "$py_typeset_str" "$py_typeset_bytes")"
read -r word_one word_fed list_one list_fed < <("$python" bench/api_bench.py segmenter "$runs")
printf 'Segmenter, 4 KiB pieces against one call: 16 MB of one word %.3f s / %.3f s = %.2fx, a word list %.3f s / %.3f s = %.2fx\n' \
  "$word_fed" "$word_one" "$(ratio "$word_fed" "$word_one")" "$list_fed" "$list_one" \
  "$(ratio "$list_fed" "$list_one")"
read -r one s256 s1k s4k s64k s_whole spans_one spans_stream doc200 doc10k < \
  <("$bin/bench/api_bench" chunks "$large" "$runs")
printf '\nC interface, against one call (%.3f s):\n' "$one"
for row in "stream, 256 B chunks:$s256" "stream, 1 KiB chunks:$s1k" "stream, 4 KiB chunks:$s4k" \
  "stream, 64 KiB chunks:$s64k" "stream, the text in one:$s_whole" \
  "one call with spans:$spans_one" "64 KiB stream with spans:$spans_stream"; do
  printf '%-28s %8.3f s  %5.2fx\n' "${row%%:*}" "${row##*:}" "$(ratio "${row##*:}" "$one")"
done
printf 'documents, one call each: 200 B %.3f ns a byte, 10 KB %.3f ns a byte: %.2fx\n' "$doc200" \
  "$doc10k" "$(ratio "$doc200" "$doc10k")"
status=0
for out in c py; do
  cmp -s "$work/large.$out" "$work/large.program" ||
    { echo "outputs: the $out periods DIFFER from the program's" >&2; status=1; }
done
[ "$status" -eq 0 ] && echo "outputs: the C interface's and Python's are the program's"
exit "$status"
