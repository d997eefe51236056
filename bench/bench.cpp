// Benchmarks of IVPRK and its vector kernels against the floor measured in
// the same run. Before timing anything the binary checks that the solver and
// the floor (and each kernel and its plain loop) produce the same bits; a
// mismatch ends it with exit status 1. After the benchmarks it prints a
// short table of medians: time per accepted step, ratio to the floor and,
// for the large systems, the bandwidth next to a triad's; then the ensemble
// on one thread and on every core, with the speed-up.
//
//   rkv_bench [--isa=baseline|avx2|avx512] [--verify-only] [benchmark flags]
//     --isa, first if given, narrows the vector instruction set of the solver's loops (and
//     the floor's) to the one named, where the processor supports it
//   rkv_bench --profile=<p1|p2>-<solver|floor>[:NEQ] [runs]
//     runs one workload untimed and unchecked, for a profiler
#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "ensemble.hpp"
#include "floor.hpp"
#include "peer.hpp"
#include "step/isa.hpp"
#include "step/isa_testing.hpp"
#include "step/kernels.hpp"
#include "workloads.hpp"

namespace rkv::bench {
namespace {

const std::vector<std::int32_t> kP2Sizes = {1, 10, 100, 1000, 100000, 1000000};
const std::vector<std::int32_t> kKernelSizes = {1000, 1000000};
constexpr std::int32_t kLarge = 100000;  // from here on bandwidth is reported
constexpr std::int32_t kOne = 1;

// The ensemble: 8 ENERGY x 8 BCOEF members for the timings, fewer for the
// bit-for-bit check, on one thread and on every core the system reports.
constexpr std::int32_t kGridSide = 8;
constexpr std::int32_t kCheckSide = 4;
std::int32_t all_cores() {
  const unsigned n = std::thread::hardware_concurrency();
  return n > 1 ? static_cast<std::int32_t>(n) : 1;
}

// Elements per array of a triad whose three arrays together are as large as
// Y and the workspace of a system of NEQ equations (11 NEQ floats).
std::int64_t footprint_triad(std::int32_t neq) {
  return (11 * static_cast<std::int64_t>(neq) + 2) / 3;
}

std::string sized(const char* base, std::int32_t n) {
  return base + std::to_string(n);
}

// The range of the repetitions, for the benchmarks whose table shows it.
double fastest(const std::vector<double>& v) {
  return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
}
double slowest(const std::vector<double>& v) {
  return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end());
}
benchmark::internal::Benchmark* with_range(benchmark::internal::Benchmark* b) {
  return b->ComputeStatistics("min", fastest)->ComputeStatistics("max", slowest);
}

// ---------------------------------------------------------------------------
// Bit-for-bit comparison of solver and floor.

bool same_bits(float a, float b) {
  return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

std::map<std::int32_t, double> g_p2_bytes;  // floor bytes per step, by NEQ

bool compare(const char* what, const Outcome& s, const Outcome& f, bool quiet = false) {
  bool ok = s.ok && f.ok && same_bits(s.x, f.x) && same_bits(s.accepted, f.accepted) &&
            same_bits(s.evaluations, f.evaluations) && same_bits(s.last_step, f.last_step) &&
            s.y.size() == f.y.size();
  std::size_t bad = 0;
  for (std::size_t i = 0; ok && i < s.y.size(); ++i) {
    if (!same_bits(s.y[i], f.y[i])) {
      ok = false;
      bad = i;
    }
  }
  if (quiet) return ok;
  if (ok) {
    std::printf("identical  %-14s x=%.7g steps=%.0f rejected=%.0f evaluations=%.0f y(1)=%.9g\n",
                what, static_cast<double>(f.x), static_cast<double>(f.accepted),
                static_cast<double>(f.rejections), static_cast<double>(f.evaluations),
                static_cast<double>(f.y.empty() ? 0.0f : f.y[0]));
  } else {
    std::printf(
        "MISMATCH   %-14s solver: ok=%d x=%a steps=%.0f evals=%.0f H=%a | floor: ok=%d "
        "x=%a steps=%.0f evals=%.0f H=%a | first differing y at %zu\n",
        what, s.ok, static_cast<double>(s.x), static_cast<double>(s.accepted),
        static_cast<double>(s.evaluations), static_cast<double>(s.last_step), f.ok,
        static_cast<double>(f.x), static_cast<double>(f.accepted),
        static_cast<double>(f.evaluations), static_cast<double>(f.last_step), bad);
  }
  return ok;
}

// Deterministic data in [-1, 1) with varied magnitudes and both signs.
std::vector<float> pattern(std::size_t n, std::uint32_t seed) {
  std::vector<float> v(n);
  std::uint32_t s = seed;
  for (float& e : v) {
    s = s * 1664525u + 1013904223u;
    e = static_cast<float>(static_cast<double>(s >> 8) / 8388608.0 - 1.0);
  }
  return v;
}

// The plain loops the kernels are compared with.
void loop_axpy(std::size_t n, float a, const float* x, float* __restrict y) {
  if (a == 0.0f) return;
  const double da = static_cast<double>(a);
  for (std::size_t i = 0; i < n; ++i) {
    y[i] = static_cast<float>(da * static_cast<double>(x[i]) + static_cast<double>(y[i]));
  }
}
void loop_copy(std::size_t n, const float* x, float* __restrict y) {
  for (std::size_t i = 0; i < n; ++i) y[i] = x[i];
}
void loop_swap(std::size_t n, float* x, float* __restrict y) {
  for (std::size_t i = 0; i < n; ++i) std::swap(x[i], y[i]);
}
std::int32_t loop_maxabs(std::size_t n, const float* x) {
  if (n == 0) return 0;
  std::size_t best = 0;
  float big = std::fabs(x[0]);
  for (std::size_t i = 1; i < n; ++i) {
    const float v = std::fabs(x[i]);
    if (v > big) {
      big = v;
      best = i;
    }
  }
  return static_cast<std::int32_t>(best + 1);
}

bool verify_kernels() {
  bool ok = true;
  for (const std::int32_t n : {1, 2, 3, 4, 5, 6, 7, 8, 13, 1000}) {
    const std::size_t u = static_cast<std::size_t>(n);
    const std::vector<float> x = pattern(u, 7u);
    const std::vector<float> y0 = pattern(u, 11u);
    const float a = 0.3f;
    std::vector<float> y1 = y0;
    std::vector<float> y2 = y0;
    V1VAXPY(n, a, x.data(), kOne, y1.data(), kOne);
    loop_axpy(u, a, x.data(), y2.data());
    ok = ok && std::memcmp(y1.data(), y2.data(), u * sizeof(float)) == 0;
    y1.assign(u, 0.0f);
    V1VCOPY(n, x.data(), kOne, y1.data(), kOne);
    ok = ok && std::memcmp(y1.data(), x.data(), u * sizeof(float)) == 0;
    std::vector<float> sx = x;
    y1 = y0;
    V1VSWAP(n, sx.data(), kOne, y1.data(), kOne);
    ok = ok && std::memcmp(sx.data(), y0.data(), u * sizeof(float)) == 0 &&
         std::memcmp(y1.data(), x.data(), u * sizeof(float)) == 0;
    ok = ok && V1MAXABS(n, x.data(), kOne) == loop_maxabs(u, x.data());
  }
  std::printf("%s  kernels against plain loops (n = 1..8, 13, 1000)\n",
              ok ? "identical" : "MISMATCH ");
  return ok;
}

// The comparison itself must see a difference of one unit in the last place
// in every compared quantity, and a failed run.
bool verify_comparison() {
  Outcome a;
  a.ok = true;
  a.x = 0.4f;
  a.y = {1.0f, -2.5f, 3.0e20f};
  a.last_step = 1.0e-3f;
  a.accepted = 405.0f;
  a.evaluations = 3240.0f;
  const std::vector<void (*)(Outcome&)> changes = {
      [](Outcome& o) { o.ok = false; },
      [](Outcome& o) { o.x = std::nextafter(o.x, 1.0f); },
      [](Outcome& o) { o.y[0] = std::nextafter(o.y[0], 2.0f); },
      [](Outcome& o) { o.y[2] = std::nextafter(o.y[2], 0.0f); },
      [](Outcome& o) { o.y.pop_back(); },
      [](Outcome& o) { o.last_step = -o.last_step; },
      [](Outcome& o) { o.accepted += 1.0f; },
      [](Outcome& o) { o.evaluations -= 1.0f; },
  };
  bool ok = compare("self", a, a, true);
  for (const auto change : changes) {
    Outcome b = a;
    change(b);
    ok = ok && !compare("self", a, b, true) && !compare("self", b, a, true);
  }
  std::printf("%s  the comparison sees one-ulp and count differences\n",
              ok ? "checked  " : "BROKEN   ");
  return ok;
}

// Every member's results on all cores equal those on one thread, bit for bit.
bool verify_ensemble(const char* what, MemberFunction f, bool with_stats) {
  if (f == nullptr) return true;
  const std::vector<Member> members = ensemble_grid(kCheckSide, kCheckSide);
  const std::int32_t threads = std::max(all_cores(), 2);
  std::vector<MemberResult> one;
  std::vector<MemberResult> many;
  const std::size_t steps = run_ensemble(members, 1, f, one);
  const std::size_t steps_many = run_ensemble(members, threads, f, many);
  bool ok = steps == steps_many;
  for (std::size_t i = 0; i < members.size(); ++i) {
    ok = ok && one[i].ok && many[i].ok && same_bits(one[i].x, many[i].x) &&
         same_bits(one[i].y, many[i].y);
    for (std::size_t k = 0; with_stats && k < one[i].stats.size(); ++k) {
      ok = ok && same_bits(one[i].stats[k], many[i].stats[k]);
    }
  }
  std::printf("%s  %-14s %zu members on %d threads and on 1, steps=%zu\n",
              ok ? "identical" : "MISMATCH ", what, members.size(), threads, steps);
  return ok;
}

bool verify() {
  bool ok = verify_comparison();
  Floor fl;
  Outcome s;
  Outcome f;
  p1_solver(s);
  p1_floor(fl, f);
  ok = compare("P1", s, f) && ok;
  for (const std::int32_t n : kP2Sizes) {
    p2_solver(n, s);
    p2_floor(fl, n, f);
    ok = compare(sized("P2 NEQ=", n).c_str(), s, f) && ok;
    g_p2_bytes[n] = floor_bytes_per_step(n, f);
  }
  ok = verify_kernels() && ok;
  ok = verify_ensemble("ensemble", kSolverMember, true) && ok;
  ok = verify_ensemble("ensemble peer", kPeerMember, false) && ok;
  return ok;
}

// ---------------------------------------------------------------------------
// Benchmarks.

void finish(benchmark::State& st, const Outcome& out) {
  st.counters["steps"] = static_cast<double>(out.accepted);
}

void bm_p1_floor(benchmark::State& st) {
  Floor fl;
  Outcome out;
  for (auto _ : st) {
    p1_floor(fl, out);
    benchmark::DoNotOptimize(out.y.data());
    benchmark::ClobberMemory();
  }
  finish(st, out);
}

void bm_p1_solver(benchmark::State& st) {
  Outcome out;
  for (auto _ : st) {
    p1_solver(out);
    benchmark::DoNotOptimize(out.y.data());
    benchmark::ClobberMemory();
  }
  finish(st, out);
}

void bm_p2_floor(benchmark::State& st, std::int32_t neq) {
  Floor fl;
  fl.reserve(neq);
  Outcome out;
  for (auto _ : st) {
    p2_floor(fl, neq, out);
    benchmark::DoNotOptimize(out.y.data());
    benchmark::ClobberMemory();
  }
  finish(st, out);
}

void bm_p2_solver(benchmark::State& st, std::int32_t neq) {
  Outcome out;
  for (auto _ : st) {
    p2_solver(neq, out);
    benchmark::DoNotOptimize(out.y.data());
    benchmark::ClobberMemory();
  }
  finish(st, out);
}

// a := b + s c on floats, the bandwidth reference (12 bytes per element),
// over n elements per array.
void bm_triad(benchmark::State& st, std::int64_t n) {
  const std::size_t u = static_cast<std::size_t>(n);
  std::vector<float> a(u, 0.0f);
  const std::vector<float> b = pattern(u, 3u);
  const std::vector<float> c = pattern(u, 5u);
  const float s = 0.5f;
  for (auto _ : st) {
    float* __restrict pa = a.data();
    const float* pb = b.data();
    const float* pc = c.data();
    for (std::size_t i = 0; i < u; ++i) pa[i] = pb[i] + s * pc[i];
    benchmark::DoNotOptimize(a.data());
    benchmark::ClobberMemory();
  }
  st.counters["steps"] = 1.0;
}

enum class Kernel { kAxpy, kCopy, kSwap, kMaxabs };

void bm_kernel(benchmark::State& st, Kernel k, bool library, std::int32_t n) {
  const std::size_t u = static_cast<std::size_t>(n);
  std::vector<float> x = pattern(u, 7u);
  std::vector<float> y = pattern(u, 11u);
  // Alternating signs keep y bounded over any number of iterations.
  float a = 1.0e-3f;
  std::int32_t index = 0;
  for (auto _ : st) {
    switch (k) {
      case Kernel::kAxpy:
        if (library) {
          V1VAXPY(n, a, x.data(), kOne, y.data(), kOne);
        } else {
          loop_axpy(u, a, x.data(), y.data());
        }
        a = -a;
        break;
      case Kernel::kCopy:
        if (library) {
          V1VCOPY(n, x.data(), kOne, y.data(), kOne);
        } else {
          loop_copy(u, x.data(), y.data());
        }
        break;
      case Kernel::kSwap:
        if (library) {
          V1VSWAP(n, x.data(), kOne, y.data(), kOne);
        } else {
          loop_swap(u, x.data(), y.data());
        }
        break;
      case Kernel::kMaxabs:
        index = library ? V1MAXABS(n, x.data(), kOne) : loop_maxabs(u, x.data());
        benchmark::DoNotOptimize(index);
        break;
    }
    benchmark::DoNotOptimize(y.data());
    benchmark::ClobberMemory();
  }
  st.counters["steps"] = 1.0;
}

// The whole ensemble per iteration, wall time (the work is on other threads).
void bm_ensemble(benchmark::State& st, MemberFunction f, std::int32_t threads) {
  const std::vector<Member> members = ensemble_grid(kGridSide, kGridSide);
  std::vector<MemberResult> results;
  std::size_t steps = 0;
  for (auto _ : st) {
    steps = run_ensemble(members, threads, f, results);
    benchmark::DoNotOptimize(results.data());
    benchmark::ClobberMemory();
  }
  st.counters["steps"] = static_cast<double>(steps);
}

std::vector<std::int32_t> ensemble_threads() {
  std::vector<std::int32_t> t = {1};
  if (all_cores() > 1) t.push_back(all_cores());
  return t;
}

struct KernelInfo {
  Kernel kernel;
  const char* name;
  double bytes_per_element;
};
const KernelInfo kKernels[] = {{Kernel::kAxpy, "V1VAXPY", 12.0},
                               {Kernel::kCopy, "V1VCOPY", 8.0},
                               {Kernel::kSwap, "V1VSWAP", 16.0},
                               {Kernel::kMaxabs, "V1MAXABS", 4.0}};

// Short runs: a few tenths of a second per benchmark at most, single
// iterations for the million-element integrations.
void tune(benchmark::internal::Benchmark* b, std::int32_t n) {
  b->Unit(benchmark::kMicrosecond);
  if (n >= 1000000) {
    b->Iterations(1);
  } else if (n >= kLarge) {
    b->Iterations(3);
  } else {
    b->MinTime(0.05);
  }
}

void register_all() {
  tune(with_range(benchmark::RegisterBenchmark("P1/floor", bm_p1_floor)), 1);
  tune(with_range(benchmark::RegisterBenchmark("P1/solver", bm_p1_solver)), 1);
  for (const std::int32_t n : kP2Sizes) {
    tune(benchmark::RegisterBenchmark(sized("P2/floor/", n).c_str(), bm_p2_floor, n), n);
    tune(benchmark::RegisterBenchmark(sized("P2/solver/", n).c_str(), bm_p2_solver, n), n);
    if (n >= kLarge) {
      // Two references: arrays of NEQ elements, and arrays that together
      // take as much memory as the integration touches (Y and the ten
      // workspace columns), which decides the level of the memory hierarchy
      // the data streams from.
      benchmark::RegisterBenchmark(sized("triad/", n).c_str(), bm_triad, std::int64_t{n})
          ->Unit(benchmark::kMicrosecond)
          ->MinTime(0.05);
      benchmark::RegisterBenchmark(sized("triad_ws/", n).c_str(), bm_triad, footprint_triad(n))
          ->Unit(benchmark::kMicrosecond)
          ->MinTime(0.05);
    }
  }
  for (const KernelInfo& k : kKernels) {
    for (const std::int32_t n : kKernelSizes) {
      for (const bool library : {false, true}) {
        const std::string name =
            std::string("kernel/") + k.name + (library ? "/" : "/loop/") + std::to_string(n);
        benchmark::RegisterBenchmark(name.c_str(), bm_kernel, k.kernel, library, n)
            ->Unit(benchmark::kMicrosecond)
            ->MinTime(0.05);
      }
    }
  }
  register_peer_benchmarks(kP2Sizes);
  const std::pair<const char*, MemberFunction> ensembles[] = {{"solver", kSolverMember},
                                                              {"verner", kPeerMember}};
  for (const auto& [name, f] : ensembles) {
    if (f == nullptr) continue;
    for (const std::int32_t t : ensemble_threads()) {
      const std::string label = std::string("ensemble/") + name + "/" + std::to_string(t);
      with_range(benchmark::RegisterBenchmark(label.c_str(), bm_ensemble, f, t))
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->MeasureProcessCPUTime()
          ->MinTime(0.05);
    }
  }
}

// ---------------------------------------------------------------------------
// The summary: console output as usual, plus the medians kept for the table.

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
  void ReportRuns(const std::vector<Run>& runs) override {
    std::vector<Run> shown;
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Aggregate || r.aggregate_name == "median") shown.push_back(r);
    }
    ConsoleReporter::ReportRuns(shown);
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Aggregate || r.error_occurred) continue;
      Stat& s = stats_[r.run_name.function_name];
      const bool wall = !r.run_name.time_type.empty();
      const double t = wall ? r.GetAdjustedRealTime() : r.GetAdjustedCPUTime();
      const double ns = t / benchmark::GetTimeUnitMultiplier(r.time_unit) * 1e9;
      if (r.aggregate_name == "median") {
        s.ns = ns;
        s.cpu = r.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(r.time_unit) * 1e9;
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
  }

  // Median time per accepted step in ns, or a negative value when missing.
  double per_step(const std::string& name) const {
    const auto it = stats_.find(name);
    if (it == stats_.end() || it->second.steps <= 0.0 || it->second.ns <= 0.0) return -1.0;
    return it->second.ns / it->second.steps;
  }
  // Cores kept busy: process CPU time over wall time (negative when missing).
  double cores(const std::string& name) const {
    const auto it = stats_.find(name);
    return it == stats_.end() || it->second.ns <= 0.0 ? -1.0 : it->second.cpu / it->second.ns;
  }
  // Median time per iteration in ns, or a negative value when missing.
  double per_iteration(const std::string& name) const {
    const auto it = stats_.find(name);
    return it == stats_.end() || it->second.ns <= 0.0 ? -1.0 : it->second.ns;
  }
  // The same for the fastest and the slowest repetition (negative if not kept).
  std::pair<double, double> range_per_step(const std::string& name) const {
    const auto it = stats_.find(name);
    if (it == stats_.end() || it->second.steps <= 0.0 || it->second.lo <= 0.0) return {-1.0, -1.0};
    return {it->second.lo / it->second.steps, it->second.hi / it->second.steps};
  }
  // The spread of the repetitions: the largest coefficient of variation of
  // the CPU time, with its benchmark, and the median over all benchmarks.
  void print_spread() const {
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

 private:
  std::map<std::string, Stat> stats_;
};

void cell(double v, const char* fmt, int width) {
  if (v > 0.0) {
    std::printf(fmt, width, v);
  } else {
    std::printf("%*s", width, "-");
  }
}

void ode_row(const SummaryReporter& r, const std::string& label, const std::string& suffix,
             const std::string& prefix) {
  const double fl = r.per_step(prefix + "floor" + suffix);
  const double so = r.per_step(prefix + "solver" + suffix);
  const double od = r.per_step(prefix + "odeint" + suffix);
  const double ve = r.per_step(prefix + "verner" + suffix);
  std::printf("%-14s", label.c_str());
  cell(fl, " %*.1f", 12);
  cell(so, " %*.1f", 12);
  cell(fl > 0.0 && so > 0.0 ? so / fl : -1.0, " %*.3f", 7);
  cell(od, " %*.1f", 12);
  cell(fl > 0.0 && od > 0.0 ? od / fl : -1.0, " %*.3f", 7);
  cell(ve, " %*.1f", 12);
  cell(fl > 0.0 && ve > 0.0 ? ve / fl : -1.0, " %*.3f", 7);
  std::printf("\n");
}

// GB/s of a triad benchmark with arrays of n elements (12 bytes each).
double triad_gbs(const SummaryReporter& r, const std::string& name, std::int64_t n) {
  const double t = r.per_step(name);
  return t > 0.0 ? 12.0 * static_cast<double>(n) / t : -1.0;
}

void bandwidth_row(const SummaryReporter& r, std::int32_t n) {
  const double bytes = g_p2_bytes[n];
  const double fl = r.per_step(sized("P2/floor/", n));
  const double so = r.per_step(sized("P2/solver/", n));
  const double floor_gbs = fl > 0.0 ? bytes / fl : -1.0;
  const double solver_gbs = so > 0.0 ? bytes / so : -1.0;
  const double same_n = triad_gbs(r, sized("triad/", n), n);
  const double same_ws = triad_gbs(r, sized("triad_ws/", n), footprint_triad(n));
  std::printf("%-14s", sized("P2 NEQ=", n).c_str());
  cell(bytes / 1e6, " %*.2f", 9);
  cell(floor_gbs, " %*.2f", 9);
  cell(solver_gbs, " %*.2f", 9);
  cell(same_n, " %*.2f", 10);
  cell(solver_gbs > 0.0 && same_n > 0.0 ? 100.0 * solver_gbs / same_n : -1.0, " %*.0f%%", 5);
  cell(same_ws, " %*.2f", 10);
  cell(solver_gbs > 0.0 && same_ws > 0.0 ? 100.0 * solver_gbs / same_ws : -1.0, " %*.0f%%", 5);
  std::printf("\n");
}

// The ensemble: wall time per ensemble and per accepted step, the range of
// the repetitions, the speed-up over one thread and, on one thread, the
// ratio to the floor's time per step on P1.
void print_ensemble(const SummaryReporter& r) {
  const std::vector<std::int32_t> threads = ensemble_threads();
  std::printf("\nEnsemble: %d members (%d ENERGY x %d BCOEF), each through its own integrator\n",
              kGridSide * kGridSide, kGridSide, kGridSide);
  std::printf("on T threads; wall time, median [fastest, slowest] of the repetitions; speed-up\n");
  std::printf("over T = 1 of the same integrator; cores: the process's CPU time over the wall\n");
  std::printf("time (below T when other work shares the cores); P1 ratio: ns/step over the\n");
  std::printf("P1 floor's.\n");
  std::printf("%-14s %4s %10s %10s %19s %9s %6s %9s\n", "ensemble", "T", "ms", "ns/step",
              "range ns/step", "speed-up", "cores", "P1 ratio");
  const double p1_floor = r.per_step("P1/floor");
  for (const char* name : {"solver", "verner"}) {
    const std::string base = std::string("ensemble/") + name + "/";
    const double one = r.per_step(base + "1");
    for (const std::int32_t t : threads) {
      const std::string key = base + std::to_string(t);
      const double ns = r.per_step(key);
      if (ns <= 0.0) continue;
      const auto [lo, hi] = r.range_per_step(key);
      std::printf("%-14s %4d", name, t);
      cell(r.per_iteration(key) / 1e6, " %*.1f", 10);
      cell(ns, " %*.1f", 10);
      if (lo > 0.0) {
        std::printf("   [%6.1f, %6.1f]", lo, hi);
      } else {
        std::printf(" %19s", "-");
      }
      cell(one > 0.0 ? one / ns : -1.0, " %*.2f", 9);
      cell(r.cores(key), " %*.2f", 6);
      cell(t == 1 && p1_floor > 0.0 ? ns / p1_floor : -1.0, " %*.3f", 9);
      std::printf("\n");
    }
  }
}

void print_table(const SummaryReporter& r) {
  std::printf("\nMedians of the repetitions, CPU time; ratios to the floor of this run.\n");
  std::printf(
      "odeint: Dormand-Prince 5(4); verner: the same Verner pair in the generic stepper.\n");
  std::printf("%-14s %12s %12s %7s %12s %7s %12s %7s\n", "ns/step", "floor", "solver", "ratio",
              "odeint", "ratio", "verner", "ratio");
  ode_row(r, "P1", "", "P1/");
  std::printf("%-14s", "  range");
  for (const char* name : {"P1/floor", "P1/solver", "P1/odeint", "P1/verner"}) {
    const auto [lo, hi] = r.range_per_step(name);
    if (lo > 0.0) {
      std::printf("  [%.1f, %.1f]", lo, hi);
    } else {
      std::printf("  -");
    }
  }
  std::printf("\n");
  const double p1_floor = r.per_step("P1/floor");
  const double p1_solver = r.per_step("P1/solver");
  const double p1_verner = r.per_step("P1/verner");
  const double p1_double = r.per_step("P1/verner_double");
  if (p1_verner > 0.0 && p1_solver > 0.0) {
    std::printf(
        "P1 solver over verner %.3f; verner computing in double %.1f ns/step (ratio %.3f)\n",
        p1_solver / p1_verner, p1_double, p1_floor > 0.0 ? p1_double / p1_floor : -1.0);
  }
  for (const std::int32_t n : kP2Sizes) ode_row(r, sized("P2 NEQ=", n), sized("/", n), "P2/");

  std::printf("\nMB/step is what the floor must move per accepted step (each array element\n");
  std::printf("read or written once per pass); floor and solver GB/s divide that same amount\n");
  std::printf("by their time. Triads: arrays of NEQ floats, and arrays as large together as\n");
  std::printf("Y and the workspace (11 NEQ floats); the percentages are the solver's share.\n");
  std::printf("%-14s %9s %9s %9s %10s %6s %10s %6s\n", "bandwidth", "MB/step", "floorGB/s",
              "solvGB/s", "triadGB/s", "", "wsTriad", "");
  for (const std::int32_t n : kP2Sizes) {
    if (n >= kLarge) bandwidth_row(r, n);
  }

  std::printf("\n%-18s %12s %12s %7s %10s %10s\n", "ns/call", "loop", "kernel", "ratio", "loopGB/s",
              "kernGB/s");
  for (const KernelInfo& k : kKernels) {
    for (const std::int32_t n : kKernelSizes) {
      const std::string base = std::string("kernel/") + k.name + "/";
      const double lo = r.per_step(base + "loop/" + std::to_string(n));
      const double ke = r.per_step(base + std::to_string(n));
      const double bytes = k.bytes_per_element * static_cast<double>(n);
      std::printf("%-18s", (std::string(k.name) + " n=" + std::to_string(n)).c_str());
      cell(lo, " %*.1f", 12);
      cell(ke, " %*.1f", 12);
      cell(lo > 0.0 && ke > 0.0 ? ke / lo : -1.0, " %*.3f", 7);
      cell(lo > 0.0 ? bytes / lo : -1.0, " %*.2f", 10);
      cell(ke > 0.0 ? bytes / ke : -1.0, " %*.2f", 10);
      std::printf("\n");
    }
  }
  print_ensemble(r);
  r.print_spread();
}

// Runs one workload `runs` times, for a profiler; false for an unknown name.
bool profile(const std::string& selector, int runs) {
  const std::size_t colon = selector.find(':');
  const std::string what = selector.substr(0, colon);
  const std::int32_t neq = colon == std::string::npos ? 1 : std::stoi(selector.substr(colon + 1));
  Floor fl;
  Outcome out;
  for (int i = 0; i < runs; ++i) {
    if (what == "p1-solver") {
      p1_solver(out);
    } else if (what == "p1-floor") {
      p1_floor(fl, out);
    } else if (what == "p2-solver") {
      p2_solver(neq, out);
    } else if (what == "p2-floor") {
      p2_floor(fl, neq, out);
    } else {
      return false;
    }
  }
  std::printf("%s x %d: steps=%.0f evaluations=%.0f\n", selector.c_str(), runs,
              static_cast<double>(out.accepted), static_cast<double>(out.evaluations));
  return true;
}

}  // namespace
}  // namespace rkv::bench

int main(int argc, char** argv) {
  using namespace rkv::bench;
  if (argc >= 2 && std::strncmp(argv[1], "--isa=", 6) == 0) {
    rkv::ode::Isa want = rkv::ode::Isa::kBaseline;
    if (!rkv::ode::isa_from_name(argv[1] + 6, want)) {
      std::fprintf(stderr, "rkv_bench: unknown instruction set in %s\n", argv[1]);
      return 2;
    }
    rkv::ode::select_isa_for_testing(want);
    --argc;
    ++argv;
    argv[0] = argv[-1];
  }
  const std::string_view isa = rkv::ode::isa_name(rkv::ode::active_isa());
  std::printf("vector instruction set of the loops: %.*s\n", static_cast<int>(isa.size()),
              isa.data());
  if (argc >= 2 && std::strncmp(argv[1], "--profile=", 10) == 0) {
    const int runs = argc >= 3 ? std::atoi(argv[2]) : 1;
    return profile(argv[1] + 10, runs > 0 ? runs : 1) ? 0 : 2;
  }
  bool verify_only = false;
  std::vector<std::string> args = {argv[0], "--benchmark_repetitions=5",
                                   "--benchmark_report_aggregates_only=true"};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--verify-only") == 0) {
      verify_only = true;
    } else {
      args.emplace_back(argv[i]);
    }
  }
  const bool ok = verify();
  if (!ok) {
    std::printf("The solver and the floor disagree: no timings taken.\n");
    return 1;
  }
  if (verify_only) return 0;

  std::vector<char*> argp;
  for (std::string& a : args) argp.push_back(a.data());
  int n = static_cast<int>(argp.size());
  benchmark::Initialize(&n, argp.data());
  if (benchmark::ReportUnrecognizedArguments(n, argp.data())) return 1;
  register_all();
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  print_table(reporter);
  return 0;
}
