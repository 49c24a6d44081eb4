#!/usr/bin/env bash
# Makes the Python module's source distribution (python3 -m build --sdist),
# builds the wheel from it alone in a fresh folder as a user's pip would,
# installs it into a fresh virtual environment, and runs the module's tests
# there against the program; then imports the same wheel in every other
# CPython on the PATH (3.9 on).
#
# usage: python_test.sh SOURCE_DIR PROGRAM
set -euo pipefail
source_dir=$(cd "$1" && pwd)
program=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
python=/usr/bin/python3
if ! "$python" -c 'import setuptools, wheel, build, pytest, hypothesis, venv' 2> /dev/null ||
  ! "$python" -m pip --version > /dev/null 2>&1; then
  echo "Debian's python3 with pip, setuptools, wheel, build, venv, pytest and hypothesis is needed: skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "python test: $*" >&2; exit 1; }
# A sanitizer's leak check cannot run inside the program's seccomp filter.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

mkdir "$work/tree" "$work/fresh"
tar -C "$source_dir" --exclude=./build --exclude=./.git --exclude=./dist -cf - . |
  tar -xf - -C "$work/tree"
"$python" -m build --sdist --no-isolation -o "$work/sdist" "$work/tree" > "$work/sdist.log" 2>&1 ||
  { cat "$work/sdist.log"; fail "the source distribution failed"; }
tar -xzf "$work"/sdist/spezzafrasi-*.tar.gz -C "$work/fresh"
"$python" -m pip wheel --no-build-isolation --no-deps -w "$work/dist" "$work"/fresh/spezzafrasi-* \
  > "$work/wheel.log" 2>&1 || { cat "$work/wheel.log"; fail "no wheel from the source distribution"; }
wheel=$(ls "$work"/dist/spezzafrasi-*-cp39-abi3-*.whl) || fail "no cp39-abi3 wheel"
# What an index's auditor checks; a newer glibc than manylinux2014's
# (2.17) would shut out many systems the module runs on.
tagged=$("$source_dir/packaging/manylinux.sh" "$wheel" "$work/tagged") || fail "not a manylinux wheel"
glibc=$(sed -n 's/.*-manylinux_\([0-9]*_[0-9]*\)_.*/\1/p' <<< "$tagged")
[ "$(printf '%s\n' "${glibc/_/.}" 2.17 | sort -V | tail -n 1)" = 2.17 ] ||
  fail "$tagged needs a glibc newer than 2.17"
echo "wheel: $tagged"
wheel=$work/tagged/$tagged # what users install

# Debian's pytest and hypothesis come in from the system's packages.
"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --no-index --no-deps -q "$wheel"
(cd "$work" && SPEZZAFRASI_PROGRAM=$program "$work/venv/bin/python" -m pytest -q -p no:cacheprovider \
  "$source_dir/tests/python/test_module.py") || fail "the module's tests failed"

# The stubs as a typed program meets them, with Debian's mypy.
if command -v mypy > /dev/null; then
  mypy --strict --no-incremental --python-executable "$work/venv/bin/python" \
    "$source_dir/tests/python/typed_sample.py" || fail "mypy --strict on the typed sample"
else
  echo "no mypy (Debian's mypy): the stubs are not checked" >&2
fi

# One wheel for every CPython from 3.9 on: each one found imports it.
mkdir "$work/unpacked"
"$python" -m zipfile -e "$wheel" "$work/unpacked"
expected=$(printf 'Oggi piove molto forte. Domani no.' | "$program" - - 3 2> /dev/null)
# (Each interpreter once, however many names and shims lead to it.)
declare -A seen=(["$(readlink -f "$python")"]=1)
IFS=: read -r -a folders <<< "$PATH"
for other in $(for f in "${folders[@]}"; do ls "$f"/python3 "$f"/python3.[0-9]* 2> /dev/null; done); do
  case $other in *-config) continue ;; esac
  real=$("$other" -c 'import os, sys
if sys.version_info >= (3, 9): print(os.path.realpath(sys.executable))' 2> /dev/null) || continue
  [ -n "$real" ] && [ -z "${seen[$real]:-}" ] || continue
  seen[$real]=1
  got=$(PYTHONPATH=$work/unpacked "$other" -c \
    'import spezzafrasi; print(spezzafrasi.periods("Oggi piove molto forte. Domani no.", 3), end="")') ||
    fail "$other does not import the wheel"
  [ "$got" = "$expected" ] || fail "$other: other periods than the program's"
  echo "$("$other" -V): the wheel imports and agrees"
done

# The README's interactive example, as doctest reads it.
awk '/^```/ { inside = 0 } inside; /^```$/ { inside = 1 }' "$source_dir/README.md" |
  awk '/^>>> / { keep = 1 } /^$/ { keep = 0 } keep' > "$work/readme_session.txt"
[ -s "$work/readme_session.txt" ] || fail "no Python session in the README"
"$work/venv/bin/python" -m doctest "$work/readme_session.txt" || fail "the README's session differs"

# The README's Dask example, on a local cluster of two worker processes
# (on 127.0.0.1) over 200 files of 2 MB and a folder named x.txt: every
# output the program's, the folder named with its cause and the status 1,
# the client's peak RSS (its own process: the workers are others) bounded.
if "$work/venv/bin/python" -c 'import dask.distributed' 2> /dev/null; then
  awk '/^```python$/ { inside = 1; next } /^```/ { inside = 0 } inside' "$source_dir/README.md" \
    > "$work/periodizza.py"
  mkdir -p "$work/testi/sotto cartella" "$work/testi/x.txt"
  for _ in $(seq 60); do cat "$source_dir/README.md"; done > "$work/big.txt"
  for i in $(seq 100); do
    for f in "testo $i.txt" "sotto cartella/testo $i.txt"; do
      head -c $((2000000 + i)) "$work/big.txt" > "$work/testi/$f"
    done
  done
  status=0
  (cd "$work" && timeout 600 "$work/venv/bin/python" -c '
import resource, runpy, sys
sys.argv = ["periodizza.py", "testi"]
try:
    runpy.run_path("periodizza.py", run_name="__main__")
finally:
    print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss // 1024, file=open("rss", "w"))
' > dask.log 2>&1) || status=$?
  [ "$status" -eq 1 ] || { cat "$work/dask.log"; fail "Dask: status $status, not 1"; }
  grep -q "periodizza: testi/x.txt: .*Is a directory" "$work/dask.log" ||
    { cat "$work/dask.log"; fail "Dask: the folder x.txt is not named with its cause"; }
  count=0
  while IFS= read -r -d '' text; do
    "$program" "$text" "$work/expected.periodi" > /dev/null
    cmp -s "${text%.txt}.periodi" "$work/expected.periodi" || fail "Dask: $text differs from the program"
    count=$((count + 1))
  done < <(find "$work/testi" -name '*.txt' -type f -print0)
  [ "$count" -eq 200 ] || fail "Dask: $count files checked"
  rss=$(cat "$work/rss")
  [ "$rss" -lt 150 ] || fail "Dask: the client's peak RSS was $rss MB"
  echo "Dask: 200 files of 2 MB on two workers, as the program writes them; client peak RSS $rss MB"
else
  echo "no dask.distributed (Debian's python3-distributed): the Dask example is left out" >&2
fi
