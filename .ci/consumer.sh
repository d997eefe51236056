#!/usr/bin/env bash
# Consumer check: installs the library into a temporary prefix, then builds
# and runs a tiny outside project against it with find_package.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DRKV_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$work/build" >/dev/null
cmake --install "$work/build" --prefix "$work/prefix" >/dev/null

cmake -S "$root/tests/consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
cpp_out=$("$work/consumer/decay")
c_out=$("$work/consumer/decay_c")
echo "consumer (C++): $cpp_out"
echo "consumer (C):   $c_out"
if [ "$cpp_out" != "$c_out" ]; then
  echo "consumer: the C and C++ programs disagree"
  exit 1
fi
echo "consumer: 1 passed, 0 failed"
