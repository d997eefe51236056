// The benchmark bodies and their registration.
#include "benchmarks.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ensemble.hpp"
#include "floor.hpp"
#include "peer.hpp"
#include "step/kernels.hpp"
#include "suite.hpp"
#include "workloads.hpp"

namespace rkv::bench {
namespace {

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

template <class Real>
void finish(benchmark::State& st, const BasicOutcome<Real>& out) {
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

void bm_p1_floor_double(benchmark::State& st) {
  DoubleFloor fl;
  DoubleOutcome out;
  for (auto _ : st) {
    p1_floor_double(fl, out);
    benchmark::DoNotOptimize(out.y.data());
    benchmark::ClobberMemory();
  }
  finish(st, out);
}

void bm_p1_solver_double(benchmark::State& st) {
  DoubleOutcome out;
  for (auto _ : st) {
    p1_solver_double(out);
    benchmark::DoNotOptimize(out.y.data());
    benchmark::ClobberMemory();
  }
  finish(st, out);
}

void bm_p2_floor_double(benchmark::State& st, std::int32_t neq) {
  DoubleFloor fl;
  fl.reserve(neq);
  DoubleOutcome out;
  for (auto _ : st) {
    p2_floor_double(fl, neq, out);
    benchmark::DoNotOptimize(out.y.data());
    benchmark::ClobberMemory();
  }
  finish(st, out);
}

void bm_p2_solver_double(benchmark::State& st, std::int32_t neq) {
  DoubleOutcome out;
  for (auto _ : st) {
    p2_solver_double(neq, out);
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

// One call of kernel k (or its loop) on n elements; `a` alternates its sign
// so that y stays bounded over any number of iterations.
void run_kernel(Kernel k, bool library, std::int32_t n, float a, std::vector<float>& x,
                std::vector<float>& y) {
  const std::size_t u = static_cast<std::size_t>(n);
  switch (k) {
    case Kernel::kAxpy:
      if (library) {
        V1VAXPY(n, a, x.data(), kOne, y.data(), kOne);
      } else {
        loop_axpy(u, a, x.data(), y.data());
      }
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
    case Kernel::kMaxabs: {
      std::int32_t index = library ? V1MAXABS(n, x.data(), kOne) : loop_maxabs(u, x.data());
      benchmark::DoNotOptimize(index);
      break;
    }
  }
}

void bm_kernel(benchmark::State& st, Kernel k, bool library, std::int32_t n) {
  const std::size_t u = static_cast<std::size_t>(n);
  std::vector<float> x = pattern(u, 7u);
  std::vector<float> y = pattern(u, 11u);
  float a = 1.0e-3f;
  for (auto _ : st) {
    run_kernel(k, library, n, a, x, y);
    a = -a;
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

void register_ode() {
  tune(with_range(benchmark::RegisterBenchmark("P1/floor", bm_p1_floor)), 1);
  tune(with_range(benchmark::RegisterBenchmark("P1/solver", bm_p1_solver)), 1);
  tune(with_range(benchmark::RegisterBenchmark("P1/floor_double", bm_p1_floor_double)), 1);
  tune(with_range(benchmark::RegisterBenchmark("P1/solver_double", bm_p1_solver_double)), 1);
  for (const std::int32_t n : kP2Sizes) {
    tune(benchmark::RegisterBenchmark(sized("P2/floor/", n).c_str(), bm_p2_floor, n), n);
    tune(benchmark::RegisterBenchmark(sized("P2/solver/", n).c_str(), bm_p2_solver, n), n);
    tune(benchmark::RegisterBenchmark(sized("P2/floor_double/", n).c_str(), bm_p2_floor_double, n),
         n);
    tune(
        benchmark::RegisterBenchmark(sized("P2/solver_double/", n).c_str(), bm_p2_solver_double, n),
        n);
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
}

void register_kernels() {
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
}

void register_ensembles() {
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

}  // namespace

void register_all() {
  register_ode();
  register_kernels();
  register_peer_benchmarks(kP2Sizes);
  register_ensembles();
}

}  // namespace rkv::bench
