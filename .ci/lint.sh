#!/usr/bin/env bash
# Static checks: formatting of every tracked C/C++ file against .clang-format,
# then clang-tidy (.clang-tidy) over the library and program sources.
# Fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."

status=0

echo "=== clang-format"
mapfile -t sources < <(git ls-files '*.cpp' '*.hpp' '*.h' '*.c')
if ! clang-format --dry-run --Werror "${sources[@]}"; then
  echo "lint: formatting differs from .clang-format (see above)"
  status=1
fi

echo "=== clang-tidy"
build="build/lint"
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DBUILD_TESTING=OFF -DRKV_WARNINGS_AS_ERRORS=ON >/dev/null
# Library and program sources only (not tests, examples, fuzzers).
mapfile -t tidy_sources < <(git ls-files 'host/src/*.cpp' 'machine/src/*.cpp' \
  'errors/src/*.cpp' 'ode/src/*/*.cpp' 'capi/src/*.cpp' 'app/*.cpp')
# The MPI component when this configure found MPI.
if grep -q '/mpi/src/' "$build/compile_commands.json"; then
  mapfile -t -O "${#tidy_sources[@]}" tidy_sources < <(git ls-files 'mpi/src/*.cpp')
fi
jobs="${LINT_JOBS:-2}"
if ! printf '%s\n' "${tidy_sources[@]}" |
    xargs -P "$jobs" -n 4 clang-tidy -p "$build" --quiet; then
  echo "lint: clang-tidy findings (see above)"
  status=1
fi

if [ "$status" -eq 0 ]; then echo "lint: no findings"; fi
exit "$status"
