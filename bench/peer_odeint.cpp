// The peers, from a library of generic integrators, with float storage and
// absolute and relative tolerances both TOL:
//   odeint  an embedded Dormand-Prince 5(4) pair (six evaluations a step)
//           under its library's own step-size controller;
//   verner  the library's generic explicit error stepper with this solver's
//           own eight-stage Verner 6(5) coefficients (the same float values)
//           under the library's controlled stepper: the same method and
//           evaluations per step, the library's loops and controller;
//   verner_double  the same computing in double (float operands widened,
//           each stored value rounded once, as the solver computes): P1 only.
// They run the same workloads (P1 with the program's own RHSFUN and the
// same largest step, P2 with the same sizes and intervals; verner also the
// ensemble). They take their own steps, so only their time per accepted step
// is comparable, not their results.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <boost/numeric/odeint.hpp>
#include <cstddef>
#include <functional>
#include <string>

#include "ensemble.hpp"
#include "model.hpp"
#include "odeint_sum8.hpp"
#include "peer.hpp"
#include "step/verner_table.hpp"
#include "workloads.hpp"

namespace rkv::bench {
namespace {

namespace odeint = boost::numeric::odeint;
using State = std::vector<float>;
using Stepper = odeint::runge_kutta_dopri5<State, float, State, float>;

// ---------------------------------------------------------------------------
// The Verner pair as the generic stepper's coefficients.

// Stages 8, order 6, stepper order 6, error order 5; `Value` is the type the
// library computes in: float (the peer), or double (the solver's own
// arithmetic: float operands widened, each stored value rounded once).
template <class Value>
using VernerBase = odeint::explicit_error_generic_rk<8, 6, 6, 5, State, Value, State, float>;

// Entry k of the table: the solver's single-precision coefficient, exactly.
template <class Value>
Value table(std::int32_t k) {
  return static_cast<Value>(
      std::bit_cast<float>(ode::kVernerTableBits[static_cast<std::size_t>(k)]));
}

// Row s (2..8) of a, with the entries the table leaves out (a76) as zero.
template <class Value, std::size_t N>
boost::array<Value, N> a_row() {
  constexpr std::int32_t s = static_cast<std::int32_t>(N) + 1;
  boost::array<Value, N> r{};
  for (std::int32_t j = 0; j < ode::kRowLength[s]; ++j) {
    r[static_cast<std::size_t>(j)] = table<Value>(ode::kRowA[s] + j);
  }
  return r;
}

template <class Value>
boost::array<Value, 8> weights(std::int32_t first) {
  boost::array<Value, 8> r{};
  for (std::int32_t j = 0; j < 8; ++j) r[static_cast<std::size_t>(j)] = table<Value>(first + j);
  return r;
}

template <class Value>
class VernerStepper : public VernerBase<Value> {
 public:
  // The library wants the weights of the solution and the error weights (its
  // estimate is dt times their sum with the stages, as the solver's is); the
  // nodes are those the solver's stages are evaluated at.
  VernerStepper()
      : VernerBase<Value>(
            boost::fusion::make_vector(a_row<Value, 1>(), a_row<Value, 2>(), a_row<Value, 3>(),
                                       a_row<Value, 4>(), a_row<Value, 5>(), a_row<Value, 6>(),
                                       a_row<Value, 7>()),
            weights<Value>(ode::kRowB), weights<Value>(ode::kRowE), nodes()) {}

 private:
  static boost::array<Value, 8> nodes() {
    const Value one = 1;
    return {0, one / 6, one * 4 / 15, one * 2 / 3, one * 5 / 6, one, one / 15, one};
  }
};

template <class Value>
using Verner = odeint::controlled_runge_kutta<VernerStepper<Value>>;

template <class Value>
Verner<Value> make_verner(float hmax) {
  using V = Verner<Value>;
  return V(typename V::error_checker_type(kTol, kTol), typename V::step_adjuster_type(hmax),
           VernerStepper<Value>());
}

// ---------------------------------------------------------------------------
// Systems.

struct P1System {
  void operator()(const State& y, State& dydt, float x) const {
    const std::int32_t neq = 1;
    app::RHSFUN(neq, x, y.data(), dydt.data());
  }
};

struct MemberSystem {
  app::TrajData* data;
  void operator()(const State& y, State& dydt, float x) const {
    const std::int32_t neq = 1;
    app::RHSTRAJ(data, neq, x, y.data(), dydt.data());
  }
};

struct P2System {
  void operator()(const State& y, State& dydt, float x) const {
    const std::int32_t neq = static_cast<std::int32_t>(y.size());
    p2_rhs(neq, x, y.data(), dydt.data());
  }
};

// P1 through the Verner peer, the stepper kept (by reference) from one
// output interval to the next; the number of accepted steps.
template <class Value>
std::size_t p1_verner(Verner<Value>& stepper, State& y) {
  app::TRAJDATA = app::initial_trajdata();
  y.assign(1, 10.0f);
  std::size_t steps = 0;
  float x = 0.0f;
  for (std::int32_t k = 0; k < kP1Intervals; ++k) {
    const float xend =
        static_cast<float>(static_cast<double>(x) + static_cast<double>(kP1OutputStep));
    float dt = kP1Hmax;
    steps += odeint::integrate_adaptive(std::ref(stepper), P1System{}, y, x, xend, dt);
    x = xend;
  }
  return steps;
}

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

template <class Value>
void bm_p1_verner(benchmark::State& st) {
  std::size_t steps = 0;
  State y(1);
  for (auto _ : st) {
    Verner<Value> stepper = make_verner<Value>(kP1Hmax);
    steps = p1_verner(stepper, y);
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

// One ensemble member through the Verner peer, over the same output points
// and with the same stopping rules as the solver's member.
std::size_t peer_member(const Member& m, MemberResult& out) {
  app::TrajData data = m.data;
  Verner<float> stepper = make_verner<float>(kEnsembleHmax);
  State y(1, m.y0);
  float x = 0.0f;
  std::size_t steps = 0;
  while (member_goes_on(x, y[0])) {
    const float xend = next_member_output(x);
    float dt = kEnsembleHmax;
    steps += odeint::integrate_adaptive(std::ref(stepper), MemberSystem{&data}, y, x, xend, dt);
    x = xend;
    if (!member_below_top(y[0])) break;
  }
  out.x = x;
  out.y = y[0];
  out.accepted = static_cast<float>(steps);
  out.ok = true;
  return steps;
}

template <bool Slowest>
double range_end(const std::vector<double>& v) {
  if (v.empty()) return 0.0;
  return Slowest ? *std::max_element(v.begin(), v.end()) : *std::min_element(v.begin(), v.end());
}

}  // namespace

const MemberFunction kPeerMember = peer_member;

void register_peer_benchmarks(const std::vector<std::int32_t>& sizes) {
  benchmark::RegisterBenchmark("P1/odeint", bm_p1_peer)
      ->Unit(benchmark::kMicrosecond)
      ->MinTime(0.05);
  benchmark::RegisterBenchmark("P1/verner", bm_p1_verner<float>)
      ->ComputeStatistics("min", range_end<false>)
      ->ComputeStatistics("max", range_end<true>)
      ->Unit(benchmark::kMicrosecond)
      ->MinTime(0.05);
  benchmark::RegisterBenchmark("P1/verner_double", bm_p1_verner<double>)
      ->ComputeStatistics("min", range_end<false>)
      ->ComputeStatistics("max", range_end<true>)
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
