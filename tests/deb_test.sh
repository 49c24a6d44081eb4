#!/usr/bin/env bash
# Builds the Debian package of this build, checks it with lintian, unpacks
# it into a temporary root and runs the program from there.
set -euo pipefail
build_dir=$1
sample=$2
expected=$3
version=$4
build_type=$5
for tool in dpkg-deb dpkg-shlibdeps cpack; do
  command -v "$tool" > /dev/null || { echo "no $tool: skipped"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "deb test: $*" >&2; exit 1; }

cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$work" > "$work/cpack.log" ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/spezzafrasi_*.deb)
case $(basename "$deb") in
  "spezzafrasi_${version}_"*.deb) ;;
  *) fail "unexpected name $(basename "$deb")" ;;
esac
# The filter is built in and, in a release build, the C++ runtime linked
# in: the C library is the one shared library left.
depends=$(dpkg-deb -f "$deb" Depends)
case $build_type:$depends in
  Release:"libc6 "* | Release:libc6) ;;
  Release:*) fail "depends on more than the C library: $depends" ;;
esac

if command -v lintian > /dev/null; then
  lintian --fail-on error "$deb" 2> /dev/null || fail "lintian reports errors"
fi

root=$work/root
dpkg-deb -x "$deb" "$root"
for f in usr/bin/spezzafrasi usr/share/man/man1/spezzafrasi.1.gz \
  usr/share/doc/spezzafrasi/copyright usr/share/doc/spezzafrasi/changelog.gz; do
  [ -f "$root/$f" ] || fail "$f missing"
done
# A sanitizer's leak check cannot run inside the program's seccomp filter.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
"$root/usr/bin/spezzafrasi" "$sample" "$work/periodi.txt" > "$work/console"
cmp "$work/periodi.txt" "$expected" || fail "the installed program wrote the wrong periods"
grep -q "^Periodizzato in $work/periodi.txt\$" "$work/console" || fail "no completion line"
echo "deb package OK"
