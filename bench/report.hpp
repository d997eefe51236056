// The console output of the benchmarks and the summary printed after them:
// the reporter shows only the medians and keeps them, with the spread of the
// repetitions, for the tables of time per step, bandwidth, kernels and the
// ensemble.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "verify.hpp"

namespace rkv::bench {

// One benchmark's aggregates, times in ns.
struct Stat {
  double ns = 0.0;   // median CPU time per iteration, wall time where that is the measure
  double cv = 0.0;   // coefficient of variation of that time
  double cpu = 0.0;  // median CPU time of the process, for the wall-time benchmarks
  double lo = 0.0;   // fastest and slowest repetition, where they are computed
  double hi = 0.0;
  double steps = 0.0;
};

class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  // Shows only the medians; keeps them (and the spread) for the table.
  void ReportRuns(const std::vector<Run>& runs) override;

  // Median time per accepted step in ns, or a negative value when missing.
  double per_step(const std::string& name) const;
  // Cores kept busy: process CPU time over wall time (negative when missing).
  double cores(const std::string& name) const;
  // Median time per iteration in ns, or a negative value when missing.
  double per_iteration(const std::string& name) const;
  // The same for the fastest and the slowest repetition (negative if not kept).
  std::pair<double, double> range_per_step(const std::string& name) const;
  // The spread of the repetitions: the largest coefficient of variation of
  // the CPU time, with its benchmark, and the median over all benchmarks.
  void print_spread() const;

 private:
  void keep(const Run& r);
  std::map<std::string, Stat> stats_;
};

// The summary tables; `p2_bytes` as the verification measured them.
void print_table(const SummaryReporter& r, const BytesPerStep& p2_bytes);

}  // namespace rkv::bench
