#!/usr/bin/env bash
# Boots Debian's arm64 kernel under qemu-system-aarch64 with an initramfs
# that holds busybox, the AArch64 program and its test programs, and runs
# them there under a real kernel, which qemu-user is not: the confinement
# (the filter installed, Seccomp 2 while it reads, forbidden calls
# refused), the failure paths (full disk, read error) among the
# command-line tests, the unit tests with every kernel. Skips (77) only
# when qemu-system-aarch64 or the arm64 packages cannot be had.
#
# usage: arm64_kernel_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)
for tool in qemu-system-aarch64 cpio apt-get dpkg-deb; do
  command -v "$tool" > /dev/null || { echo "no $tool: skipped"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "arm64 kernel test: $*" >&2; exit 1; }

# Debian's kernel and busybox for arm64, fetched once into the build.
cache=$build/arm64-kernel
if [ ! -f "$cache/vmlinuz" ] || [ ! -f "$cache/busybox" ]; then
  rm -rf "$cache"
  mkdir -p "$cache/debs"
  (cd "$cache/debs" && apt-get download -q linux-image-arm64:arm64 busybox-static:arm64 &&
    image=$(dpkg-deb -f linux-image-arm64_*.deb Depends | sed 's/[ ,(].*//') &&
    apt-get download -q "$image") > "$cache/download.log" 2>&1 ||
    { cat "$cache/download.log"; echo "the arm64 kernel or busybox cannot be had: skipped"; exit 77; }
  for deb in "$cache"/debs/*.deb; do dpkg-deb -x "$deb" "$cache/unpacked"; done
  cp "$cache"/unpacked/boot/vmlinuz-* "$cache/vmlinuz"
  cp "$cache/unpacked/bin/busybox" "$cache/busybox"
  rm -rf "$cache/debs" "$cache/unpacked"
fi

# The initramfs: busybox as every command (bash too, for the tests'
# shell lines), the cross compiler's C and C++ libraries, and the programs
# at the paths they were built with.
root=$work/root
# (the initramfs is itself in memory and writable: /tmp needs no mount,
# which would hide a build folder under /tmp)
mkdir -p "$root"/{bin,lib,proc,sys,dev,tmp}
cp "$cache/busybox" "$root/bin/busybox"
ln -s busybox "$root/bin/sh"
printf '#!/bin/busybox sh\nexec /bin/busybox sh "$@"\n' > "$root/bin/bash"
chmod +x "$root/bin/bash"
for lib in ld-linux-aarch64.so.1 libc.so.6 libm.so.6 libstdc++.so.6 libgcc_s.so.1; do
  cp -L "/usr/aarch64-linux-gnu/lib/$lib" "$root/lib/"
done
for program in spezzafrasi tests/unit_tests tests/kernel_tests tests/cli_tests tests/confine_tests; do
  mkdir -p "$root$build/$(dirname "$program")"
  cp "$build/$program" "$root$build/$program"
done
mkdir -p "$root$source_dir/examples"
cp "$source_dir"/examples/primavera.txt "$source_dir"/examples/primavera.periodi.txt \
  "$root$source_dir/examples/"
cat > "$root/init" << INIT
#!/bin/sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
# what udev would make: the standard streams by name
ln -s /proc/self/fd /dev/fd
ln -s /proc/self/fd/0 /dev/stdin
ln -s /proc/self/fd/1 /dev/stdout
ln -s /proc/self/fd/2 /dev/stderr
export PATH=/bin LD_LIBRARY_PATH=/lib HOME=/tmp SPEZZAFRASI_EMULATOR=
run() {
  name=\$1
  shift
  "\$@" > /tmp/\$name.log 2>&1
  status=\$?
  if [ \$status -eq 0 ]; then tail -n 3 /tmp/\$name.log; else cat /tmp/\$name.log; fi
  echo "RESULT \$name \$status"
}
run confine_tests $build/tests/confine_tests
run cli_tests $build/tests/cli_tests
run kernel_tests $build/tests/kernel_tests
for kernel in neon portable; do
  run unit_tests_\$kernel env SPEZZAFRASI_KERNEL=\$kernel $build/tests/unit_tests
done
echo "ALL RESULTS"
poweroff -f
INIT
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) > "$work/initrd.gz"

timeout 800 qemu-system-aarch64 -M virt -cpu max -smp 2 -m 1024 -nographic -no-reboot -nic none \
  -kernel "$cache/vmlinuz" -initrd "$work/initrd.gz" \
  -append "console=ttyAMA0 panic=-1 quiet" < /dev/null > "$work/console.log" 2>&1 || true
grep -q '^ALL RESULTS' "$work/console.log" || { tail -n 60 "$work/console.log"; fail "the run did not end"; }
results=$(grep '^RESULT ' "$work/console.log" | tr -d '\r')
echo "$results"
[ "$(echo "$results" | wc -l)" -eq 5 ] || fail "not every test program ran"
if echo "$results" | grep -qv ' 0$'; then
  grep -v '^\[ *OK' "$work/console.log" | tail -n 80
  fail "a test program failed under the arm64 kernel"
fi
echo "arm64 kernel OK: $(uname -m) host, Debian's arm64 kernel under qemu-system-aarch64"
