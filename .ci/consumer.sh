#!/usr/bin/env bash
# Packaging check: plain Release builds as a user makes them (no preset, so no
# -Werror), each with the whole test suite, and outside programs built on what
# they install:
#  1. g++, Ninja, static libraries; installed, then built on that install:
#     a CMake C++ consumer (find_package(rkv), rkv::ode, no CMAKE_CXX_STANDARD),
#     a CMake C-only consumer of rkv::capi (an unknown component is refused),
#     a CMake consumer of rkv::mpi when MPI was found (run on 1 and 2 processes),
#     and with one plain compiler command each from rkv.pc / rkv-c.pc (also
#     --static): the C++ and the C example, and a program whose only call is
#     AMACH(99), which must give the TERMINAL report;
#  2. clang++, Ninja, static libraries;
#  3. g++, Unix Makefiles, shared libraries; installed, then the C++ consumer
#     and the installed bin/trajectory run without LD_LIBRARY_PATH, and the
#     libraries export their public routines only;
#  4. a parent project that adds rkv with add_subdirectory and has its own
#     `run` target.
# Every consumer must print the bits of examples/oscillator_expected.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$(mktemp -d "${TMPDIR:-/tmp}/rkv-consumer.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The machine is shared: two jobs at most.
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-2}"
export CTEST_PARALLEL_LEVEL="${CTEST_PARALLEL_LEVEL:-2}"
unset LD_LIBRARY_PATH

expected=$root/examples/oscillator_expected.txt
passed=0
failed=0
pass() {
  echo "consumer: $1: ok"
  passed=$((passed + 1))
}
fail() {
  echo "consumer: $1: FAILED"
  failed=$((failed + 1))
}
# same_output NAME COMMAND...: runs the program, compares its output with the
# in-tree example's.
same_output() {
  local name=$1
  shift
  if "$@" >"$work/out.txt" 2>&1 && cmp -s "$work/out.txt" "$expected"; then
    pass "$name"
  else
    diff "$expected" "$work/out.txt" | head -5 || true
    fail "$name"
  fi
}
# quiet LOG COMMAND...: runs a build step, shows its log only if it fails.
quiet() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 || { tail -n 40 "$log"; return 1; }
}
# plain_build NAME PREFIX CMAKE-ARGS...: configure, build, every test, install.
plain_build() {
  local name=$1 prefix=$2
  shift 2
  echo "== plain Release build: $name"
  quiet "$work/$name-configure.log" cmake -S "$root" -B "$work/$name" -DCMAKE_BUILD_TYPE=Release "$@"
  quiet "$work/$name-build.log" cmake --build "$work/$name"
  if (cd "$work/$name" && ctest --output-on-failure >"$work/$name-test.log" 2>&1); then
    pass "$name: $(grep -Eo 'out of [0-9]+' "$work/$name-test.log" | tail -1 | sed 's/out of/all/') tests passed"
  else
    tail -n 40 "$work/$name-test.log"
    fail "$name: tests"
  fi
  if [ -n "$prefix" ]; then quiet "$work/$name-install.log" cmake --install "$work/$name" --prefix "$prefix"; fi
}

# 1. g++, static.
static=$work/static
plain_build gcc-static "$static" -G Ninja -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc
# Every installed header but those holding macros only (the version and the
# error types) declares the public interface and so must mark it for export
# (see cmake/Library.cmake).
unmarked=$(cd "$static/include" &&
  grep -rL "visibility push(default)" --exclude=version.h --exclude=error_types.h . || true)
if ls "$static/include/rkv/ode/kernels.hpp" "$static"/include/rkv/errors/*testing* >/dev/null 2>&1; then
  fail "installed headers: private ones installed"
elif [ -n "$unmarked" ]; then
  echo "not marked for export: $unmarked"
  fail "installed headers: each marks its declarations for export"
else
  pass "installed headers: public ones only, each marking its declarations for export"
fi

quiet "$work/cpp.log" cmake -S "$root/tests/consumer" -B "$work/cpp" -G Ninja \
  -DCMAKE_CXX_COMPILER=g++ -DCMAKE_PREFIX_PATH="$static"
quiet "$work/cpp-build.log" cmake --build "$work/cpp"
same_output "CMake C++ consumer (static)" "$work/cpp/oscillator_cpp"

quiet "$work/c.log" cmake -S "$root/tests/consumer/c" -B "$work/c" -G Ninja \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_PREFIX_PATH="$static"
quiet "$work/c-build.log" cmake --build "$work/c"
same_output "CMake C-only consumer of rkv::capi" "$work/c/oscillator_c"
if cmake -S "$root/tests/consumer/c" -B "$work/c-bad" -G Ninja -DCMAKE_C_COMPILER=gcc \
  -DCMAKE_PREFIX_PATH="$static" -DRKV_COMPONENTS="capi;nosuch" >"$work/c-bad.log" 2>&1; then
  fail "find_package(rkv COMPONENTS nosuch) is refused"
else
  pass "find_package(rkv COMPONENTS nosuch) is refused"
fi

# rkv::mpi, when the build found MPI: installed and exported, and a program
# on it gives the same text on one and on two processes.
if [ -e "$static/lib/cmake/rkv/rkvMpiTargets.cmake" ]; then
  quiet "$work/mpi.log" cmake -S "$root/tests/consumer/mpi" -B "$work/mpi" -G Ninja \
    -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc -DCMAKE_PREFIX_PATH="$static"
  quiet "$work/mpi-build.log" cmake --build "$work/mpi"
  mpi_run() {
    OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 OMPI_MCA_rmaps_base_oversubscribe=1 \
      mpiexec -n "$1" "$work/mpi/heat" 2000 >"$work/mpi-np$1.txt" 2>&1
  }
  # The first line names the number of processes; the rest must not differ.
  if mpi_run 1 && mpi_run 2 && [ "$(wc -l <"$work/mpi-np1.txt")" -gt 1 ] &&
    cmp -s <(tail -n +2 "$work/mpi-np1.txt") <(tail -n +2 "$work/mpi-np2.txt"); then
    pass "CMake consumer of rkv::mpi: the same output on 1 and 2 processes"
  else
    diff <(tail -n +2 "$work/mpi-np1.txt") <(tail -n +2 "$work/mpi-np2.txt") | head -5 || true
    fail "CMake consumer of rkv::mpi"
  fi
fi

export PKG_CONFIG_PATH="$static/lib/pkgconfig"
pc_version=$(pkg-config --modversion rkv)
header_version=$(sed -n 's/^#define RKV_VERSION_STRING "\(.*\)"$/\1/p' "$static/include/rkv/version.h")
if [ "$pc_version" = "$header_version" ] && [ -n "$pc_version" ]; then
  pass "rkv.pc and rkv/version.h: version $pc_version"
else
  fail "rkv.pc ($pc_version) and rkv/version.h ($header_version) disagree"
fi
for mode in "" --static; do
  # shellcheck disable=SC2046  # the flags are words
  c++ -o "$work/pc_cpp" "$root/examples/oscillator.cpp" $(pkg-config --cflags --libs $mode rkv)
  same_output "pkg-config C++ consumer${mode:+ $mode}" "$work/pc_cpp"
done
# shellcheck disable=SC2046
cc -std=c99 -o "$work/pc_c" "$root/examples/oscillator.c" $(pkg-config --cflags --libs --static rkv-c)
same_output "pkg-config C consumer --static" "$work/pc_c"
# shellcheck disable=SC2046
c++ -o "$work/pc_amach" "$root/tests/consumer/amach.cpp" $(pkg-config --cflags --libs rkv)
printf '\n *** TERMINAL ERROR 5 from AMACH.  The argument must be between 1 and 8\n ***          inclusive. N = 99\n' \
  >"$work/amach_expected.txt"
status=0
"$work/pc_amach" >"$work/amach.txt" 2>&1 || status=$?
if [ "$status" -eq 0 ] && cmp -s "$work/amach.txt" "$work/amach_expected.txt"; then
  pass "pkg-config program calling only AMACH(99): the TERMINAL report"
else
  echo "exit status $status; output:"
  cat "$work/amach.txt"
  fail "pkg-config program calling only AMACH(99)"
fi
unset PKG_CONFIG_PATH

# 2. clang++, static.
plain_build clang-static "" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang

# 3. g++, shared, the generator CMake picks by default (Unix Makefiles).
shared=$work/shared
plain_build gcc-shared "$shared" -G "Unix Makefiles" -DBUILD_SHARED_LIBS=ON \
  -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc
quiet "$work/cpp-shared.log" cmake -S "$root/tests/consumer" -B "$work/cpp-shared" -G Ninja \
  -DCMAKE_CXX_COMPILER=g++ -DCMAKE_PREFIX_PATH="$shared"
quiet "$work/cpp-shared-build.log" cmake --build "$work/cpp-shared"
# ldd's whole output is read (awk, not grep -q): the loader writes one line at
# a time, and a reader that leaves at the first match can kill it with SIGPIPE,
# which pipefail turns into a failed check. The paths are compared resolved, as
# the run path CMake wrote need not spell $shared the same way.
linked_ode=$(ldd "$work/cpp-shared/oscillator_cpp" | awk '$1 == "librkv_ode.so.1" { print $3 }')
if [ -n "$linked_ode" ] &&
  [ "$(realpath "$linked_ode")" = "$(realpath "$shared/lib/librkv_ode.so.1")" ]; then
  same_output "CMake C++ consumer of the shared libraries" "$work/cpp-shared/oscillator_cpp"
else
  ldd "$work/cpp-shared/oscillator_cpp"
  fail "CMake C++ consumer of the shared libraries: not linked to them"
fi
mkdir -p "$work/run"
if (cd "$work/run" && "$shared/bin/trajectory" >console.txt 2>&1) &&
  cmp -s "$work/run/console.txt" "$root/tests/app/expected_console.txt" &&
  cmp -s "$work/run/traject.txt" "$root/tests/app/expected_traject.txt"; then
  pass "installed bin/trajectory on the shared libraries"
else
  head -5 "$work/run/console.txt" || true
  fail "installed bin/trajectory on the shared libraries"
fi
symbols_ok=1
for lib in host machine errors ode capi; do
  so="$shared/lib/librkv_$lib.so.1"
  if ! grep -q "RUNPATH.*\[\$ORIGIN\]" <<<"$(readelf -d "$so")"; then
    echo "$so: no RUNPATH \$ORIGIN"
    symbols_ok=0
  fi
done
exported=$(nm -DC --defined-only "$shared/lib/librkv_ode.so.1")
if ! grep -q "rkv::IVPRK(" <<<"$exported" || grep -Eq "verner_step|solver_state|V1VAXPY" <<<"$exported"; then
  echo "librkv_ode exports:"
  echo "$exported"
  symbols_ok=0
fi
if grep -q "SONAME.*librkv_ode.so.1\]" <<<"$(readelf -d "$shared/lib/librkv_ode.so.1")" &&
  [ "$symbols_ok" = 1 ]; then
  pass "shared libraries: SONAME with version, RUNPATH \$ORIGIN, public routines only"
else
  fail "shared libraries: SONAME, RUNPATH or exported symbols"
fi

# 4. add_subdirectory.
echo "== add_subdirectory consumer"
sub=$work/subproject
quiet "$work/sub.log" cmake -S "$root/tests/consumer/subproject" -B "$sub" -G Ninja -DCMAKE_CXX_COMPILER=g++
quiet "$work/sub-build.log" cmake --build "$sub"
same_output "add_subdirectory consumer" "$sub/oscillator_cpp"
quiet "$work/sub-run.log" cmake --build "$sub" --target run
quiet "$work/sub-install.log" cmake --install "$sub" --prefix "$work/sub-prefix"
installed=$(cd "$work/sub-prefix" && find . -type f | sort | tr '\n' ' ')
built_program=$(find "$sub" -name trajectory -type f)
if [ "$installed" = "./bin/oscillator_cpp " ] && [ -z "$built_program" ] &&
  [ ! -e "$sub/rkv/tests" ] && [ ! -e "$sub/rkv/examples" ]; then
  pass "add_subdirectory: the parent's own run target; no program, tests or install rules of rkv"
else
  echo "installed: $installed; program: $built_program"
  fail "add_subdirectory: rkv added more than its libraries"
fi

echo "consumer: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
