#!/usr/bin/env bash
# Regenerates the work-precision benchmark: builds rkv_work_precision in the
# bench preset, runs it five times (each C++ time is then the median of the
# five, to smooth out a shared machine's load) and SciPy's solvers once on
# the six problems, and writes
# the plots (docs/images/wp_*.png) and the page (docs/performance-wp.md).
# The references (bench/wp/references.txt) are data; --references computes
# them afresh first (a few minutes). Several minutes of both cores: not part
# of the tests or CI.
#
#   bash tools/work_precision.sh [--references] [problem ...]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
py=/usr/bin/python3
wp=$root/bench/wp
out=$root/build/bench/work_precision

if [[ ${1:-} == --references ]]; then
  shift
  "$py" "$wp/references.py" "$wp/references.txt"
fi

cd "$root"
cmake --preset bench >/dev/null
cmake --build build/bench --target rkv_work_precision
mkdir -p "$out"
# How it was measured, for the page: the commit, and the load at each run.
conditions=$out/conditions.txt
echo "commit $(git rev-parse --short HEAD)$(git diff --quiet HEAD || echo ' with changes')" \
  >"$conditions"
runs=()
for i in 1 2 3 4 5; do
  echo "run $i started $(date -u '+%F %T UTC'), $(uptime | sed 's/.*load/load/')" \
    | tee -a "$conditions"
  build/bench/bench/rkv_work_precision "$wp/references.txt" "$out/cpp$i.csv" "$@"
  runs+=("$out/cpp$i.csv")
done
echo "C++ runs ended $(date -u '+%F %T UTC'), $(uptime | sed 's/.*load/load/')" | tee -a "$conditions"
"$py" "$wp/scipy_wp.py" "$wp/references.txt" "$out/scipy.csv" "$@"
WP_CONDITIONS=$conditions "$py" "$wp/plot_wp.py" docs/images docs/performance-wp.md "${runs[@]}" "$out/scipy.csv"
echo "written: docs/images/wp_evaluations.png docs/images/wp_time.png docs/performance-wp.md"
