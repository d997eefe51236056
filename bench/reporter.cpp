// The reporter that keeps the medians and the spread of each benchmark.
#include "report.hpp"

#include <algorithm>
#include <cstdio>

namespace rkv::bench {

void SummaryReporter::ReportRuns(const std::vector<Run>& runs) {
  std::vector<Run> shown;
  for (const Run& r : runs) {
    if (r.run_type != Run::RT_Aggregate || r.aggregate_name == "median") shown.push_back(r);
  }
  ConsoleReporter::ReportRuns(shown);
  for (const Run& r : runs) {
    if (r.run_type == Run::RT_Aggregate && !r.error_occurred) keep(r);
  }
}

void SummaryReporter::keep(const Run& r) {
  Stat& s = stats_[r.run_name.function_name];
  const bool wall = !r.run_name.time_type.empty();
  const double unit = benchmark::GetTimeUnitMultiplier(r.time_unit);
  const double t = wall ? r.GetAdjustedRealTime() : r.GetAdjustedCPUTime();
  const double ns = t / unit * 1e9;
  if (r.aggregate_name == "median") {
    s.ns = ns;
    s.cpu = r.GetAdjustedCPUTime() / unit * 1e9;
    const auto it = r.counters.find("steps");
    s.steps = it != r.counters.end() ? it->second.value : 1.0;
  } else if (r.aggregate_name == "cv") {
    // a fraction, not scaled by iterations
    s.cv = wall ? r.real_accumulated_time : r.cpu_accumulated_time;
  } else if (r.aggregate_name == "min") {
    s.lo = ns;
  } else if (r.aggregate_name == "max") {
    s.hi = ns;
  }
}

double SummaryReporter::per_step(const std::string& name) const {
  const auto it = stats_.find(name);
  if (it == stats_.end() || it->second.steps <= 0.0 || it->second.ns <= 0.0) return -1.0;
  return it->second.ns / it->second.steps;
}

double SummaryReporter::cores(const std::string& name) const {
  const auto it = stats_.find(name);
  return it == stats_.end() || it->second.ns <= 0.0 ? -1.0 : it->second.cpu / it->second.ns;
}

double SummaryReporter::per_iteration(const std::string& name) const {
  const auto it = stats_.find(name);
  return it == stats_.end() || it->second.ns <= 0.0 ? -1.0 : it->second.ns;
}

std::pair<double, double> SummaryReporter::range_per_step(const std::string& name) const {
  const auto it = stats_.find(name);
  if (it == stats_.end() || it->second.steps <= 0.0 || it->second.lo <= 0.0) return {-1.0, -1.0};
  return {it->second.lo / it->second.steps, it->second.hi / it->second.steps};
}

void SummaryReporter::print_spread() const {
  std::vector<double> cvs;
  std::pair<double, std::string> worst{0.0, ""};
  for (const auto& [name, s] : stats_) {
    cvs.push_back(s.cv);
    worst = std::max(worst, std::make_pair(s.cv, name));
  }
  if (cvs.empty()) return;
  std::sort(cvs.begin(), cvs.end());
  std::printf(
      "\nSpread of the repetitions (CV of the CPU time): median %.1f%%, largest %.1f%% (%s)\n",
      100.0 * cvs[cvs.size() / 2], 100.0 * worst.first, worst.second.c_str());
}

}  // namespace rkv::bench
