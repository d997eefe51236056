#!/usr/bin/env bash
# Builds everything with ThreadSanitizer (clang++) and runs the whole test
# suite under it, the tests with several threads among them.
set -euo pipefail
cd "$(dirname "$0")/.."

# The machine is shared: two jobs at most for the build and the tests.
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-2}"
export CTEST_PARALLEL_LEVEL="${CTEST_PARALLEL_LEVEL:-2}"
# A race is a failure; report it with both stacks and stop.
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}"

cmake --workflow --preset tsan
