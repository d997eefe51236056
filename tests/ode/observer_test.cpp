// The accept observer of an integrator: one that only watches changes no
// bit; one that stops the call after every step (IDO = 7, resumed with
// IDO = 2) ends with the bits of a plain run; one that hands the next k1 to
// the loop saves that evaluation without changing the count in PARAM(35).
// Each is compared with IVPRK call by call.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "front/instance.hpp"
#include "rkv/ode/integrator.hpp"
#include "solver_support.hpp"

namespace {

namespace param = rkv::param;
using rkv::ode::StepView;

enum class Mode { kWatch, kStop, kHandK1 };

int g_rhs_calls = 0;
rkv::RhsFunction g_rhs = nullptr;

void counted_rhs(const std::int32_t& n, const float& x, const float* y, float* yp) {
  ++g_rhs_calls;
  g_rhs(n, x, y, yp);
}

struct Watcher {
  explicit Watcher(Mode m) : mode(m) {}
  Mode mode;
  std::int32_t steps = 0;
  bool consistent = true;  // each step starts where the last one ended
  float last_x1 = 0.0f;
  std::vector<float> last_y1;

  static bool on_accept(void* self, const StepView& v) {
    auto& w = *static_cast<Watcher*>(self);
    const auto n = static_cast<std::size_t>(v.neq);
    if (w.steps > 0) {
      w.consistent = w.consistent && v.x0 == w.last_x1 &&
                     std::equal(v.y0, v.y0 + n, w.last_y1.begin(), w.last_y1.end());
    }
    ++w.steps;
    w.last_x1 = v.x1;
    w.last_y1.assign(v.y1, v.y1 + n);
    if (w.mode == Mode::kHandK1) {
      counted_rhs(v.neq, v.x1, v.y1, v.k1_next);
      *v.k1_ready = 1;
    }
    return w.mode == Mode::kStop;
  }
};

struct Scenario {
  const char* name;
  rkv::RhsFunction f;
  std::int32_t neq;
  std::vector<float> y0;
  std::vector<float> ends;
  std::vector<std::pair<std::int32_t, float>> settings;
};

// The trace of one run: per interval IDO, X, Y and PARAM(31..35) as bits.
std::vector<std::uint32_t> run(const Scenario& sc, rkv::Integrator* it, Watcher* w, int& sevens) {
  std::vector<std::uint32_t> trace;
  std::int32_t ido = 1;
  float x = 0.0f;
  const float tol = 1e-5f;
  std::vector<float> y = sc.y0;
  std::array<float, param::kSize> prm{};
  for (const auto& [i, v] : sc.settings) param::set(prm.data(), i, v);
  g_rhs = sc.f;
  const rkv::ode::AcceptObserver obs{&Watcher::on_accept, w};
  if (it != nullptr) rkv::ode::instance_of(*it).observer = w != nullptr ? &obs : nullptr;
  for (const float xend : sc.ends) {
    do {
      if (ido == 7) {
        ++sevens;
        ido = 2;
      }
      if (it != nullptr) {
        it->integrate(ido, sc.neq, x, xend, tol, prm.data(), y.data());
      } else {
        rkv::IVPRK(ido, sc.neq, counted_rhs, x, xend, tol, prm.data(), y.data());
      }
    } while (ido != 2);
    trace.push_back(std::bit_cast<std::uint32_t>(x));
    for (float v : y) trace.push_back(std::bit_cast<std::uint32_t>(v));
    for (std::int32_t i = param::kLastStep; i <= param::kEvaluations; ++i) {
      trace.push_back(std::bit_cast<std::uint32_t>(param::get(prm.data(), i)));
    }
  }
  ido = 3;
  if (it != nullptr) {
    it->integrate(ido, sc.neq, x, x, tol, prm.data(), y.data());
  } else {
    rkv::IVPRK(ido, sc.neq, counted_rhs, x, x, tol, prm.data(), y.data());
  }
  return trace;
}

void oscillator(const std::int32_t&, const float&, const float* y, float* yp) {
  yp[0] = y[1];
  yp[1] = -y[0];
}

TEST(Observer, WatchingStoppingAndHandingK1LeaveEveryBit) {
  const std::vector<Scenario> scenarios = {
      {"decay", rkv::odetest::rhs_decay, 1, {1.0f}, {0.5f, 1.0f, 2.0f}, {}},
      {"oscillator, INORM 1", oscillator, 2, {1.0f, 0.0f}, {1.0f, 3.0f}, {{10, 1.0f}}},
      {"oscillator, pauses", oscillator, 2, {0.0f, 1.0f}, {0.6f}, {{7, 1.0f}, {8, 1.0f}}},
  };
  for (const Scenario& sc : scenarios) {
    int unused = 0;
    g_rhs_calls = 0;
    const std::vector<std::uint32_t> plain = run(sc, nullptr, nullptr, unused);
    const int plain_calls = g_rhs_calls;
    for (const Mode mode : {Mode::kWatch, Mode::kStop, Mode::kHandK1}) {
      rkv::Integrator it(counted_rhs);
      Watcher w(mode);
      int sevens = 0;
      g_rhs_calls = 0;
      EXPECT_EQ(run(sc, &it, &w, sevens), plain) << sc.name << " mode " << static_cast<int>(mode);
      EXPECT_TRUE(w.consistent) << sc.name;
      // Every step that did not end an interval stopped the call.
      EXPECT_EQ(sevens, mode == Mode::kStop ? w.steps - static_cast<int>(sc.ends.size()) : 0)
          << sc.name;
      // Handing k1 moves the evaluation from the loop into the observer; the
      // one handed after the last step is never used.
      EXPECT_EQ(g_rhs_calls, plain_calls + (mode == Mode::kHandK1 ? 1 : 0)) << sc.name;
    }
  }
}

}  // namespace
