// The summary tables printed after the benchmarks: time per accepted step
// against the floor and the peers, bandwidth against the triads, kernels
// against their loops, and the ensemble's scaling.
#include "report.hpp"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "suite.hpp"

namespace rkv::bench {
namespace {

// v in `fmt` at `width`, or a dash where v is missing (not positive).
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

void bandwidth_row(const SummaryReporter& r, std::int32_t n, double bytes) {
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

void print_ode(const SummaryReporter& r) {
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
}

// The same integrations in double: the double solver against the double
// floor, with the float ratio beside it.
void print_double(const SummaryReporter& r) {
  std::printf("\nIn double: DoubleIntegrator against the double floor, the same runs.\n");
  std::printf("%-14s %12s %12s %7s %7s\n", "ns/step", "floor", "solver", "ratio", "float");
  const auto row = [&r](const std::string& label, const std::string& dir, const std::string& n) {
    const double fl = r.per_step(dir + "floor_double" + n);
    const double so = r.per_step(dir + "solver_double" + n);
    const double ffl = r.per_step(dir + "floor" + n);
    const double fso = r.per_step(dir + "solver" + n);
    std::printf("%-14s", label.c_str());
    cell(fl, " %*.1f", 12);
    cell(so, " %*.1f", 12);
    cell(fl > 0.0 && so > 0.0 ? so / fl : -1.0, " %*.3f", 7);
    cell(ffl > 0.0 && fso > 0.0 ? fso / ffl : -1.0, " %*.3f", 7);
    std::printf("\n");
  };
  row("P1", "P1/", "");
  for (const std::int32_t n : kP2Sizes) row(sized("P2 NEQ=", n), "P2/", sized("/", n));
}

void print_bandwidth(const SummaryReporter& r, const BytesPerStep& p2_bytes) {
  std::printf("\nMB/step is what the floor must move per accepted step (each array element\n");
  std::printf("read or written once per pass); floor and solver GB/s divide that same amount\n");
  std::printf("by their time. Triads: arrays of NEQ floats, and arrays as large together as\n");
  std::printf("Y and the workspace (11 NEQ floats); the percentages are the solver's share.\n");
  std::printf("%-14s %9s %9s %9s %10s %6s %10s %6s\n", "bandwidth", "MB/step", "floorGB/s",
              "solvGB/s", "triadGB/s", "", "wsTriad", "");
  for (const std::int32_t n : kP2Sizes) {
    const auto it = p2_bytes.find(n);
    if (n >= kLarge) bandwidth_row(r, n, it != p2_bytes.end() ? it->second : 0.0);
  }
}

void print_kernels(const SummaryReporter& r) {
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
}

// One row of the ensemble table: T threads of the integrator `name`.
void ensemble_row(const SummaryReporter& r, const char* name, std::int32_t t, double one,
                  double p1_floor) {
  const std::string key = std::string("ensemble/") + name + "/" + std::to_string(t);
  const double ns = r.per_step(key);
  if (ns <= 0.0) return;
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

// The ensemble: wall time per ensemble and per accepted step, the range of
// the repetitions, the speed-up over one thread and, on one thread, the
// ratio to the floor's time per step on P1.
void print_ensemble(const SummaryReporter& r) {
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
    const double one = r.per_step(std::string("ensemble/") + name + "/1");
    for (const std::int32_t t : ensemble_threads()) ensemble_row(r, name, t, one, p1_floor);
  }
}

}  // namespace

void print_table(const SummaryReporter& r, const BytesPerStep& p2_bytes) {
  print_ode(r);
  print_double(r);
  print_bandwidth(r, p2_bytes);
  print_kernels(r);
  print_ensemble(r);
  r.print_spread();
}

}  // namespace rkv::bench
