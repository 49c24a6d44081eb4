#!/usr/bin/env bash
# Gives a wheel built for linux_<machine> the oldest manylinux tag that its
# extension and program allow, after the checks that a package index's auditor makes:
# no library beyond those that every manylinux system has, no symbol
# version newer than the tag's glibc, none of a C++ runtime. Prints the
# retagged wheel's name.
#
# usage: manylinux.sh WHEEL OUTPUT_FOLDER      (READELF may name readelf)
set -euo pipefail
wheel=$1 out=$2
readelf=${READELF:-readelf}
fail() { echo "manylinux: $(basename "$wheel"): $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

case $wheel in
  *-linux_x86_64.whl) machine=x86_64 oldest=2.5 ;;   # manylinux1
  *-linux_aarch64.whl) machine=aarch64 oldest=2.17 ;; # manylinux2014
  *) fail "not a linux_x86_64 or linux_aarch64 wheel" ;;
esac
/usr/bin/python3 -m wheel unpack -d "$work" "$wheel" > /dev/null
tree=$(echo "$work"/*/)
# unpack drops the members' modes: the program must stay executable.
/usr/bin/python3 - "$wheel" "$tree" << 'EOF'
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as wheel:
    for member in wheel.infolist():
        if (member.external_attr >> 16) & 0o111:
            os.chmod(os.path.join(sys.argv[2], member.filename), (member.external_attr >> 16) & 0o777)
EOF
# Every ELF file in it: the extension, and the program it carries.
mapfile -t objects < <(find "$tree" -type f -exec sh -c 'head -c 4 "$1" | grep -q ELF' _ {} \; -print)
[ ${#objects[@]} -gt 0 ] || fail "no extension in it"

needs=$oldest
for so in "${objects[@]}"; do
  # The libraries of the manylinux policy that a module of ours may need.
  while read -r library; do
    case $library in
      libc.so.6 | libm.so.6 | libpthread.so.0 | libdl.so.2 | librt.so.1 | ld-linux*) ;;
      *) fail "$(basename "$so") needs $library, which a manylinux system may lack" ;;
    esac
  done < <("$readelf" -d "$so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  versions=$("$readelf" -V "$so" | sed -n 's/.*Name: \([A-Z_]*_[0-9.]*\).*/\1/p' | sort -u)
  others=$(grep -v '^GLIBC_' <<< "$versions" || true)
  [ -z "$others" ] || fail "$(basename "$so") needs $others (a C++ or compiler runtime)"
  newest=$(sed -n 's/^GLIBC_//p' <<< "$versions" | sort -V | tail -n 1)
  [ -z "$newest" ] || needs=$(printf '%s\n' "$needs" "$newest" | sort -V | tail -n 1)
done

tag=manylinux_${needs%%.*}_${needs#*.}_$machine
sed -i "s/^Tag: \(.*\)-linux_$machine\$/Tag: \1-$tag/" "$tree"*.dist-info/WHEEL
grep -q "^Tag: .*-$tag\$" "$tree"*.dist-info/WHEEL || fail "no Tag line to retag"
mkdir -p "$out"
/usr/bin/python3 -m wheel pack -d "$out" "$tree" > /dev/null
basename "${wheel%-linux_"$machine".whl}-$tag.whl"
