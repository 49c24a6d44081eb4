#!/usr/bin/env bash
# The libraries define no global name of their own outside the C interface
# (spezzafrasi_*) and the C++ namespace spezzafrasi, so that a program that
# links them meets no clash; the shared one exports the C interface alone,
# under its version node.
#
# usage: symbols_test.sh NM STATIC_LIBRARY [SHARED_LIBRARY]
set -euo pipefail
nm=$1 static=$2 shared=${3:-}
fail() { echo "symbols test: $*" >&2; exit 1; }

# Mangled names in the namespace, with the prefixes of their variables'
# guards, vtables and local statics.
in_namespace='^_Z[A-Z]{0,3}N[KVr]*11spezzafrasi'
others=$("$nm" --defined-only -g "$static" | awk 'NF == 3 { print $3 }' |
  grep -v -E -e '^spezzafrasi_[a-z0-9_]+$' -e "$in_namespace" | sort -u || true)
[ -z "$others" ] || fail "$static defines names outside spezzafrasi: $others"
count=$("$nm" --defined-only -g "$static" | grep -c -E ' spezzafrasi_[a-z_]+$') || true
[ "$count" -ge 10 ] || fail "$static: $count C functions, not the interface"

if [ -n "$shared" ]; then
  exported=$("$nm" -D --defined-only "$shared" | awk 'NF == 3 { print $3 }' | sort -u)
  others=$(grep -v -E -e '^spezzafrasi_[a-z0-9_]+(@@SPEZZAFRASI_1)?$' -e '^SPEZZAFRASI_1$' \
    <<< "$exported" || true)
  [ -z "$others" ] || fail "$shared exports more than its interface: $others"
  "$nm" -D --defined-only --with-symbol-versions "$shared" | grep -q ' spezzafrasi_version@@SPEZZAFRASI_1$' ||
    fail "$shared: spezzafrasi_version is not under the version node SPEZZAFRASI_1"
fi
echo "symbols: $count C functions, every other name in the namespace"
