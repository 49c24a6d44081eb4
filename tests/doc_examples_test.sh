#!/usr/bin/env bash
# Runs every example of the manual page and of the README through the
# program, so that the documentation cannot drift from it. An example is a
# block whose lines start with "$ " for a command, followed by exactly what
# that command prints on standard output; the commands of one block run in
# turn, in a folder of their own, with the built program on the PATH.
#
# usage: doc_examples_test.sh PROGRAM_DIR MANUAL_PAGE README
set -euo pipefail
program_dir=$(cd "$1" && pwd)
manual=$2
readme=$3
command -v groff > /dev/null || { echo "no groff: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "documentation examples: $*" >&2; exit 1; }
export PATH="$program_dir:$PATH"
# A sanitizer's leak check cannot run inside the program's seccomp filter.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

# The page as a reader sees it, without bold or underline; its ESEMPI
# section, each example block's lines without the indentation.
groff -man -Tutf8 -P-cbou "$manual" 2> /dev/null |
  awk '/^[A-Z]/ { inside = ($0 == "ESEMPI") ; next }
       inside && /^       \$ / { block = 1 }
       inside && block && /^       [^ ]/ { print substr($0, 8); next }
       inside && block { block = 0; print "" }' > "$work/manual.txt"
# The README's blocks between ``` lines that begin with a command.
awk '/^```/ { if (inside) { inside = 0; print ""; next }
              fence = 1; next }
     fence { fence = 0; if (/^\$ /) inside = 1 }
     inside' "$readme" > "$work/readme.txt"

examples=0
# Runs the blocks of $1 (blocks end with an empty line).
run_blocks() {
  local source=$1 line command="" expected="" block=0
  check() {
    [ -n "$command" ] || return 0
    local actual
    actual=$(cd "$work/$source$block" && ulimit -f 10000 &&
      timeout 20 bash -o pipefail -c "$command" 2> /dev/null) ||
      fail "$source: '$command' failed"
    [ "$actual" = "$expected" ] ||
      fail "$source: '$command' printed"$'\n'"$actual"$'\n'"instead of"$'\n'"$expected"
    examples=$((examples + 1))
    command=""
    expected=""
  }
  mkdir -p "$work/$source$block"
  while IFS= read -r line; do
    if [ -z "$line" ]; then
      check
      block=$((block + 1))
      mkdir -p "$work/$source$block"
    elif [ "${line:0:2}" = '$ ' ]; then
      check
      command=${line:2}
    else
      expected+="${expected:+$'\n'}$line"
    fi
  done < "$work/$source.txt"
  check
}
run_blocks manual
manual_examples=$examples
run_blocks readme
[ "$manual_examples" -ge 10 ] || fail "only $manual_examples commands found in the manual page"
[ "$examples" -gt "$manual_examples" ] || fail "no example found in the README"
echo "documentation examples OK: $manual_examples commands in the manual, $((examples - manual_examples)) in the README"
