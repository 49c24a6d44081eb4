#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the tree: the
# program runs from there, and the manual page renders without warnings.
set -euo pipefail
build_dir=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build_dir" --prefix "$prefix" > /dev/null
# A sanitizer's leak check cannot run inside the program's seccomp filter.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

fail() { echo "install test: $*" >&2; exit 1; }
[ -x "$prefix/bin/spezzafrasi" ] || fail "bin/spezzafrasi missing"
page=$prefix/share/man/man1/spezzafrasi.1.gz
[ -f "$page" ] || fail "share/man/man1/spezzafrasi.1.gz missing"
[ -f "$prefix/share/doc/spezzafrasi/copyright" ] || fail "share/doc/spezzafrasi/copyright missing"

printf 'Oggi piove molto forte. Domani no.' > "$prefix/testo.txt"
"$prefix/bin/spezzafrasi" "$prefix/testo.txt" "$prefix/periodi.txt" 3 > /dev/null
[ "$(cat "$prefix/periodi.txt")" = "$(printf 'Oggi piove molto;\nDomani no;\n;')" ] ||
  fail "the installed program wrote the wrong periods"

if command -v groff > /dev/null; then
  warnings=$(gzip -dc "$page" | groff -man -ww -z 2>&1)
  [ -z "$warnings" ] || fail "groff warns: $warnings"
  gzip -dc "$page" | groff -man -Tutf8 -P-cbou 2> /dev/null | grep -q 'STATO DI USCITA' ||
    fail "the page does not render"
else
  echo "groff not found: the page is not rendered" >&2
fi
echo "install tree OK"
