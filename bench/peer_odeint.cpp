// The peer: an embedded Dormand-Prince 5(4) pair under its library's own
// step-size controller, on the same workloads (P1 with the same largest
// step, P2 with the same sizes and intervals), with float storage and
// absolute and relative tolerances both TOL. It takes its own steps, so
// only its time per accepted step is comparable, not its results.
#include <benchmark/benchmark.h>

#include <boost/numeric/odeint.hpp>
#include <cstddef>
#include <string>

#include "model.hpp"
#include "peer.hpp"
#include "workloads.hpp"

namespace rkv::bench {
namespace {

namespace odeint = boost::numeric::odeint;
using State = std::vector<float>;
using Stepper = odeint::runge_kutta_dopri5<State, float, State, float>;

struct P1System {
  void operator()(const State& y, State& dydt, float x) const {
    const std::int32_t neq = 1;
    app::RHSFUN(neq, x, y.data(), dydt.data());
  }
};

struct P2System {
  void operator()(const State& y, State& dydt, float x) const {
    const std::int32_t neq = static_cast<std::int32_t>(y.size());
    p2_rhs(neq, x, y.data(), dydt.data());
  }
};

void bm_p1_peer(benchmark::State& st) {
  std::size_t steps = 0;
  State y(1);
  for (auto _ : st) {
    app::TRAJDATA = app::initial_trajdata();
    y[0] = 10.0f;
    auto stepper = odeint::make_controlled(kTol, kTol, kP1Hmax, Stepper());
    steps = 0;
    float x = 0.0f;
    for (std::int32_t k = 0; k < kP1Intervals; ++k) {
      const float xend =
          static_cast<float>(static_cast<double>(x) + static_cast<double>(kP1OutputStep));
      steps += odeint::integrate_adaptive(stepper, P1System{}, y, x, xend, kP1Hmax);
      x = xend;
    }
    benchmark::DoNotOptimize(y.data());
    benchmark::ClobberMemory();
  }
  st.counters["steps"] = static_cast<double>(steps);
}

void bm_p2_peer(benchmark::State& st, std::int32_t neq) {
  std::size_t steps = 0;
  State y(static_cast<std::size_t>(neq));
  for (auto _ : st) {
    y.assign(y.size(), kP2Start);
    auto stepper = odeint::make_controlled(kTol, kTol, Stepper());
    steps = odeint::integrate_adaptive(stepper, P2System{}, y, 0.0f, p2_xend(neq), 0.01f);
    benchmark::DoNotOptimize(y.data());
    benchmark::ClobberMemory();
  }
  st.counters["steps"] = static_cast<double>(steps);
}

}  // namespace

void register_peer_benchmarks(const std::vector<std::int32_t>& sizes) {
  benchmark::RegisterBenchmark("P1/odeint", bm_p1_peer)
      ->Unit(benchmark::kMicrosecond)
      ->MinTime(0.05);
  for (const std::int32_t n : sizes) {
    auto* b =
        benchmark::RegisterBenchmark(("P2/odeint/" + std::to_string(n)).c_str(), bm_p2_peer, n)
            ->Unit(benchmark::kMicrosecond);
    if (n >= 1000000) {
      b->Iterations(1);
    } else if (n >= 100000) {
      b->Iterations(3);
    } else {
      b->MinTime(0.05);
    }
  }
}

}  // namespace rkv::bench
