// The solver over double and the integrators' tolerances and error norm:
// double reaches what float cannot, the weighted norms are what they say,
// the tolerances' checks refuse what cannot be weighted, the user's norm is
// called once per attempt.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "front/instance.hpp"
#include "rkv/errors/control.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/param.hpp"
#include "solver_support.hpp"
#include "step/tolerances.hpp"

namespace {

using rkv::ode::ErrorPoint;
using rkv::odetest::LibraryLevel;

template <class Real>
void decay(const std::int32_t& neq, const Real&, const Real* y, Real* yp) {
  for (std::int32_t i = 0; i < neq; ++i) yp[i] = -y[i];
}

// y' = -y from 0 to 1 with TOL; the relative error of y(1) against e^-1.
template <class Real>
double decay_error(Real tol) {
  rkv::BasicIntegrator<Real> it(&decay<Real>);
  std::array<Real, rkv::param::kSize> prm{};
  std::int32_t ido = 1;
  const std::int32_t neq = 1;
  Real x = 0;
  Real y = 1;
  it.integrate(ido, neq, x, Real{1}, tol, prm.data(), &y);
  ido = 3;
  it.integrate(ido, neq, x, Real{1}, tol, prm.data(), &y);
  return std::fabs(static_cast<double>(y) - std::exp(-1.0)) / std::exp(-1.0);
}

TEST(DoublePath, ReachesWhereFloatLevelsOff) {
  EXPECT_LT(decay_error<double>(1e-13), 1e-11);
  EXPECT_GT(decay_error<float>(1e-7f), 1e-8);  // float's last bits
}

TEST(Tolerances, WeightedNormsAreTheHandComputedValues) {
  rkv::ode::Tolerances<double> t;
  t.rtol = 0.5;
  t.per_component = true;
  t.each = {1.0, 0.0, 2.0};
  const std::array<double, 3> v{1.0, -3.0, 6.0};
  const std::array<double, 3> y0{2.0, -2.0, 0.0};
  const std::array<double, 3> y1{0.0, 4.0, 4.0};
  // Weights 1 + 0.5*2 = 2, 0 + 0.5*4 = 2, 2 + 0.5*4 = 4: quotients 0.5, 1.5, 1.5.
  t.kind = rkv::ode::NormKind::kMax;
  EXPECT_EQ(rkv::ode::weighted_norm(t, 3, v.data(), y0.data(), y1.data()), 1.5);
  t.kind = rkv::ode::NormKind::kRms;
  EXPECT_EQ(rkv::ode::weighted_norm(t, 3, v.data(), y0.data(), y1.data()),
            std::sqrt((0.25 + 2.25 + 2.25) / 3.0));
  const std::array<double, 3> nan_v{0.0, std::numeric_limits<double>::quiet_NaN(), 0.0};
  EXPECT_TRUE(std::isnan(rkv::ode::weighted_norm(t, 3, nan_v.data(), y0.data(), y1.data())));
}

// One start with tolerances set by `set`; the point that ended it.
template <class Real, class Set>
ErrorPoint start_with(Set set, std::int32_t neq, Real y0) {
  rkv::BasicIntegrator<Real> it(&decay<Real>);
  set(it);
  std::array<Real, rkv::param::kSize> prm{};
  std::vector<Real> y(static_cast<std::size_t>(neq), y0);
  std::int32_t ido = 1;
  Real x = 0;
  const LibraryLevel quiet;
  it.integrate(ido, neq, x, Real{1}, Real{1}, prm.data(), y.data());
  const ErrorPoint p = rkv::ode::instance_of(it).state.last_error;
  ido = 3;
  it.integrate(ido, neq, x, Real{1}, Real{1}, prm.data(), y.data());
  return p;
}

// Refusals are TERMINAL: neither printed nor stopping the run here.
template <class Real>
class TolerancesTyped : public ::testing::Test {
 protected:
  void SetUp() override { rkv::SETERRATTR(rkv::kAllTypes, rkv::kAttrOff, rkv::kAttrOff); }
};
using RealTypes = ::testing::Types<float, double>;
TYPED_TEST_SUITE(TolerancesTyped, RealTypes);

TYPED_TEST(TolerancesTyped, StartRefusesWhatCannotBeWeighted) {
  using R = TypeParam;
  using It = rkv::BasicIntegrator<R>;
  const R nan = std::numeric_limits<R>::quiet_NaN();
  const std::array<R, 2> pair{R{1e-6}, R{0}};
  struct Case {
    ErrorPoint expected;
    std::int32_t neq;
    R y0;
    void (*set)(It&, R, const R*);
  };
  const Case cases[] = {
      {ErrorPoint::kNone, 2, R{1}, [](It& i, R, const R* a) { i.set_tolerances(R{1e-3}, a, 2); }},
      {ErrorPoint::kRtol, 1, R{1}, [](It& i, R, const R*) { i.set_tolerances(R{-1}, R{1}); }},
      {ErrorPoint::kRtol, 1, R{1}, [](It& i, R n, const R*) { i.set_tolerances(n, R{1}); }},
      {ErrorPoint::kAtol, 1, R{1}, [](It& i, R n, const R*) { i.set_tolerances(R{0}, n); }},
      {ErrorPoint::kAtolCount, 3, R{1},
       [](It& i, R, const R* a) { i.set_tolerances(R{1e-3}, a, 2); }},
      {ErrorPoint::kZeroWeight, 1, R{1}, [](It& i, R, const R*) { i.set_tolerances(R{0}, R{0}); }},
      {ErrorPoint::kZeroWeight, 1, R{0},
       [](It& i, R, const R*) { i.set_tolerances(R{1e-3}, R{0}); }},
      // A norm of the user's own replaces the tolerances, checks included.
      {ErrorPoint::kNone, 1, R{0},
       [](It& i, R, const R*) {
         i.set_tolerances(R{0}, R{0});
         i.set_error_norm(
             [](std::int32_t, const R*, const R*, const R*, const R*) { return R{0}; });
       }},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(start_with<R>([&](It& i) { c.set(i, nan, pair.data()); }, c.neq, c.y0), c.expected)
        << static_cast<int>(c.expected);
  }
}

TYPED_TEST(TolerancesTyped, MeetTheirAccuracyAndChangeOnlyWhileClosed) {
  using R = TypeParam;
  rkv::BasicIntegrator<R> it(&decay<R>);
  const R rtol = std::is_same_v<R, double> ? R{1e-10} : R{1e-5};
  EXPECT_EQ(it.set_tolerances(rtol, R{0}, rkv::ToleranceNorm::kRms), 0);
  std::array<R, rkv::param::kSize> prm{};
  std::int32_t ido = 1;
  const std::int32_t neq = 1;
  R x = 0;
  R y = 1;
  EXPECT_EQ(it.integrate(ido, neq, x, R{1}, R{1}, prm.data(), &y), 0);
  EXPECT_NEAR(static_cast<double>(y), std::exp(-1.0), 20 * static_cast<double>(rtol));
  {
    const LibraryLevel quiet;
    EXPECT_EQ(it.clear_tolerances(), 5);  // refused: the integration is open
  }
  ido = 3;
  it.integrate(ido, neq, x, R{1}, R{1}, prm.data(), &y);
  EXPECT_EQ(it.clear_tolerances(), 0);
}

TYPED_TEST(TolerancesTyped, UserNormIsCalledOncePerAttempt) {
  using R = TypeParam;
  rkv::BasicIntegrator<R> it(&decay<R>);
  std::int32_t calls = 0;
  // Rejects the second attempt through its NaN, accepts every other.
  it.set_error_norm([&calls](std::int32_t neq, const R* v, const R* y0, const R* y1, const R* w) {
    EXPECT_EQ(neq, 1);
    EXPECT_TRUE(v != nullptr && y0 != nullptr && y1 != nullptr && w != nullptr);
    return ++calls == 2 ? std::numeric_limits<R>::quiet_NaN() : R{0};
  });
  std::array<R, rkv::param::kSize> prm{};
  std::int32_t ido = 1;
  const std::int32_t neq = 1;
  R x = 0;
  R y = 1;
  it.integrate(ido, neq, x, R{4}, R{1e-3}, prm.data(), &y);
  const auto accepted = static_cast<std::int32_t>(rkv::param::get(prm.data(), 34));
  const auto evaluations = static_cast<std::int32_t>(rkv::param::get(prm.data(), 35));
  // Each attempt costs 7 evaluations after k1: 8 for a fresh step, 7 for a retry.
  EXPECT_EQ(calls, accepted + 1);
  EXPECT_EQ(evaluations, accepted * 8 + 7);
  EXPECT_EQ(x, R{4});
  ido = 3;
  it.integrate(ido, neq, x, R{4}, R{1e-3}, prm.data(), &y);
}

}  // namespace
