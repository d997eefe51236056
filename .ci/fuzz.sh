#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset) and runs each for a number of
# seconds from a copy of its committed seed corpus. Fails on any finding
# (a crash, a sanitiser report, a broken property, a leak or a timeout).
#
#   .ci/fuzz.sh [SECONDS]        default 60, or FUZZ_SECONDS from the environment
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

seconds="${1:-${FUZZ_SECONDS:-60}}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "fuzz.sh: the run time must be a positive number of seconds, not '$seconds'" >&2
  exit 2
fi

export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-2}"
cmake --preset fuzz
cmake --build --preset fuzz --target fuzzers

bin="$root/build/fuzz/fuzz"
work="$(mktemp -d "${TMPDIR:-/tmp}/rkv-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT
# The drivers keep their captured console output under TMPDIR.
export TMPDIR="$work"

status=0
summary=()
# Every target has its seed corpus in fuzz/corpus/<target>; that is the list.
for seeds in "$root"/fuzz/corpus/*/; do
  target="$(basename "$seeds")"
  corpus="$work/corpus/$target"
  mkdir -p "$corpus" "$work/artifacts/$target"
  cp "$seeds"* "$corpus/"
  opts=(-max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048
        -print_final_stats=1 -artifact_prefix="$work/artifacts/$target/")
  if [ -f "$root/fuzz/$target.dict" ]; then opts+=(-dict="$root/fuzz/$target.dict"); fi
  echo "=== $target: ${seconds}s"
  log="$work/$target.log"
  if "$bin/$target" "${opts[@]}" "$corpus" >"$log" 2>&1; then
    runs="$(grep -Eo 'Done [0-9]+ runs' "$log" | tail -1 | grep -Eo '[0-9]+' || echo '?')"
    summary+=("$target: $runs runs, no finding")
  else
    status=1
    tail -n 60 "$log"
    # Keep the reproducers where a developer can find them.
    mkdir -p "$root/build/fuzz/findings/$target"
    cp "$work/artifacts/$target/"* "$root/build/fuzz/findings/$target/" 2>/dev/null || true
    summary+=("$target: FINDING (reproducer under build/fuzz/findings/$target)")
  fi
done

echo "=== fuzzing summary"
printf '%s\n' "${summary[@]}"
exit "$status"
