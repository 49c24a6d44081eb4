#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the tree: the
# program runs from there, the manual page renders without warnings, and
# the README's C program builds outside the sources against the installed
# library, through pkg-config and through CMake's find_package, and writes
# what the program writes.
#
# usage: install_test.sh BUILD_DIR README SAMPLE_TEXT
set -euo pipefail
build_dir=$1
readme=$2
sample=$3
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
# The library: both kinds, the header, pkg-config and the CMake package.
libdir=$(find "$prefix" -name 'libspezzafrasi.so.1' -printf '%h\n')
[ -n "$libdir" ] || fail "libspezzafrasi.so.1 missing"
[ -f "$libdir/libspezzafrasi.a" ] || fail "libspezzafrasi.a missing"
# (What the libraries export, symbols_test.sh checks.)
for header in spezzafrasi.h spezzafrasi_version.h; do
  [ -f "$prefix/include/$header" ] || fail "include/$header missing"
done

work=$prefix/work
mkdir -p "$work"
# A library built with the sanitizers wants its program built with them.
cflags="-std=c99 -Wall -Wextra -Werror -pedantic"
readelf -d "$libdir/libspezzafrasi.so.1" | grep -q 'NEEDED.*libasan' &&
  cflags="$cflags -fsanitize=address,undefined"
awk '/^```c$/ { inside = 1; next } /^```/ { inside = 0 } inside' "$readme" > "$work/periodi.c"
[ -s "$work/periodi.c" ] || fail "no C program in the README"
"$prefix/bin/spezzafrasi" "$sample" "$work/expected.3" 3 > /dev/null
"$prefix/bin/spezzafrasi" "$sample" "$work/expected.7" > /dev/null
# Runs a build of the README's program on the sample, with n and without.
check_program() {
  LD_LIBRARY_PATH=$libdir "$1" 3 < "$sample" > "$work/got.3" || fail "$2: status $?"
  LD_LIBRARY_PATH=$libdir "$1" < "$sample" > "$work/got.7" || fail "$2: status $?"
  cmp -s "$work/got.3" "$work/expected.3" || fail "$2 wrote other periods than the program (n 3)"
  cmp -s "$work/got.7" "$work/expected.7" || fail "$2 wrote other periods than the program (n 7)"
}

if command -v pkg-config > /dev/null && command -v cc > /dev/null; then
  export PKG_CONFIG_PATH=$libdir/pkgconfig
  # shellcheck disable=SC2046
  # shellcheck disable=SC2086
  cc $cflags -o "$work/periodi" "$work/periodi.c" \
    $(pkg-config --cflags --libs spezzafrasi) || fail "the README's program does not build with pkg-config"
  check_program "$work/periodi" "the pkg-config build"
else
  echo "no pkg-config or cc: the pkg-config build is left out" >&2
fi

mkdir -p "$work/cmake"
cat > "$work/cmake/CMakeLists.txt" << 'END'
cmake_minimum_required(VERSION 3.25)
project(periodi C)
find_package(spezzafrasi 1 REQUIRED)
add_executable(periodi ../periodi.c)
target_link_libraries(periodi PRIVATE spezzafrasi::spezzafrasi)
# The static library needs nothing beyond the C library either.
add_executable(periodi_static ../periodi.c)
target_link_libraries(periodi_static PRIVATE spezzafrasi::spezzafrasi_static)
END
cmake -S "$work/cmake" -B "$work/cmake/build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_FLAGS="$cflags" > "$work/cmake.log" 2>&1 &&
  cmake --build "$work/cmake/build" >> "$work/cmake.log" 2>&1 ||
  { cat "$work/cmake.log"; fail "the README's program does not build with find_package"; }
check_program "$work/cmake/build/periodi" "the find_package build"
check_program "$work/cmake/build/periodi_static" "the find_package build, static"
# The README's commands for the Linux archive, on an archive laid out as
# the release makes it, into a prefix whose folders do not exist yet.
version=$(sed -n 's/^project(spezzafrasi VERSION \([^ )]*\).*/\1/p' "$(dirname "$readme")/CMakeLists.txt")
archive=spezzafrasi-$version-x86_64-linux
mkdir -p "$work/archive/$archive" "$work/fresh"
cp "$prefix/bin/spezzafrasi" "$build_dir/spezzafrasi.1" "$work/archive/$archive/"
tar -C "$work/archive" -czf "$work/fresh/$archive.tar.gz" "$archive"
commands=$(awk '/^  tar -xzf/ { inside = 1 } inside && /^  ```/ { exit } inside' "$readme" |
  sed -e 's/^ *//' -e 's/^sudo //' -e "s|/usr/local|$work/fresh/usr/local|g")
[ -n "$commands" ] || fail "no install commands in the README"
(cd "$work/fresh" && eval "$commands") || fail "the README's install commands failed: $commands"
"$work/fresh/usr/local/bin/spezzafrasi" --version > /dev/null || fail "the installed program does not run"
[ -f "$work/fresh/usr/local/share/man/man1/spezzafrasi.1" ] || fail "the manual page is not installed"
echo "install tree OK"
