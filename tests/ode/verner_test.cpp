// The Verner coefficient table, one step attempt against known exact
// properties and the step-size control, over both storage types.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <type_traits>
#include <vector>

#include "solver_support.hpp"
#include "step/step_control.hpp"
#include "step/verner.hpp"
#include "step/verner_table.hpp"
#include "step/verner_table_double.hpp"

namespace {

using rkv::odetest::Driver;
using rkv::odetest::state;

struct Entry {
  std::uint32_t bits;
  double num;
  double den;
};

// The single-precision roundings of the pair's rationals, with their bits.
constexpr std::array<Entry, 43> kExpected = {{
    {0x3E2AAAABu, 1, 6},         {0x3D5A740Eu, 4, 75},         {0x3E5A740Eu, 16, 75},
    {0x3F555555u, 5, 6},         {0xC02AAAABu, -8, 3},         {0x40200000u, 5, 2},
    {0xC0250000u, -165, 64},     {0x4112AAABu, 55, 6},         {0xC0D48000u, -425, 64},
    {0x3F62AAABu, 85, 96},       {0x4019999Au, 12, 5},         {0xC1000000u, -8, 1},
    {0x40D1EF45u, 4015, 612},    {0xBE9C71C7u, -11, 36},       {0x3EB0B0B1u, 88, 255},
    {0xBF0D0599u, -8263, 15000}, {0x3FD3A06Du, 124, 75},       {0xBF721212u, -643, 680},
    {0xBEA5E354u, -81, 250},     {0x3E6F662Fu, 2484, 10625},   {0x4002450Fu, 3501, 1720},
    {0xC0DF417Du, -300, 43},     {0x40B4BDE4u, 297275, 52632}, {0xBE0CADC1u, -319, 2322},
    {0x3E929636u, 24068, 84065}, {0x00000000u, 0, 1},          {0x3E13A38Bu, 3850, 26703},
    {0x3D99999Au, 3, 40},        {0x00000000u, 0, 1},          {0x3EC7A4BCu, 875, 2244},
    {0x3EA38E39u, 23, 72},       {0x3E0A477Fu, 264, 1955},     {0x00000000u, 0, 1},
    {0x3C30AC6Fu, 125, 11592},   {0x3D8EF607u, 43, 616},       {0x3BCCCCCDu, 1, 160},
    {0x00000000u, 0, 1},         {0x3BE429FBu, 125, 17952},    {0xBBE38E39u, -1, 144},
    {0x3BC9222Du, 12, 1955},     {0x3D8BA2E9u, 3, 44},         {0xBC30AC6Fu, -125, 11592},
    {0xBD8EF607u, -43, 616},
}};

TEST(VernerTable, LoadedBitForBitAndEqualToTheRoundedRationals) {
  // An IDO = 1 call loads the table into the solver state.
  Driver d;
  d.fcn = rkv::odetest::rhs_zero;
  d.call_to(0.5f);
  ASSERT_EQ(d.ido, 2);
  d.close();
  for (std::size_t i = 0; i < kExpected.size(); ++i) {
    const float loaded = state().table[i];
    EXPECT_EQ(std::bit_cast<std::uint32_t>(loaded), kExpected[i].bits) << "entry " << i + 1;
    EXPECT_EQ(std::bit_cast<std::uint32_t>(rkv::ode::kVernerTableBits[i]), kExpected[i].bits);
    const float rounded = static_cast<float>(kExpected[i].num / kExpected[i].den);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(rounded), kExpected[i].bits) << "entry " << i + 1;
  }
  EXPECT_EQ(std::bit_cast<std::uint32_t>(state().eps), 0x34000000u);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(state().tiny), 0x00800000u);
}

TEST(VernerTable, RowSumsGiveTheAbscissaeAndWeightSumsAreOneAndZero) {
  // Computed from the rationals: the weights b sum to 1 and e to 0; the
  // stage rows sum to 1/6, 4/15, 2/3, 5/6, 1, 1/15, 1.
  const std::array<double, 9> abscissa = {0,       0, 1.0 / 6,  4.0 / 15, 2.0 / 3,
                                          5.0 / 6, 1, 1.0 / 15, 1};
  for (std::int32_t s = 2; s <= 8; ++s) {
    double sum = 0;
    for (std::int32_t j = 0; j < rkv::ode::kRowLength[s]; ++j) {
      const Entry& e = kExpected[static_cast<std::size_t>(rkv::ode::kRowA[s] + j)];
      sum += e.num / e.den;
    }
    EXPECT_NEAR(sum, abscissa[static_cast<std::size_t>(s)], 1e-15) << "stage " << s;
  }
  double sb = 0;
  double se = 0;
  for (std::int32_t j = 0; j < 8; ++j) {
    sb += kExpected[static_cast<std::size_t>(rkv::ode::kRowB + j)].num /
          kExpected[static_cast<std::size_t>(rkv::ode::kRowB + j)].den;
    se += kExpected[static_cast<std::size_t>(rkv::ode::kRowE + j)].num /
          kExpected[static_cast<std::size_t>(rkv::ode::kRowE + j)].den;
  }
  EXPECT_NEAR(sb, 1.0, 1e-15);
  EXPECT_NEAR(se, 0.0, 1e-15);
}

// The right-hand sides of the step tests over either storage type:
// y' = 0, y' = 3, y' = y, y' = x, per component.
template <class R>
struct Rhs {
  static void zero(const std::int32_t& n, const R&, const R*, R* yp) {
    for (std::int32_t i = 0; i < n; ++i) yp[i] = R{0};
  }
  static void three(const std::int32_t& n, const R&, const R*, R* yp) {
    for (std::int32_t i = 0; i < n; ++i) yp[i] = R{3};
  }
  static void grow(const std::int32_t& n, const R&, const R* y, R* yp) {
    for (std::int32_t i = 0; i < n; ++i) yp[i] = y[i];
  }
  static void x(const std::int32_t& n, const R& x, const R*, R* yp) {
    for (std::int32_t i = 0; i < n; ++i) yp[i] = x;
  }
};

// The table as the solver loads it for the storage type.
template <class R>
R table_entry(std::size_t i) {
  if constexpr (std::is_same_v<R, float>) {
    return std::bit_cast<float>(rkv::ode::kVernerTableBits[i]);
  } else {
    return std::bit_cast<double>(rkv::ode::kVernerTableDoubleBits[i]);
  }
}

// One attempt of the step on a private state, with k1 supplied; the INORM
// = 0 norm of the state's own settings.
template <class R>
struct Step {
  rkv::ode::BasicSolverState<R> s{};
  std::vector<R> wk;
  std::vector<R> y;
  std::int32_t neq;

  Step(std::vector<R> y0, R x, R h) : y(std::move(y0)) {
    neq = static_cast<std::int32_t>(y.size());
    wk.assign(static_cast<std::size_t>(10 * neq), R{0});
    for (std::size_t i = 0; i < 43; ++i) s.table[i] = table_entry<R>(i);
    s.settings.scale = R{1};
    s.settings.inorm = 0;
    s.xstart = x;
    s.step = h;
    s.h = std::fabs(h);
    for (std::int32_t i = 0; i < neq; ++i)
      wk[static_cast<std::size_t>(9 * neq + i)] = std::fabs(y[static_cast<std::size_t>(i)]);
  }
  bool run(rkv::BasicRhsFunction<R> f) {
    f(neq, s.xstart, y.data(), wk.data());
    const rkv::ode::BasicNorm<R> norm{nullptr, &s.settings};
    return rkv::ode::verner_step(s, neq, rkv::ode::PlainRhsOf<R>{f}, norm, y.data(), wk.data());
  }
  R candidate(std::int32_t i) const { return wk[static_cast<std::size_t>(8 * neq + i)]; }
  R error_vector(std::int32_t i) const { return wk[static_cast<std::size_t>(neq + i)]; }
};

template <class R>
class VernerStep : public ::testing::Test {
 protected:
  // Rounding-level bounds scale with the format's spacing at 1.
  static double ulps(double n) {
    return n * static_cast<double>(std::numeric_limits<R>::epsilon());
  }
};
using RealTypes = ::testing::Types<float, double>;
TYPED_TEST_SUITE(VernerStep, RealTypes);

TYPED_TEST(VernerStep, ZeroDerivativeKeepsYAndHasNoError) {
  using R = TypeParam;
  Step<R> st({R{1.5}, R{-2}, R{0}}, R{3}, R{0.25});
  ASSERT_TRUE(st.run(Rhs<R>::zero));
  for (std::int32_t i = 0; i < 3; ++i)
    EXPECT_EQ(st.candidate(i), st.y[static_cast<std::size_t>(i)]);
  EXPECT_EQ(st.s.error, R{0});
  EXPECT_EQ(st.s.evaluations, 7);
  EXPECT_EQ(st.s.xstage, static_cast<R>(0.25 + 3.0));  // stage 8 at X + H
}

TYPED_TEST(VernerStep, ConstantDerivativeAdvancesByHTimesIt) {
  using R = TypeParam;
  for (R h : {R{0.125}, R{-0.5}, static_cast<R>(1.0e-3)}) {
    Step<R> st({R{1}}, R{0}, h);
    ASSERT_TRUE(st.run(Rhs<R>::three));
    const double exact = 1.0 + 3.0 * static_cast<double>(h);
    EXPECT_NEAR(st.candidate(0), exact, this->ulps(2)) << h;
    EXPECT_NEAR(st.error_vector(0), 0.0, this->ulps(1)) << h;
    EXPECT_LT(st.s.error, this->ulps(1));
  }
}

TYPED_TEST(VernerStep, IntegratesPolynomialsAndTheExponentialToSixthOrder) {
  using R = TypeParam;
  // y' = x: exact for polynomials, so only rounding remains.
  Step<R> poly({R{2}}, R{1}, R{0.5});
  ASSERT_TRUE(poly.run(Rhs<R>::x));
  EXPECT_NEAR(poly.candidate(0), 2.0 + (1.5 * 1.5 - 1.0) / 2, this->ulps(4));
  // y' = y over h: the local error is O(h^7) (about 1e-11 here), the error
  // estimate O(h^6).
  Step<R> ex({R{1}}, R{0}, static_cast<R>(0.1));
  ASSERT_TRUE(ex.run(Rhs<R>::grow));
  EXPECT_NEAR(ex.candidate(0), std::exp(static_cast<double>(static_cast<R>(0.1))),
              std::fmax(this->ulps(2), 1e-10));
  EXPECT_GT(ex.s.error, R{0});
  EXPECT_LT(ex.s.error, 1e-6);
}

TYPED_TEST(VernerStep, ErrorMeasureIsHTimesNormTimesScale) {
  using R = TypeParam;
  Step<R> st({R{1}}, R{0}, R{-0.75});
  st.s.settings.scale = R{3};
  ASSERT_TRUE(st.run(Rhs<R>::grow));
  const R expected = static_cast<R>(0.75 * static_cast<double>(st.s.enorm) * 3.0);
  EXPECT_EQ(st.s.error, expected);
  EXPECT_GT(st.s.enorm, R{0});
}

template <class R>
class StepControl : public ::testing::Test {};
TYPED_TEST_SUITE(StepControl, RealTypes);

TYPED_TEST(StepControl, ChoiceOfTheNextStep) {
  using R = TypeParam;
  using rkv::ode::choose_step;
  const R tol = R{1.0e-4};
  const R big = R{1.0e9};
  const double growth_limit = rkv::ode::RealFormat<R>::kGrowthLimit;
  struct Case {
    R e;
    std::int32_t rejections;
    double expected_factor;
    double tolerance;
  };
  const std::vector<Case> cases = {
      {R{0}, 0, 2.0, 0.0},
      {static_cast<R>(static_cast<double>(tol) / growth_limit), 0, 2.0, 1e-5},  // at the switch
      {tol / R{64}, 0, 1.8, 1e-5},
      {tol, 1, 0.9, 1e-6},
      {tol * R{64}, 1, 0.5, 0.0},  // 0.45 is raised to the smallest factor
      {R{0}, 2, 0.5, 0.0},         // two rejections: halved without E
      {tol * R{1e6}, 5, 0.5, 0.0},
      {std::numeric_limits<R>::quiet_NaN(), 1, 0.5, 0.0},
  };
  for (const Case& c : cases) {
    const R h = R{0.01};
    const R got = choose_step(h, c.e, tol, c.rejections, R{0}, big);
    EXPECT_NEAR(static_cast<double>(got / h), c.expected_factor, c.tolerance)
        << c.e << " " << c.rejections;
  }
  // Exactly at the switch the growth is 2h exactly.
  EXPECT_EQ(choose_step(R{0.25}, R{0}, tol, 0, R{0}, big), R{0.5});
  // Clamping: HMAX first, then HMIN, so HMIN wins a conflict.
  EXPECT_EQ(choose_step(R{0.25}, R{0}, tol, 0, R{0}, R{0.3}), R{0.3});
  EXPECT_EQ(choose_step(R{0.25}, R{0}, tol, 2, R{0.2}, R{1}), R{0.2});
  EXPECT_EQ(choose_step(R{0.25}, R{0}, tol, 0, R{0.7}, R{0.3}), R{0.7});
}

TYPED_TEST(StepControl, GeometryLandsOnXendAndCutsToHalfTheRemainder) {
  using R = TypeParam;
  struct Case {
    R x, xend, h;
    R xnew, step, used;
  };
  const std::vector<Case> cases = {
      {0, 1, R{0.25}, R{0.25}, R{0.25}, R{0.25}},  // short step: taken as it is
      {0, 1, R{0.75}, R{0.5}, R{0.5}, R{0.5}},     // between half and all: half
      {0, 1, 1, 1, 1, 1},                          // reaches XEND: lands on it
      {0, 1, 5, 1, 1, 1},
      {2, 1, R{0.75}, R{1.5}, R{-0.5}, R{0.5}},  // towards smaller x
      {2, 1, R{0.25}, R{1.75}, R{-0.25}, R{0.25}},
      {R{0.3}, R{0.3}, R{0.1}, R{0.3}, 0, 0},  // no distance: a step of 0
  };
  for (const Case& c : cases) {
    const auto g = rkv::ode::step_geometry(c.x, c.xend, c.h);
    EXPECT_EQ(g.xnew, c.xnew) << c.x << " " << c.xend << " " << c.h;
    EXPECT_EQ(g.step, c.step) << c.x << " " << c.xend << " " << c.h;
    EXPECT_EQ(g.h, c.used) << c.x << " " << c.xend << " " << c.h;
  }
  // The last step lands exactly, bit for bit, where the sum would not.
  const R x = R{0.1};
  const R xend = R{0.3};
  EXPECT_EQ(rkv::ode::step_geometry(x, xend, R{1}).xnew, xend);
}

// The lanes evaluate the choice without a power and the geometry in float,
// with maxima and minima as selects (step_control.hpp): every result must
// carry the bits of the scalar step's evaluation in double, for any floats,
// subnormal, infinite and NaN ones among them.
TEST(StepControlHelpers, ChoiceAndGeometryInFloatGiveTheBitsOfDouble) {
  using rkv::ode::clamped_step;
  using rkv::ode::doubled_or_halved;
  using rkv::ode::step_geometry;
  using Selects = rkv::ode::PickBySelects;  // as the lanes evaluate them
  const auto same = [](float got, float want) {
    return std::isnan(want)
               ? std::isnan(got)
               : std::bit_cast<std::uint32_t>(got) == std::bit_cast<std::uint32_t>(want);
  };
  std::mt19937 gen(20261210);
  // Any float half the time; otherwise one within a few units of the scale
  // of the case, so that steps meet half the distance, and sums round.
  std::uniform_int_distribution<std::uint32_t> bits;
  std::uniform_real_distribution<float> near(0.25f, 4.0f);
  const auto draw = [&](float scale) {
    const std::uint32_t r = bits(gen);
    return (r & 1u) != 0 ? std::bit_cast<float>(r) : scale * near(gen);
  };
  for (int i = 0; i < 200000; ++i) {
    const float scale = std::ldexp(1.0f, static_cast<int>(bits(gen) % 300u) - 150);
    const float h = std::fabs(draw(scale));
    const bool doubles = (i & 2) != 0;
    const float hnew = doubled_or_halved<float, Selects>(h, doubles);
    ASSERT_TRUE(same(hnew, doubled_or_halved(h, doubles))) << h << " " << doubles;
    const float hmin = std::fabs(draw(scale));
    const float hmax = std::fabs(draw(scale));
    const float r = clamped_step<float, Selects>(hnew, hmin, hmax);
    ASSERT_TRUE(same(r, clamped_step(hnew, hmin, hmax))) << hnew << " " << hmin << " " << hmax;
    const float x = draw(scale * 64.0f);
    const float xend = (i & 4) != 0 ? x + draw(scale) : draw(scale * 64.0f);
    if (!std::isfinite(x) || !std::isfinite(xend) || std::isnan(r)) continue;
    const auto got = step_geometry<float, Selects>(x, xend, r);
    const auto want = step_geometry(x, xend, r);
    ASSERT_TRUE(same(got.distance, want.distance) && same(got.xnew, want.xnew) &&
                same(got.step, want.step) && same(got.h, want.h))
        << x << " " << xend << " " << r;
  }
}

TYPED_TEST(StepControl, DefaultsAndTruncation) {
  using R = TypeParam;
  using rkv::ode::default_hmin;
  // The format's relative spacing and smallest normal number.
  const R eps = std::numeric_limits<R>::epsilon();
  const R tiny = std::numeric_limits<R>::min();
  const double deps = static_cast<double>(eps);
  EXPECT_EQ(default_hmin(R{0}, R{0.1}, eps, tiny),
            static_cast<R>(10.0 * deps * static_cast<double>(R{0.1})));
  EXPECT_EQ(default_hmin(R{-8}, R{2}, eps, tiny), static_cast<R>(80.0 * deps));
  EXPECT_EQ(default_hmin(R{0}, R{0}, eps, tiny), static_cast<R>(10.0 * static_cast<double>(tiny)));
  // First trial step: the initial step itself, or HMAX * TOL^(1/6).
  EXPECT_EQ(rkv::ode::initial_magnitude(R{0.3}, R{2}, R{1e-6}), R{0.15});
  EXPECT_EQ(rkv::ode::initial_magnitude(R{0}, R{2}, R{1e-6}),
            static_cast<R>(rkv::ode::RealFormat<R>::root6(static_cast<double>(R{1e-6}))));

  constexpr R kInf = std::numeric_limits<R>::infinity();
  struct Conv {
    R v;
    std::int32_t expected;
  };
  for (const Conv& c : std::vector<Conv>{{R{0.5}, 0},
                                         {R{1.9}, 1},
                                         {R{-2.7}, -2},
                                         {R{3.0e9}, 2147483647},
                                         {kInf, 2147483647},
                                         {-kInf, -2147483647 - 1},
                                         {std::numeric_limits<R>::quiet_NaN(), 0}}) {
    EXPECT_EQ(rkv::ode::truncate_to_int32(c.v), c.expected) << c.v;
  }
}

TEST(StepControlHelpers, SaturatingAdditions) {
  EXPECT_EQ(rkv::ode::saturating_add(2147483640, 8), 2147483647);
  for (const std::int32_t v : {-2147483647 - 1, -1, 0, 41, 2147483646, 2147483647}) {
    EXPECT_EQ(rkv::ode::count_one(v), rkv::ode::saturating_add(v, 1)) << v;
  }
}

TEST(StepControlHelpers, InlineMaximumAndMinimumAreTheLibrarysOnEveryOrderedPair) {
  // The step-size choice takes its maxima and minima inline; they must give
  // what std::fmax and std::fmin give, NaN operands included. Zeros of
  // opposite sign are left out: the library's choice between them differs
  // between processors, and the step sizes never meet them.
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> values = {-kInf, -2.5, -0x1p-1074, 0.0,  0x1p-1022,
                                      0.5,   0.5,  2.5,        kInf, kNaN};
  const auto same = [](double got, double want) {
    if (std::isnan(want)) return std::isnan(got);
    return std::bit_cast<std::uint64_t>(got) == std::bit_cast<std::uint64_t>(want);
  };
  for (const double a : values) {
    for (const double b : values) {
      EXPECT_TRUE(same(rkv::ode::larger(a, b), std::fmax(a, b))) << a << " " << b;
      EXPECT_TRUE(same(rkv::ode::smaller(a, b), std::fmin(a, b))) << a << " " << b;
    }
  }
  // The lanes' form as selects gives the same bits, NaN payloads included.
  std::vector<double> with_payloads = values;
  with_payloads.push_back(-std::bit_cast<double>(std::uint64_t{0x7FF8000000000123u}));
  const auto bits = [](double v) { return std::bit_cast<std::uint64_t>(v); };
  using Selects = rkv::ode::PickBySelects;
  for (const double a : with_payloads) {
    for (const double b : with_payloads) {
      EXPECT_EQ(bits(Selects::larger(a, b)), bits(rkv::ode::larger(a, b))) << a << " " << b;
      EXPECT_EQ(bits(Selects::smaller(a, b)), bits(rkv::ode::smaller(a, b))) << a << " " << b;
    }
  }
  EXPECT_EQ(rkv::ode::larger(kNaN, 1.0), 1.0);
  EXPECT_EQ(rkv::ode::smaller(1.0, kNaN), 1.0);
}

}  // namespace
