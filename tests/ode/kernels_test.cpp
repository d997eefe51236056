// The vector kernels (unit-increment grouping, general and negative
// increments) and the four error norms, over both storage types.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <type_traits>
#include <vector>

#include "front/aligned_memory.hpp"
#include "rkv/ode/ivprk.hpp"
#include "step/kernels.hpp"
#include "step/solver_state.hpp"
#include "step/user_calls.hpp"

namespace {

using rkv::V1MAXABS;
using rkv::V1VAXPY;
using rkv::V1VCOPY;
using rkv::V1VSWAP;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

template <class Real>
std::vector<Real> iota(std::int32_t n, Real start) {
  std::vector<Real> v(static_cast<std::size_t>(n));
  std::iota(v.begin(), v.end(), start);
  return v;
}

template <class Real>
class Kernels : public ::testing::Test {};
using RealTypes = ::testing::Types<float, double>;
TYPED_TEST_SUITE(Kernels, RealTypes);

// Lengths around every grouping remainder (3, 4 and 7) with unit increments.
TYPED_TEST(Kernels, UnitIncrementsCoverEveryGroupingRemainder) {
  using R = TypeParam;
  for (std::int32_t n = 0; n <= 16; ++n) {
    const std::int32_t one = 1;
    const auto x0 = iota(n, R{1});
    const auto y0 = iota(n, R{100});
    // The guard element after n must never be touched.
    auto x = x0;
    auto y = y0;
    x.push_back(R{-1});
    y.push_back(R{-2});

    V1VSWAP(n, x.data(), one, y.data(), one);
    for (std::int32_t i = 0; i < n; ++i) {
      EXPECT_EQ(x[i], y0[i]) << n;
      EXPECT_EQ(y[i], x0[i]) << n;
    }
    V1VCOPY(n, x.data(), one, y.data(), one);
    for (std::int32_t i = 0; i < n; ++i) EXPECT_EQ(y[i], y0[i]) << n;
    const R a = R{0.5};
    V1VAXPY(n, a, x.data(), one, y.data(), one);
    for (std::int32_t i = 0; i < n; ++i) EXPECT_EQ(y[i], R{1.5} * y0[i]) << n;
    EXPECT_EQ(x[n], R{-1});
    EXPECT_EQ(y[n], R{-2});
  }
}

TYPED_TEST(Kernels, GeneralIncrementsWalkAsDocumented) {
  using R = TypeParam;
  const std::int32_t n = 3;
  // x visited at 1, 3, 5 (inc 2); y with inc -1 starts at element 3: y3, y2, y1.
  std::array<R, 6> x{1, 2, 3, 4, 5, 6};
  std::array<R, 3> y{10, 20, 30};
  const std::int32_t two = 2;
  const std::int32_t minus_one = -1;
  V1VCOPY(n, x.data(), two, y.data(), minus_one);
  EXPECT_EQ(y, (std::array<R, 3>{5, 3, 1}));

  std::array<R, 3> z{10, 20, 30};
  V1VSWAP(n, x.data(), two, z.data(), minus_one);
  EXPECT_EQ(x, (std::array<R, 6>{30, 2, 20, 4, 10, 6}));
  EXPECT_EQ(z, (std::array<R, 3>{5, 3, 1}));

  // Both negative: element 1 + (1 - n) * inc first, element 1 last.
  std::array<R, 5> u{1, 2, 3, 4, 5};
  std::array<R, 3> w{0, 0, 0};
  const std::int32_t minus_two = -2;
  const R a = 2;
  V1VAXPY(n, a, u.data(), minus_two, w.data(), minus_one);
  EXPECT_EQ(w, (std::array<R, 3>{2, 6, 10}));

  // Increment 0 reuses element 1.
  std::array<R, 3> v{0, 0, 0};
  const std::int32_t zero = 0;
  const std::int32_t one = 1;
  V1VCOPY(n, u.data(), zero, v.data(), one);
  EXPECT_EQ(v, (std::array<R, 3>{1, 1, 1}));
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

TYPED_TEST(Kernels, MaxAbsCountsVisitedElementsAndKeepsTheFirstOfEqualMaxima) {
  struct Case {
    std::vector<TypeParam> x;
    std::int32_t n;
    std::int32_t inc;
    std::int32_t expected;
  };
  constexpr TypeParam kNaNR = std::numeric_limits<TypeParam>::quiet_NaN();
  const std::vector<Case> cases = {
      {{}, 0, 1, 0},
      {{5}, -3, 1, 0},
      {{-7}, 1, 1, 1},
      {{1, -3, 3, 2}, 4, 1, 2},     // |-3| first, the later 3 is not greater
      {{1, 9, 2, 9, -4}, 3, 2, 3},  // visits 1, 2, -4: the third
      {{1, 9, 2, 9, 4}, 3, 2, 3},
      {{kNaNR, 1, 2}, 3, 1, 1},  // nothing compares greater than a leading NaN
      {{1, kNaNR, 2}, 3, 1, 3},  // and a NaN never wins the comparison
      {{1, 2, 3}, 3, -1, 0},     // a negative increment searches nothing
  };
  for (const Case& c : cases) {
    EXPECT_EQ(V1MAXABS(c.n, c.x.data(), c.inc), c.expected);
  }
}

TYPED_TEST(Kernels, WorkspaceStartsOnACacheLineZeroFilledInsideItsBlock) {
  using R = TypeParam;
  constexpr std::size_t kLine = rkv::ode::kCacheLine;
  for (std::size_t count : {std::size_t{1}, std::size_t{3}, std::size_t{10}, std::size_t{1000}}) {
    void* block = nullptr;
    R* p = rkv::ode::calloc_cache_aligned<R>(count, block);
    ASSERT_NE(p, nullptr) << count;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % kLine, 0u) << count;
    const auto* first = static_cast<const unsigned char*>(block);
    const auto* from = reinterpret_cast<const unsigned char*>(p);
    EXPECT_GE(from, first);
    EXPECT_LE(from + count * sizeof(R), first + count * sizeof(R) + kLine);
    for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(p[i], R{0}) << i;
    std::free(block);
  }
  // A size that overflows is refused, not wrapped round.
  void* block = &block;
  EXPECT_EQ(rkv::ode::calloc_cache_aligned<R>(SIZE_MAX / sizeof(R), block), nullptr);
  EXPECT_EQ(block, nullptr);
}

// The norms read INORM and the lower bound from the instance's settings:
// for float those of the calling thread's default instance, through the
// entry I2ERRNRM, for double settings of the test's own.
template <class Real>
class Norms : public ::testing::Test {
 protected:
  void TearDown() override {
    settings().inorm = 0;
    settings().floor = Real{0};
  }
  static rkv::ode::BasicSettings<Real>& settings() {
    if constexpr (std::is_same_v<Real, float>) {
      return rkv::ode::solver_state().settings;
    } else {
      static rkv::ode::BasicSettings<Real> own{};
      return own;
    }
  }
  static Real norm(std::int32_t inorm, Real floor, const std::vector<Real>& v,
                   const std::vector<Real>& y, const std::vector<Real>& w) {
    settings().inorm = inorm;
    settings().floor = floor;
    Real e = -1;
    const auto n = static_cast<std::int32_t>(v.size());
    if constexpr (std::is_same_v<Real, float>) {
      rkv::I2ERRNRM(n, v.data(), y.data(), w.data(), e);
    } else {
      rkv::ode::error_norm(settings(), n, v.data(), y.data(), w.data(), e);
    }
    return e;
  }
  static constexpr Real kNaNR = std::numeric_limits<Real>::quiet_NaN();
  static constexpr Real kInfR = std::numeric_limits<Real>::infinity();
};
TYPED_TEST_SUITE(Norms, RealTypes);

TYPED_TEST(Norms, EachNormAsDefined) {
  using R = TypeParam;
  const std::vector<R> v{R{0.5}, R{-3}, R{0.25}};
  const std::vector<R> y{R{0.1}, R{6}, R{-0.5}};
  const std::vector<R> w{R{4}, R{0.5}, R{1}};
  // 0: |v| / max(|y|, 1) = 0.5, 0.5, 0.25.
  EXPECT_EQ(this->norm(0, R{1}, v, y, w), R{0.5});
  // 1: largest |v|, whatever its sign.
  EXPECT_EQ(this->norm(1, R{1}, v, y, w), R{3});
  // 2: |v| / max(|y|, 0.25) = 2, 0.5, 0.5.
  EXPECT_EQ(this->norm(2, R{0.25}, v, y, w), R{2});
  // 3: sqrt((0.5/4)^2 + 3^2 + 0.25^2), rounded after every addition.
  R acc = 0;
  for (double r : {0.125, -3.0, 0.25}) acc = static_cast<R>(static_cast<double>(acc) + r * r);
  EXPECT_EQ(this->norm(3, R{1}, v, y, w), static_cast<R>(std::sqrt(static_cast<double>(acc))));
}

TYPED_TEST(Norms, ScaledNormUsesTheRunningMaximumNotTheCurrentSolution) {
  using R = TypeParam;
  // A component that was once large keeps its weight after it shrinks.
  const std::vector<R> v{R{2}};
  EXPECT_EQ(this->norm(3, R{1}, v, {R{0}}, {R{8}}), R{0.25});
  EXPECT_EQ(this->norm(0, R{1}, v, {R{0}}, {R{8}}), R{2});
}

TYPED_TEST(Norms, ErrorVectorWithNaNGivesNaNUnderEveryNorm) {
  using R = TypeParam;
  // Otherwise INORM 0 and 2 would skip the NaN quotient and report a zero
  // error, and the step would be accepted with an unknown error.
  const std::vector<R> v{R{1.0e-9}, this->kNaNR, R{0}};
  const std::vector<R> ones{R{1}, R{1}, R{1}};
  for (std::int32_t inorm = 0; inorm <= 3; ++inorm) {
    EXPECT_TRUE(std::isnan(this->norm(inorm, R{1}, v, ones, ones))) << inorm;
  }
  // An infinite component gives an infinite norm.
  const std::vector<R> vi{R{0}, -this->kInfR};
  for (std::int32_t inorm = 0; inorm <= 3; ++inorm) {
    EXPECT_EQ(this->norm(inorm, R{1}, vi, {R{1}, R{1}}, {R{1}, R{1}}), this->kInfR) << inorm;
  }
}

}  // namespace
