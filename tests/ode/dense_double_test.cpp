// The output-point and event layer over both storage types: the steps stay
// the integrator's own bit for bit, values at a step's ends are the step's
// own, and event abscissae reach the accuracy of the format (about 1e-6
// relative in float, 1e-12 in double on a tight tolerance).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "rkv/errors/state.hpp"
#include "rkv/ode/dense_output.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/param.hpp"
#include "support/child.hpp"

namespace {

namespace param = rkv::param;
constexpr double kPi = 3.14159265358979323846;

template <class Real>
bool same_bits(Real a, Real b) {
  return std::memcmp(&a, &b, sizeof(Real)) == 0;
}

// y1' = y2, y2' = -y1 from (1, 0) at x = 0: y = (cos x, -sin x).
template <class Real>
void oscillator(const std::int32_t&, const Real&, const Real* y, Real* yp) {
  yp[0] = y[1];
  yp[1] = -y[0];
}

template <class Real>
struct Calls {
  std::int32_t ido = 1;
  std::int32_t neq = 2;
  Real x = 0;
  std::array<Real, 2> y = {1, 0};
  std::array<Real, param::kSize> prm{};
};

// Per type: a tolerance and the bound it gives on the event abscissa.
template <class Real>
struct Accuracy;
template <>
struct Accuracy<float> {
  static constexpr float kTol = 1e-6f;
  static constexpr double kEventBound = 2e-6;
};
template <>
struct Accuracy<double> {
  static constexpr double kTol = 1e-13;
  static constexpr double kEventBound = 1e-12;
};

template <class Real>
class DenseBothTypes : public ::testing::Test {};
using RealTypes = ::testing::Types<float, double>;
TYPED_TEST_SUITE(DenseBothTypes, RealTypes);

TYPED_TEST(DenseBothTypes, OutputPointsLeaveTheStepsAloneAndMeetTheEndsBitForBit) {
  using Real = TypeParam;
  const Real tol = Accuracy<Real>::kTol;
  const std::vector<Real> xends = {Real(0.5), Real(2), Real(-1)};
  rkv::BasicIntegrator<Real> with(oscillator<Real>);
  rkv::BasicIntegrator<Real> without(oscillator<Real>);
  rkv::BasicDenseOutput<Real> dense(with);
  Calls<Real> a;
  Calls<Real> plain;
  for (const Real xend : xends) {
    // The interval's start (theta 0), a point inside, and XEND (theta 1).
    const std::array<Real, 3> xs = {a.x, (a.x + xend) / 2, xend};
    const std::array<Real, 2> y_start = a.y;
    std::array<Real, 6> y{};
    std::array<Real, 6> yp{};
    dense.set_output(xs.data(), 3, y.data(), yp.data());
    dense.integrate(a.ido, a.neq, a.x, xend, tol, a.prm.data(), a.y.data());
    without.integrate(plain.ido, plain.neq, plain.x, xend, tol, plain.prm.data(), plain.y.data());
    const std::string where = "XEND = " + std::to_string(static_cast<double>(xend));
    ASSERT_EQ(a.ido, 2) << where;
    ASSERT_EQ(dense.outputs_done(), 3) << where;
    EXPECT_TRUE(same_bits(a.x, plain.x)) << where;
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_TRUE(same_bits(a.y[i], plain.y[i])) << where;
      EXPECT_TRUE(same_bits(y[i], y_start[i])) << where << " start, y" << i + 1;
      EXPECT_TRUE(same_bits(y[4 + i], a.y[i])) << where << " XEND, y" << i + 1;
    }
    // y' at the ends is f there, exactly.
    EXPECT_TRUE(same_bits(yp[0], y_start[1]) && same_bits(yp[1], Real(-y_start[0]))) << where;
    EXPECT_TRUE(same_bits(yp[4], a.y[1]) && same_bits(yp[5], Real(-a.y[0]))) << where;
    const double xm = static_cast<double>(xs[1]);
    const double bound = 100.0 * static_cast<double>(tol);
    EXPECT_NEAR(static_cast<double>(y[2]), std::cos(xm), bound) << where;
    EXPECT_NEAR(static_cast<double>(y[3]), -std::sin(xm), bound) << where;
  }
  for (std::int32_t k = param::kLastStep; k <= param::kEvaluations; ++k) {
    EXPECT_TRUE(same_bits(param::get(a.prm.data(), k), param::get(plain.prm.data(), k)))
        << "PARAM(" << k << ")";
  }
}

TYPED_TEST(DenseBothTypes, EventAbscissaeReachTheAccuracyOfTheFormat) {
  // y1 = cos x changes sign at pi/2 and 3 pi/2; the bracket is shrunk to a
  // few units of the format's own spacing, so double gets far closer.
  using Real = TypeParam;
  const auto g = [](const std::int32_t&, const Real&, const Real* y, const Real*) { return y[0]; };
  const rkv::BasicEvent<Real> event = rkv::make_event<Real>(g, rkv::Crossing::kEither);
  rkv::BasicIntegrator<Real> it(oscillator<Real>);
  rkv::BasicDenseOutput<Real> dense(it);
  dense.set_events(&event, 1);
  Calls<Real> a;
  std::vector<rkv::BasicEventHit<Real>> hits;
  std::vector<std::array<Real, 2>> ys;
  const Real xend = Real(7);
  do {
    if (a.ido == rkv::kIdoEvents) a.ido = 2;
    dense.integrate(a.ido, a.neq, a.x, xend, Accuracy<Real>::kTol, a.prm.data(), a.y.data());
    for (std::int32_t i = 0; i < dense.event_count(); ++i) {
      hits.push_back(dense.event(i));
      ys.push_back({dense.event(i).y[0], dense.event(i).y[1]});
    }
  } while (a.ido == rkv::kIdoEvents);
  ASSERT_EQ(a.ido, 2);
  ASSERT_EQ(hits.size(), 2u);
  for (std::size_t j = 0; j < hits.size(); ++j) {
    const double exact = kPi / 2 + static_cast<double>(j) * kPi;
    const double x = static_cast<double>(hits[j].x);
    EXPECT_NEAR(x, exact, Accuracy<Real>::kEventBound) << "event " << j + 1;
    EXPECT_NEAR(static_cast<double>(ys[j][0]), 0.0, Accuracy<Real>::kEventBound);
    EXPECT_NEAR(std::fabs(static_cast<double>(ys[j][1])), 1.0, Accuracy<Real>::kEventBound);
    std::printf("%-6s event %zu at %.17g, off by %.3e\n", sizeof(Real) == 4 ? "float" : "double",
                j + 1, x, x - exact);
  }
}

TEST(DoubleDenseOutput, ReportsPrintTheRealsOfTheDoubleLayerAtDoublePrecision) {
  const rkv::testing::ChildResult r = rkv::testing::run_in_child([] {
    rkv::E1ERRSTATE().stop_attr(5) = 0;  // keep running after the TERMINAL report
    Calls<double> a;
    rkv::DoubleIntegrator it(oscillator<double>);
    rkv::DoubleDenseOutput dense(it);
    const double xs[2] = {0.5, 0.1 + 1.0};
    double ys[4];
    dense.set_output(xs, 2, ys);
    dense.integrate(a.ido, a.neq, a.x, 1.0, 1e-10, a.prm.data(), a.y.data());
  });
  EXPECT_EQ(r.status, rkv::testing::kBodyReturned);
  // 0.1 + 1 is 1.1000000000000001 in double: printed in full, not as 1.100000E+00.
  EXPECT_EQ(r.out,
            "\n"
            " *** TERMINAL ERROR 1 from IVPEV.  The output point XOUT(2) =\n"
            " ***          1.1000000000000001E+00 is outside the interval from X = \n"
            " ***          0.0000000000000000E+00 to XEND = 1.0000000000000000E+00.\n");
  EXPECT_EQ(r.err, "");
}

}  // namespace
