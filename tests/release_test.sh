#!/usr/bin/env bash
# Checks the release in dist/ (made by `cmake --workflow --preset release`
# from a clean checkout): the same commit built again, in a fresh clone in
# another folder and at another time, gives the same SHA256SUMS byte for
# byte; every checksum holds; the static programs run alone in an empty
# root (x86-64) and under qemu (AArch64); both Debian packages are
# lintian-clean and made for their processor; no x86-64 program needs the
# compiler runtime to know its processor.
#
# usage: tests/release_test.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
fail() { echo "release test: $*" >&2; exit 1; }
[ -f dist/SHA256SUMS ] || fail "no dist/SHA256SUMS: run cmake --workflow --preset release first"
[ -z "$(git status --porcelain)" ] || fail "the checkout has changes: dist/ is not this commit's"
version=$(sed -n 's/^project(spezzafrasi VERSION \([^ )]*\).*/\1/p' CMakeLists.txt)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sample=examples/primavera.txt
periods=examples/primavera.periodi.txt

# Every file is there and matches its checksum.
(cd dist && sha256sum --quiet -c SHA256SUMS) || fail "a checksum does not match"
expected="SHA256SUMS
spezzafrasi-$version-aarch64-linux.tar.gz
spezzafrasi-$version-cp39-abi3-manylinux_X_Y_aarch64.whl
spezzafrasi-$version-cp39-abi3-manylinux_X_Y_x86_64.whl
spezzafrasi-$version-windows-x86_64.zip
spezzafrasi-$version-x86_64-linux.tar.gz
spezzafrasi-$version.tar.gz
spezzafrasi_${version}_amd64.deb
spezzafrasi_${version}_arm64.deb"
expected=$(LC_ALL=C sort <<< "$expected")
[ "$(ls dist | sed 's/manylinux_[0-9]*_[0-9]*_/manylinux_X_Y_/' | LC_ALL=C sort)" = "$expected" ] ||
  fail "dist/ holds: $(ls dist)"

# The static programs: nothing but themselves.
for arch in x86_64 aarch64; do
  tar -xzf "dist/spezzafrasi-$version-$arch-linux.tar.gz" -C "$work"
  program=$work/spezzafrasi-$version-$arch-linux/spezzafrasi
  file "$program" | grep -q 'statically linked' || fail "$arch: $(file "$program")"
  for f in README.md LICENSE spezzafrasi.1; do
    [ -f "$work/spezzafrasi-$version-$arch-linux/$f" ] || fail "$arch: no $f"
  done
done
empty=$work/vuota
mkdir "$empty"
cp "$work/spezzafrasi-$version-x86_64-linux/spezzafrasi" "$empty/"
if [ "$(id -u)" -eq 0 ]; then
  chroot "$empty" /spezzafrasi - - < "$sample" > "$work/x86_64.out" 2> /dev/null ||
    fail "x86-64: the program did not run alone in an empty root"
else
  echo "not root: the x86-64 program runs outside an empty root" >&2
  "$empty/spezzafrasi" - - < "$sample" > "$work/x86_64.out" 2> /dev/null
fi
cmp -s "$work/x86_64.out" "$periods" || fail "x86-64: wrong periods"
qemu-aarch64 "$work/spezzafrasi-$version-aarch64-linux/spezzafrasi" - - < "$sample" \
  > "$work/aarch64.out" 2> /dev/null || fail "AArch64: the program did not run under qemu"
cmp -s "$work/aarch64.out" "$periods" || fail "AArch64: wrong periods"

# The Debian packages, each for its processor.
for arch in amd64 arm64; do
  deb=dist/spezzafrasi_${version}_$arch.deb
  lintian --fail-on error,warning "$deb" > "$work/lintian" 2>&1 ||
    fail "$arch: lintian: $(cat "$work/lintian")"
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "$arch: wrong Architecture"
  dpkg-deb -f "$deb" Depends | grep -q '^libc6 ' || fail "$arch: Depends: $(dpkg-deb -f "$deb" Depends)"
  dpkg-deb -x "$deb" "$work/$arch"
done
file "$work/arm64/usr/bin/spezzafrasi" | grep -q 'ARM aarch64' || fail "arm64: not an AArch64 program"

# The Windows zip holds the program, not the library.
# (grep reads every name: under pipefail, unzip must not die of SIGPIPE.)
library=$(unzip -Z1 "dist/spezzafrasi-$version-windows-x86_64.zip" | grep -e '\.a$' -e '\.h$' || true)
[ -z "$library" ] || fail "the Windows zip holds the library: $library"
# The wheel: the module alone, for every CPython from 3.9 on; the source
# distribution: what a wheel is built from (python_test.sh builds one).
unzip -Z1 dist/spezzafrasi-"$version"-cp39-abi3-manylinux_*_x86_64.whl > "$work/wheel.list"
for member in spezzafrasi/_spezzafrasi.abi3.so spezzafrasi/py.typed spezzafrasi/bin/spezzafrasi; do
  grep -qx "$member" "$work/wheel.list" || fail "the wheel holds no $member"
done
tar -tzf "dist/spezzafrasi-$version.tar.gz" > "$work/sdist.list"
grep -qx "spezzafrasi-$version/include/spezzafrasi.h" "$work/sdist.list" ||
  fail "the source distribution holds no spezzafrasi.h"

# The AArch64 wheel under qemu-user, with Debian's arm64 Python of the
# same version (apt-get download, unpacked into a root): the module's
# tests, against the x86-64 program (python -m, which runs the wheel's
# AArch64 program, is left out: qemu-user cannot start it from inside),
# and the wheel's program itself, under qemu too.
python=$(/usr/bin/python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')
mkdir -p "$work/arm64/debs" "$work/arm64/wheel"
(cd "$work/arm64/debs" && apt-get download -q "python$python-minimal:arm64" \
  "libpython$python-minimal:arm64" "libpython$python-stdlib:arm64" zlib1g:arm64 libexpat1:arm64) \
  > "$work/arm64/download.log" 2>&1 || fail "no arm64 Python: $(cat "$work/arm64/download.log")"
for deb in "$work"/arm64/debs/*.deb; do dpkg-deb -x "$deb" "$work/arm64/root"; done
unzip -q dist/spezzafrasi-"$version"-cp39-abi3-manylinux_*_aarch64.whl -d "$work/arm64/wheel"
qemu-aarch64 "$work/arm64/wheel/spezzafrasi/bin/spezzafrasi" - - < "$sample" 2> /dev/null |
  cmp -s - "$periods" || fail "AArch64 wheel: its program gives other periods"
(cd "$work" && SPEZZAFRASI_PROGRAM=$work/spezzafrasi-$version-x86_64-linux/spezzafrasi \
  timeout 900 qemu-aarch64 -L "$work/arm64/root" "$work/arm64/root/usr/bin/python$python" -c "
import sys
sys.path[:0] = ['$work/arm64/wheel', '/usr/lib/python3/dist-packages']
import pytest
sys.exit(pytest.main(['-q', '-p', 'no:cacheprovider', '-k', 'not python_m',
                      '$root/tests/python/test_module.py']))") > "$work/arm64.log" 2>&1 ||
  { tail -n 30 "$work/arm64.log"; fail "AArch64 wheel: the module's tests failed under qemu"; }
echo "AArch64 wheel: $(tail -n 1 "$work/arm64.log")"

# The processor is asked directly: no compiler runtime's __cpu_model.
for kind in static-x86_64 deb-amd64; do
  nm "build/release/$kind/spezzafrasi" > "$work/symbols"
  ! grep -q __cpu_model "$work/symbols" || fail "$kind refers to __cpu_model"
done

# The same commit, elsewhere and later: the same bytes.
clone=$work/altrove/spezzafrasi-copia
git clone -q --no-local "$root" "$clone"
(cd "$clone" && cmake --workflow --preset release > "$work/release.log" 2>&1) ||
  { tail -n 30 "$work/release.log"; fail "the second release build failed"; }
if ! cmp -s dist/SHA256SUMS "$clone/dist/SHA256SUMS"; then
  diff dist/SHA256SUMS "$clone/dist/SHA256SUMS" >&2 || true
  fail "two builds of the same commit differ"
fi
echo "release OK: $(wc -l < dist/SHA256SUMS) files, the same bytes from two clones"
