// The trajectory model and the program's records.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "model.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/ivprk.hpp"
#include "rkv/ode/param.hpp"
#include "trajectory.hpp"

namespace rkv::app {
namespace {

float rhs(float y) {
  const std::int32_t neq = 1;
  const float x = 0.0f;
  float yp = 0.0f;
  RHSFUN(neq, x, &y, &yp);
  return yp;
}

class Model : public ::testing::Test {
 protected:
  void SetUp() override { TRAJDATA = initial_trajdata(); }
};

TEST_F(Model, ConstantsHaveTheirBits) {
  // MU is 1/(1/M1 + 1/M2) with every operation rounded to single precision.
  const float m1 = 1.0f, m2 = 35.0f;
  const float inv2 = static_cast<float>(1.0 / static_cast<double>(m2));
  const float sum = static_cast<float>(1.0 / static_cast<double>(m1) + static_cast<double>(inv2));
  const float mu = static_cast<float>(1.0 / static_cast<double>(sum));
  EXPECT_EQ(std::bit_cast<std::uint32_t>(mu), 0x3F78E38Du);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(TRAJDATA.MU), 0x3F78E38Du);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(TRAJDATA.ENERGY), 0x3EF8E38Du);
  EXPECT_EQ(TRAJDATA.ENERGY * 2.0f, TRAJDATA.MU);
  EXPECT_EQ(TRAJDATA.OUTWARD, 0);
}

TEST_F(Model, NegativeRootUntilTurningPointThenPositive) {
  const float before = rhs(10.0f);
  EXPECT_LT(before, 0.0f);
  EXPECT_EQ(TRAJDATA.OUTWARD, 0);
  // Same y, same magnitude, once the flag is set: the sign flips and stays.
  TRAJDATA.OUTWARD = -1;
  EXPECT_EQ(rhs(10.0f), -before);
  EXPECT_GT(rhs(3.0f), 0.0f);
}

TEST_F(Model, MatchesTheClosedFormInDouble) {
  const double y = 10.0, d = y - 2.0;
  const double t1 = static_cast<float>(std::exp(-2.0 * d));
  const double v = 5.0 * (t1 - 2.0 * std::exp(-d));
  const double mu = std::bit_cast<float>(kMuBits);
  const double k = mu / 2.0 - v;
  EXPECT_EQ(rhs(10.0f), static_cast<float>(-std::sqrt(2.0 * mu * k)));
}

TEST_F(Model, OutsideTheAllowedRegionGivesTen) {
  struct Case {
    float y;
    const char* why;
  };
  const Case cases[] = {
      {0.0f, "0/0 in the inverse-square term is NaN"},
      {-1.0f, "deep below the well: radicand negative"},
      {std::numeric_limits<float>::quiet_NaN(), "NaN input"},
  };
  for (const Case& c : cases) {
    TRAJDATA = initial_trajdata();
    EXPECT_EQ(rhs(c.y), kOutsideDerivative) << c.why;
    EXPECT_EQ(TRAJDATA.OUTWARD, 0) << c.why;
  }
}

TEST_F(Model, SmallDerivativeSetsOutwardOnceAndForAll) {
  // Bisect for the edge of the allowed region below the well (near y = 1.2834):
  // just inside it the radicand is tiny and so is the derivative.
  float lo = 1.28f, hi = 1.29f;  // rhs(lo) is outside, rhs(hi) inside
  while (std::nextafter(lo, hi) != hi) {
    const float mid = static_cast<float>((static_cast<double>(lo) + hi) / 2.0);
    TRAJDATA.OUTWARD = 0;
    (rhs(mid) == kOutsideDerivative ? lo : hi) = mid;
  }
  TRAJDATA.OUTWARD = 0;
  const float small = rhs(hi);
  ASSERT_LT(std::fabs(small), kTurningThreshold);
  EXPECT_LE(small, 0.0f);
  EXPECT_EQ(TRAJDATA.OUTWARD, -1);
  // A later, larger derivative keeps the positive sign.
  EXPECT_GT(rhs(5.0f), 0.0f);
  EXPECT_EQ(TRAJDATA.OUTWARD, -1);
}

TEST(TrajectoryRecord, Layout) {
  struct Case {
    float x, y;
    const char* want;
  };
  const Case cases[] = {
      {0.0f, 10.0f, "  0.00'   10.000'"},
      {0.1f, 9.9016f, "  0.10'    9.902'"},
      {0.0f, 9.9996f, "  0.00'   10.000'"},  // carry into a new digit
      {13.2f, 10.196f, " 13.20'   10.196'"},
      {6.5f, 1.2834f, "  6.50'    1.283'"},
      {0.5f, -0.5f, "  0.50'   -0.500'"},
      {123.0f, 1.0e6f, " *****'  *******'"},  // too wide: asterisks
      {-9.99f, -99.9994f, " -9.99'  -99.999'"},
  };
  for (const Case& c : cases) {
    const std::string rec = trajectory_record(c.x, c.y);
    EXPECT_EQ(rec, c.want);
  }
}

TEST(StepCounts, RejectionsFollowFromEvaluations) {
  struct Case {
    float accepted, evals;
    std::int32_t good, bad;
  };
  const Case cases[] = {
      {0.0f, 0.0f, 0, 0},
      {1.0f, 8.0f, 1, 0},
      {10.0f, 80.0f + 7.0f * 3.0f, 10, 3},
      {500.0f, 4000.0f, 500, 0},
      {3.0e9f, 3.0e9f, 2147483647, 0},  // saturates, never overflows
  };
  for (const Case& c : cases) {
    const StepCounts s = step_counts(c.accepted, c.evals);
    EXPECT_EQ(s.good, c.good);
    EXPECT_EQ(s.bad, c.bad);
  }
}

// The program's integration (TOL 1e-6, HMAX 0.001, no step limit) through
// the turning point, once through IVPRK with RHSFUN on TRAJDATA and once
// through an integrator with RHSTRAJ on a record of its own: the same bits
// at every output point.
TEST_F(Model, RecordAsContextGivesTheBitsOfRhsfun) {
  TrajData record = initial_trajdata();
  Integrator it(RHSTRAJ, &record);
  std::int32_t ido_a = 1, ido_b = 1;
  const std::int32_t neq = 1;
  const float tol = 1.0e-6f;
  float xa = 0.0f, xb = 0.0f, ya = 10.0f, yb = 10.0f;
  std::array<float, param::kSize> pa{}, pb{};
  for (auto* p : {&pa, &pb}) {
    param::set(p->data(), param::kHmax, 0.001f);
    param::set(p->data(), param::kMaxSteps, 0.5f);
  }
  for (int k = 1; k <= 200 && ya < 10.1f && ya > -10.1f; ++k) {
    const float xend = static_cast<float>(k) * 0.1f;
    IVPRK(ido_a, neq, RHSFUN, xa, xend, tol, pa.data(), &ya);
    it.integrate(ido_b, neq, xb, xend, tol, pb.data(), &yb);
    ASSERT_EQ(ido_a, 2);
    ASSERT_EQ(ido_b, 2);
    ASSERT_EQ(std::bit_cast<std::uint32_t>(ya), std::bit_cast<std::uint32_t>(yb)) << xend;
    for (std::int32_t i = param::kLastStep; i <= param::kEvaluations; ++i) {
      ASSERT_EQ(std::bit_cast<std::uint32_t>(param::get(pa.data(), i)),
                std::bit_cast<std::uint32_t>(param::get(pb.data(), i)));
    }
  }
  EXPECT_EQ(TRAJDATA.OUTWARD, -1);
  EXPECT_EQ(record.OUTWARD, -1);
  ido_a = 3;
  IVPRK(ido_a, neq, RHSFUN, xa, xa, tol, pa.data(), &ya);
}

}  // namespace
}  // namespace rkv::app
