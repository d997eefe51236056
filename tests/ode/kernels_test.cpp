// The vector kernels (unit-increment grouping, general and negative
// increments) and the four error norms.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <vector>

#include "rkv/ode/ivprk.hpp"
#include "step/kernels.hpp"
#include "step/solver_state.hpp"

namespace {

using rkv::V1MAXABS;
using rkv::V1VAXPY;
using rkv::V1VCOPY;
using rkv::V1VSWAP;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

std::vector<float> iota(std::int32_t n, float start) {
  std::vector<float> v(static_cast<std::size_t>(n));
  std::iota(v.begin(), v.end(), start);
  return v;
}

// Lengths around every grouping remainder (3, 4 and 7) with unit increments.
TEST(Kernels, UnitIncrementsCoverEveryGroupingRemainder) {
  for (std::int32_t n = 0; n <= 16; ++n) {
    const std::int32_t one = 1;
    const auto x0 = iota(n, 1.0f);
    const auto y0 = iota(n, 100.0f);
    // The guard element after n must never be touched.
    auto x = x0;
    auto y = y0;
    x.push_back(-1.0f);
    y.push_back(-2.0f);

    V1VSWAP(n, x.data(), one, y.data(), one);
    for (std::int32_t i = 0; i < n; ++i) {
      EXPECT_EQ(x[i], y0[i]) << n;
      EXPECT_EQ(y[i], x0[i]) << n;
    }
    V1VCOPY(n, x.data(), one, y.data(), one);
    for (std::int32_t i = 0; i < n; ++i) EXPECT_EQ(y[i], y0[i]) << n;
    const float a = 0.5f;
    V1VAXPY(n, a, x.data(), one, y.data(), one);
    for (std::int32_t i = 0; i < n; ++i) EXPECT_EQ(y[i], 1.5f * y0[i]) << n;
    EXPECT_EQ(x[n], -1.0f);
    EXPECT_EQ(y[n], -2.0f);
  }
}

TEST(Kernels, GeneralIncrementsWalkAsDocumented) {
  const std::int32_t n = 3;
  // x visited at 1, 3, 5 (inc 2); y with inc -1 starts at element 3: y3, y2, y1.
  std::array<float, 6> x{1, 2, 3, 4, 5, 6};
  std::array<float, 3> y{10, 20, 30};
  const std::int32_t two = 2;
  const std::int32_t minus_one = -1;
  V1VCOPY(n, x.data(), two, y.data(), minus_one);
  EXPECT_EQ(y, (std::array<float, 3>{5, 3, 1}));

  std::array<float, 3> z{10, 20, 30};
  V1VSWAP(n, x.data(), two, z.data(), minus_one);
  EXPECT_EQ(x, (std::array<float, 6>{30, 2, 20, 4, 10, 6}));
  EXPECT_EQ(z, (std::array<float, 3>{5, 3, 1}));

  // Both negative: element 1 + (1 - n) * inc first, element 1 last.
  std::array<float, 5> u{1, 2, 3, 4, 5};
  std::array<float, 3> w{0, 0, 0};
  const std::int32_t minus_two = -2;
  const float a = 2.0f;
  V1VAXPY(n, a, u.data(), minus_two, w.data(), minus_one);
  EXPECT_EQ(w, (std::array<float, 3>{2, 6, 10}));

  // Increment 0 reuses element 1.
  std::array<float, 3> v{0, 0, 0};
  const std::int32_t zero = 0;
  const std::int32_t one = 1;
  V1VCOPY(n, u.data(), zero, v.data(), one);
  EXPECT_EQ(v, (std::array<float, 3>{1, 1, 1}));
}

TEST(Kernels, AxpyRoundsOnceAndSkipsAZeroFactor) {
  const std::int32_t n = 5;
  const std::int32_t one = 1;
  std::array<float, 5> x{kNaN, kInf, -kInf, 1.0f, kNaN};
  std::array<float, 5> y{1, 2, 3, 4, 5};
  const auto y0 = y;
  for (float a : {0.0f, -0.0f}) {
    V1VAXPY(n, a, x.data(), one, y.data(), one);
    EXPECT_EQ(y, y0);
  }
  // a*x + y in double, rounded once: 1/3 * 3 + 2^-24 rounds up to 1 + 2^-23
  // only if the sum is not rounded twice.
  const float a = std::bit_cast<float>(0x3EAAAAABu);  // nearest float to 1/3
  std::array<float, 1> xs{3.0f};
  std::array<float, 1> ys{std::bit_cast<float>(0x33800001u)};  // a bit above 2^-24
  const std::int32_t n1 = 1;
  V1VAXPY(n1, a, xs.data(), one, ys.data(), one);
  const double exact = static_cast<double>(a) * 3.0 + static_cast<double>(0x1.000002p-24f);
  EXPECT_EQ(ys[0], static_cast<float>(exact));
}

TEST(Kernels, MaxAbsCountsVisitedElementsAndKeepsTheFirstOfEqualMaxima) {
  struct Case {
    std::vector<float> x;
    std::int32_t n;
    std::int32_t inc;
    std::int32_t expected;
  };
  const std::vector<Case> cases = {
      {{}, 0, 1, 0},
      {{5}, -3, 1, 0},
      {{-7}, 1, 1, 1},
      {{1, -3, 3, 2}, 4, 1, 2},     // |-3| first, the later 3 is not greater
      {{1, 9, 2, 9, -4}, 3, 2, 3},  // visits 1, 2, -4: the third
      {{1, 9, 2, 9, 4}, 3, 2, 3},
      {{kNaN, 1, 2}, 3, 1, 1},  // nothing compares greater than a leading NaN
      {{1, kNaN, 2}, 3, 1, 3},  // and a NaN never wins the comparison
      {{1, 2, 3}, 3, -1, 0},    // a negative increment searches nothing
  };
  for (const Case& c : cases) {
    EXPECT_EQ(V1MAXABS(c.n, c.x.data(), c.inc), c.expected);
  }
}

// The norms read INORM and the lower bound from the solver's settings.
class Norms : public ::testing::Test {
 protected:
  void TearDown() override {
    settings().inorm = 0;
    settings().floor = 0.0f;
  }
  static rkv::ode::Settings& settings() { return rkv::ode::solver_state().settings; }
  static float norm(std::int32_t inorm, float floor, const std::vector<float>& v,
                    const std::vector<float>& y, const std::vector<float>& w) {
    settings().inorm = inorm;
    settings().floor = floor;
    float e = -1.0f;
    const auto n = static_cast<std::int32_t>(v.size());
    rkv::I2ERRNRM(n, v.data(), y.data(), w.data(), e);
    return e;
  }
};

TEST_F(Norms, EachNormAsDefined) {
  const std::vector<float> v{0.5f, -3.0f, 0.25f};
  const std::vector<float> y{0.1f, 6.0f, -0.5f};
  const std::vector<float> w{4.0f, 0.5f, 1.0f};
  // 0: |v| / max(|y|, 1) = 0.5, 0.5, 0.25.
  EXPECT_EQ(norm(0, 1.0f, v, y, w), 0.5f);
  // 1: largest |v|, whatever its sign.
  EXPECT_EQ(norm(1, 1.0f, v, y, w), 3.0f);
  // 2: |v| / max(|y|, 0.25) = 2, 0.5, 0.5.
  EXPECT_EQ(norm(2, 0.25f, v, y, w), 2.0f);
  // 3: sqrt((0.5/4)^2 + 3^2 + 0.25^2), rounded after every addition.
  float acc = 0.0f;
  for (double r : {0.125, -3.0, 0.25}) acc = static_cast<float>(static_cast<double>(acc) + r * r);
  EXPECT_EQ(norm(3, 1.0f, v, y, w), static_cast<float>(std::sqrt(static_cast<double>(acc))));
}

TEST_F(Norms, ScaledNormUsesTheRunningMaximumNotTheCurrentSolution) {
  // A component that was once large keeps its weight after it shrinks.
  const std::vector<float> v{2.0f};
  EXPECT_EQ(norm(3, 1.0f, v, {0.0f}, {8.0f}), 0.25f);
  EXPECT_EQ(norm(0, 1.0f, v, {0.0f}, {8.0f}), 2.0f);
}

TEST_F(Norms, ErrorVectorWithNaNGivesNaNUnderEveryNorm) {
  // Otherwise INORM 0 and 2 would skip the NaN quotient and report a zero
  // error, and the step would be accepted with an unknown error.
  const std::vector<float> v{1.0e-9f, kNaN, 0.0f};
  const std::vector<float> ones{1.0f, 1.0f, 1.0f};
  for (std::int32_t inorm = 0; inorm <= 3; ++inorm) {
    EXPECT_TRUE(std::isnan(norm(inorm, 1.0f, v, ones, ones))) << inorm;
  }
  // An infinite component gives an infinite norm.
  const std::vector<float> vi{0.0f, -kInf};
  for (std::int32_t inorm = 0; inorm <= 3; ++inorm) {
    EXPECT_EQ(norm(inorm, 1.0f, vi, {1.0f, 1.0f}, {1.0f, 1.0f}), kInf) << inorm;
  }
}

}  // namespace
