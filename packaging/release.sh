#!/usr/bin/env bash
# Makes every download of a release in dist/: a static Linux archive for
# x86-64 and for AArch64, the Debian packages for amd64 and arm64, the
# Windows zip, the Python wheel for x86-64 Linux, and SHA256SUMS over them. The same commit gives the same
# bytes wherever and whenever it is built: every time is the last commit's
# (SOURCE_DATE_EPOCH), no build path reaches a binary, and archive members
# have a fixed order, owner and mode.
#
# usage: packaging/release.sh VERSION      (cmake --workflow --preset release)
set -euo pipefail
version=$1
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$root/build/release
dist=$root/dist

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) ||
    { echo "release: not a git checkout; set SOURCE_DATE_EPOCH" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C.UTF-8
umask 022
# From nothing, every time: what an earlier build left (a page made at
# another commit's time, say) cannot leak into a release.
find "$build" -mindepth 1 -maxdepth 1 ! -name driver -exec rm -rf {} + 2> /dev/null || true
rm -rf "$dist"
mkdir -p "$dist" "$build/parts"

# Configures and builds one kind of program: $1 its folder, then CMake's
# arguments.
build_kind() {
  local dir=$build/$1
  shift
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF "$@" > "$dir.log" ||
    { cat "$dir.log"; exit 1; }
  cmake --build "$dir" -j 2 >> "$dir.log" || { tail -n 40 "$dir.log"; exit 1; }
}
aarch64=-DCMAKE_TOOLCHAIN_FILE=$root/cmake/toolchains/aarch64-linux-gnu.cmake

# A static program with the README, the licence and the manual page, as a
# tar.gz whose members are in name order, owned by root, with fixed modes.
archive() {
  local kind=$1 name=spezzafrasi-$version-$2-linux
  local stage=$build/parts/$name
  mkdir -p "$stage"
  install -m 0755 "$build/$kind/spezzafrasi" "$stage/spezzafrasi"
  local strip_tool=strip
  [ "$2" = aarch64 ] && strip_tool=aarch64-linux-gnu-strip
  "$strip_tool" "$stage/spezzafrasi"
  install -m 0644 README.md LICENSE "$build/$kind/spezzafrasi.1" "$stage/"
  tar -C "$build/parts" --sort=name --format=gnu --mtime="@$SOURCE_DATE_EPOCH" \
    --owner=0 --group=0 --numeric-owner -cf - "$name" | gzip -9n > "$dist/$name.tar.gz"
}

build_kind static-x86_64 -DSPEZZAFRASI_STATIC=ON -DSPEZZAFRASI_SECCOMP=ON
archive static-x86_64 x86_64
build_kind static-aarch64 -DSPEZZAFRASI_STATIC=ON -DSPEZZAFRASI_SECCOMP=ON "$aarch64"
archive static-aarch64 aarch64

# The Debian packages: the C library shared, as Debian wants it.
build_kind deb-amd64 -DSPEZZAFRASI_SECCOMP=ON
cpack --config "$build/deb-amd64/CPackConfig.cmake" -G DEB -B "$build/parts/deb-amd64" > /dev/null
build_kind deb-arm64 -DSPEZZAFRASI_SECCOMP=ON "$aarch64"
DEB_HOST_ARCH=arm64 cpack --config "$build/deb-arm64/CPackConfig.cmake" -G DEB \
  -B "$build/parts/deb-arm64" > /dev/null
cp "$build"/parts/deb-*/spezzafrasi_"$version"_*.deb "$dist/"

# The zip as CPack makes it, but without the owner's ids or extra times
# (zip -X): members in name order, times and modes fixed.
build_kind windows -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-x86_64.cmake"
name=spezzafrasi-$version-windows-x86_64
cmake --install "$build/windows" --prefix "$build/parts/$name" --component program > /dev/null
chmod -R u=rwX,go=rX "$build/parts/$name"
find "$build/parts/$name" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
(cd "$build/parts" && find "$name" | sort | zip -X -D -q -9 -@ "$dist/$name.zip")

# The Python module's source distribution, made by Debian's python3-build
# from this commit's files, then packed again with fixed times and owners;
# and from it, as a user's pip would, the wheel for x86-64 Linux (one,
# cp39-abi3, for every CPython from 3.9 on), tagged with the oldest
# manylinux that its extension allows; then the same for AArch64.
if [ "$(uname -m)" = x86_64 ]; then
  /usr/bin/python3 -c 'import setuptools, wheel, build' 2> /dev/null ||
    { echo "release: the Python packages need python3-setuptools, -wheel and -build" >&2; exit 1; }
  mkdir -p "$build/sdist/tree" "$build/sdist/out" "$build/wheel/src"
  git archive --format=tar HEAD | tar -xf - -C "$build/sdist/tree"
  /usr/bin/python3 -m build --sdist --no-isolation -o "$build/sdist/out" "$build/sdist/tree" \
    > "$build/sdist.log" 2>&1 || { cat "$build/sdist.log"; exit 1; }
  sdist=spezzafrasi-$version
  tar -xzf "$build/sdist/out/$sdist.tar.gz" -C "$build/wheel/src"
  tar -C "$build/wheel/src" --sort=name --format=gnu --mtime="@$SOURCE_DATE_EPOCH" \
    --owner=0 --group=0 --numeric-owner -cf - "$sdist" | gzip -9n > "$dist/$sdist.tar.gz"
  /usr/bin/python3 -m pip wheel --no-build-isolation --no-deps -w "$build/wheel/dist" \
    "$build/wheel/src/$sdist" > "$build/wheel.log" 2>&1 || { cat "$build/wheel.log"; exit 1; }
  packaging/manylinux.sh "$build/wheel/dist/$sdist-cp39-abi3-linux_x86_64.whl" "$dist" > /dev/null

  # The AArch64 wheel, cross-built from the same source distribution,
  # against the headers of Debian's arm64 Python of the same version.
  python=$(/usr/bin/python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')
  headers=$build/arm64-python
  mkdir -p "$headers/debs" "$build/wheel-aarch64/src"
  (cd "$headers/debs" && apt-get download -q "libpython$python-dev:arm64") > "$headers.log" 2>&1 ||
    { cat "$headers.log"; echo "release: no libpython$python-dev:arm64 to build against" >&2; exit 1; }
  dpkg-deb -x "$headers"/debs/*.deb "$headers/root"
  tar -xzf "$build/sdist/out/$sdist.tar.gz" -C "$build/wheel-aarch64/src"
  cross=$build/wheel-aarch64/src/$sdist
  env CC=aarch64-linux-gnu-gcc CXX=aarch64-linux-gnu-g++ LDSHARED="aarch64-linux-gnu-g++ -shared" \
    _PYTHON_HOST_PLATFORM=linux-aarch64 CFLAGS="-I$headers/root/usr/include" \
    SPEZZAFRASI_TOOLCHAIN="$cross/cmake/toolchains/aarch64-linux-gnu.cmake" \
    /usr/bin/python3 -m pip wheel --no-build-isolation --no-deps -w "$build/wheel-aarch64/dist" \
    "$cross" > "$build/wheel-aarch64.log" 2>&1 || { cat "$build/wheel-aarch64.log"; exit 1; }
  READELF=aarch64-linux-gnu-readelf packaging/manylinux.sh \
    "$build/wheel-aarch64/dist/$sdist-cp39-abi3-linux_aarch64.whl" "$dist" > /dev/null
fi

(cd "$dist" && sha256sum -- * > SHA256SUMS)
cat "$dist/SHA256SUMS"
