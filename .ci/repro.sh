#!/usr/bin/env bash
# Reproducibility matrix: the golden traces (float and double) and the trajectory program's
# console and file output must be byte-identical from g++ -O0, g++ -O3,
# clang++ -O0, clang++ -O3 and an aarch64 cross build run under qemu-user.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build/repro
rm -rf "$out"
mkdir -p "$out"

# The aarch64 cross compiler and qemu-user, when missing.
tools/bootstrap --install-only repro

# run_build NAME EMULATOR CMAKE-ARGS...: builds the program and the trace
# driver without the tests, runs both, keeps their outputs under $out/NAME.
run_build() {
  local name=$1 emulator=$2
  shift 2
  local bdir=$root/build/repro-$name
  echo "== $name"
  cmake -S "$root" -B "$bdir" -G Ninja -DBUILD_TESTING=OFF -DRKV_BUILD_EXAMPLES=OFF \
    -DRKV_BUILD_TRACE_DRIVER=ON -DRKV_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
  cmake --build "$bdir" --target trajectory trace_driver >"$out/build-$name.log" 2>&1 ||
    { cat "$out/build-$name.log"; return 1; }
  mkdir -p "$out/$name/run"
  (cd "$out/$name/run" && $emulator "$bdir/app/trajectory" >"$out/$name/console.txt"; echo "exit $?" >>"$out/$name/console.txt")
  cp "$out/$name/run/traject.txt" "$out/$name/traject.txt"
  $emulator "$bdir/tests/trace/trace_driver" >"$out/$name/traces.txt"
  $emulator "$bdir/tests/trace/trace_driver" --real=double >"$out/$name/traces_double.txt"
}

run_build gcc-O0 "" -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0
run_build gcc-O3 "" -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O3
run_build clang-O0 "" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0
run_build clang-O3 "" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O3
run_build aarch64-O3 qemu-aarch64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/aarch64-linux-gnu.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O3

status=0
for f in console.txt traject.txt traces.txt traces_double.txt; do

  for b in gcc-O3 clang-O0 clang-O3 aarch64-O3; do
    if ! cmp "$out/gcc-O0/$f" "$out/$b/$f"; then
      echo "DIFFERENCE: $f from gcc-O0 and $b"
      diff "$out/gcc-O0/$f" "$out/$b/$f" | head -5 || true
      status=1
    fi
  done
done
if ! cmp "$out/gcc-O0/traces.txt" "$root/tests/trace/golden_traces.txt"; then
  echo "DIFFERENCE: traces from gcc-O0 and the committed golden traces"
  status=1
fi
if ! cmp "$out/gcc-O0/traces_double.txt" "$root/tests/trace/golden_traces_double.txt"; then
  echo "DIFFERENCE: double traces from gcc-O0 and the committed golden double traces"
  status=1
fi
lines=$(wc -l <"$out/gcc-O0/traces.txt")
dlines=$(wc -l <"$out/gcc-O0/traces_double.txt")
echo "reproducibility: $lines golden trace lines, $dlines golden double trace lines, trajectory console and file compared across gcc-O0 gcc-O3 clang-O0 clang-O3 aarch64-O3"
[ $status -eq 0 ] && echo "reproducibility: 5 passed, 0 failed" || echo "reproducibility: failed"
exit $status
