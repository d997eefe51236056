// Step records of the output-point layer over both storage types: the steps,
// X, Y and PARAM stay the integrator's own, the records chain from the start
// to XEND, and step_record_value() gives the same bits as the layer's output
// points at the step's ends and inside it, forward and backward.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "rkv/ode/dense_output.hpp"
#include "rkv/ode/param.hpp"
#include "rkv/ode/step_record.hpp"

namespace {

namespace param = rkv::param;

template <class Real>
bool same_bits(Real a, Real b) {
  using Bits = std::conditional_t<sizeof(Real) == 4, std::uint32_t, std::uint64_t>;
  return std::bit_cast<Bits>(a) == std::bit_cast<Bits>(b);
}

// y1' = y2, y2' = -y1: cos and sin.
template <class Real>
void oscillator(const std::int32_t&, const Real&, const Real* y, Real* yp) {
  yp[0] = y[1];
  yp[1] = -y[0];
}

// Lotka-Volterra: y1' = 1.5 y1 - y1 y2, y2' = y1 y2 - 3 y2.
template <class Real>
void predator_prey(const std::int32_t&, const Real&, const Real* y, Real* yp) {
  yp[0] = Real(1.5) * y[0] - y[0] * y[1];
  yp[1] = y[0] * y[1] - Real(3) * y[1];
}

template <class Real>
struct Case {
  const char* name;
  void (*rhs)(const std::int32_t&, const Real&, const Real*, Real*);
  Real x0;
  Real xend;
  std::array<Real, 2> y0;
  Real tol;
};

template <class Real>
std::vector<Case<Real>> cases() {
  return {{"oscillator forward", oscillator<Real>, Real(0), Real(6), {1, 0}, Real(1e-5)},
          {"oscillator backward", oscillator<Real>, Real(2), Real(-3), {1, 0}, Real(1e-6)},
          {"predator-prey", predator_prey<Real>, Real(0), Real(5), {1, 1}, Real(1e-6)}};
}

template <class Real>
struct Run {
  std::int32_t ido = 1;
  std::int32_t neq = 2;
  Real x = 0;
  std::array<Real, 2> y{};
  std::array<Real, param::kSize> prm{};
};

// The hook: each record appended to a vector.
template <class Real>
void keep(void* rows, const std::int32_t& neq, const Real* record) {
  auto& v = *static_cast<std::vector<Real>*>(rows);
  v.insert(v.end(), record, record + rkv::step_record_size(neq));
}

template <class Real>
class StepRecords : public ::testing::Test {};
using RealTypes = ::testing::Types<float, double>;
TYPED_TEST_SUITE(StepRecords, RealTypes);

TYPED_TEST(StepRecords, ValuesAreTheLayersOutputPointsBitForBit) {
  using Real = TypeParam;
  const auto size = static_cast<std::size_t>(rkv::step_record_size(2));
  for (const Case<Real>& c : cases<Real>()) {
    const std::string where = c.name;
    // Kept: the records; plain: no layer; points: the output points read back.
    std::array<Run<Real>, 3> r;
    std::vector<rkv::BasicIntegrator<Real>> its;
    for (Run<Real>& run : r) {
      run.x = c.x0;
      run.y = c.y0;
      its.emplace_back(c.rhs);
    }
    rkv::BasicDenseOutput<Real> kept(its[0]);
    std::vector<Real> rows;
    kept.set_step_hook(keep<Real>, &rows);
    kept.integrate(r[0].ido, r[0].neq, r[0].x, c.xend, c.tol, r[0].prm.data(), r[0].y.data());
    its[1].integrate(r[1].ido, r[1].neq, r[1].x, c.xend, c.tol, r[1].prm.data(), r[1].y.data());
    ASSERT_EQ(r[0].ido, 2) << where;
    for (std::int32_t k = param::kLastStep; k <= param::kEvaluations; ++k) {
      EXPECT_TRUE(same_bits(r[0].prm[k - 1], r[1].prm[k - 1])) << where << " PARAM(" << k << ")";
    }
    const std::size_t steps = rows.size() / size;
    ASSERT_EQ(steps, static_cast<std::size_t>(r[1].prm[param::kAcceptedSteps - 1])) << where;
    // Each step's extra stage and f at the end of the call.
    EXPECT_EQ(kept.extra_evaluations(), static_cast<std::int32_t>(steps) + 1) << where;
    EXPECT_TRUE(same_bits(rows[0], c.x0) && same_bits(rows[size * (steps - 1) + 1], c.xend));
    std::vector<Real> xs;
    for (std::size_t s = 0; s < steps; ++s) {
      const Real* rec = &rows[s * size];
      if (s > 0) {
        EXPECT_TRUE(same_bits(rec[0], rows[(s - 1) * size + 1])) << where;
      }
      for (const double theta : {0.0, 0.125, 0.5, 0.875, 1.0}) {
        xs.push_back(theta == 1.0 ? rec[1] : static_cast<Real>(rec[0] + theta * rec[2]));
      }
    }
    rkv::BasicDenseOutput<Real> points(its[2]);
    const auto n = static_cast<std::int32_t>(xs.size());
    std::vector<Real> ys(xs.size() * 2);
    std::vector<Real> yps(xs.size() * 2);
    points.set_output(xs.data(), n, ys.data(), yps.data());
    points.integrate(r[2].ido, r[2].neq, r[2].x, c.xend, c.tol, r[2].prm.data(), r[2].y.data());
    ASSERT_EQ(points.outputs_done(), n) << where;
    for (std::size_t j = 0; j < xs.size(); ++j) {
      std::array<Real, 2> y{};
      std::array<Real, 2> yp{};
      rkv::step_record_value<Real>(2, &rows[(j / 5) * size], xs[j], y.data(), yp.data());
      for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(same_bits(y[i], ys[2 * j + i]) && same_bits(yp[i], yps[2 * j + i]))
            << where << " at x = " << xs[j] << ", y" << i + 1;
      }
    }
  }
}

TYPED_TEST(StepRecords, AnExceptionFromTheHookPassesThroughAndTheIntegrationGoesOn) {
  using Real = TypeParam;
  rkv::BasicIntegrator<Real> it(oscillator<Real>);
  rkv::BasicDenseOutput<Real> dense(it);
  Run<Real> r;
  r.y = {1, 0};
  const auto thrower = [](void*, const std::int32_t&, const Real*) {
    throw std::runtime_error("hook");
  };
  dense.set_step_hook(thrower);
  EXPECT_THROW(dense.integrate(r.ido, r.neq, r.x, Real(1), Real(1e-5), r.prm.data(), r.y.data()),
               std::runtime_error);
  dense.set_step_hook(nullptr);
  r.ido = 2;
  dense.integrate(r.ido, r.neq, r.x, Real(1), Real(1e-5), r.prm.data(), r.y.data());
  EXPECT_EQ(r.ido, 2);
  EXPECT_TRUE(same_bits(r.x, Real(1)));
}

}  // namespace
