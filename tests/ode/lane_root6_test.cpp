// The lanes' step-size power: the vector approximation of x^s stays within
// its bound of the library's pow, and the step-size choice fed with the
// certified power gives the library's bits for every argument, float and
// double, including the ones outside the fast path's range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <type_traits>
#include <vector>

#include "lanes/lane_root6.hpp"
#include "step/step_control.hpp"

namespace {

using rkv::ode::choose_step;
using rkv::ode::lanes::approximate_power;
using rkv::ode::lanes::kRootExponent;
using rkv::ode::lanes::lane_root6;
using rkv::ode::lanes::Vec;

constexpr int kW = 4;

// The power of each x, four at a time as a block of the baseline does it.
std::vector<double> powers(const std::vector<double>& x, double s) {
  std::vector<double> r(x.size());
  for (std::size_t i = 0; i + kW <= x.size(); i += kW) {
    Vec<double, kW> q;
    Vec<double, kW> out;
    std::memcpy(&q, &x[i], sizeof q);
    approximate_power<kW>(q, s, out);
    std::memcpy(&r[i], &out, sizeof out);
  }
  return r;
}

// Log-uniform over the fast path's range, with the region the controller
// meets most (TOL/E between 1e-3 and 120) drawn as often as the rest.
std::vector<double> arguments(std::size_t n) {
  std::mt19937_64 gen(20261210);
  std::uniform_real_distribution<double> wide(-1000.0, 7.0);
  std::uniform_real_distribution<double> near(-10.0, 6.9);
  std::vector<double> x(n);
  for (std::size_t i = 0; i < n; ++i) x[i] = std::exp2(i % 2 == 0 ? wide(gen) : near(gen));
  x[0] = 0x1p-1000;
  x[1] = 0x1p7;
  x[2] = 1.0;
  x[3] = std::nextafter(1.0, 0.0);
  return x;
}

TEST(LaneRoot6Test, ApproximationIsWithinItsBoundOfTheLibrary) {
  const std::vector<double> x = arguments(1 << 18);
  for (const double s : {kRootExponent<float>, kRootExponent<double>}) {
    const std::vector<double> r = powers(x, s);
    double worst = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
      worst = std::fmax(worst, std::fabs(r[i] / std::pow(x[i], s) - 1.0));
    }
    EXPECT_LT(worst, 0x1p-42) << "s = " << s;
  }
}

// F::root6 of each q as a block of the baseline gives it for the
// magnitudes h, every lane taking the power.
template <class Real>
std::vector<double> lane_roots(const std::vector<double>& q, const std::vector<Real>& h) {
  std::vector<double> root(q.size());
  const std::int32_t takes[kW] = {1, 1, 1, 1};
  for (std::size_t i = 0; i + kW <= q.size(); i += kW) {
    double qs[kW];
    Real hs[kW];
    double out[kW];
    std::copy_n(&q[i], kW, qs);
    std::copy_n(&h[i], kW, hs);
    lane_root6<Real, kW>(qs, hs, takes, out);
    std::copy_n(out, kW, &root[i]);
  }
  return root;
}

template <class Real>
void expect_library_bits(const std::vector<double>& x, const std::vector<Real>& h) {
  const Real tol = static_cast<Real>(1e-6);
  const Real big = std::numeric_limits<Real>::max();
  // E such that TOL/E is about x (the choice forms the quotient again).
  std::vector<Real> e(x.size());
  std::vector<double> q(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    e[i] = static_cast<Real>(static_cast<double>(tol) / x[i]);
    q[i] = static_cast<double>(tol) / static_cast<double>(e[i]);
  }
  const std::vector<double> root = lane_roots(q, h);
  for (std::size_t i = 0; i < x.size(); ++i) {
    const auto lanes = [&](double) { return root[i]; };
    const Real want = choose_step(h[i], e[i], tol, 0, Real{0}, big);
    const Real got = choose_step(h[i], e[i], tol, 0, Real{0}, big, lanes);
    ASSERT_EQ(std::memcmp(&want, &got, sizeof want), 0) << "x = " << q[i] << ", h = " << h[i];
  }
}

// Arguments whose power, as the step-size choice rounds it, lies next to a
// rounding boundary of float (h = 1): there the approximation and the
// library's pow often fall on different sides, and only the certificate
// keeps the bits.
template <class Real>
std::vector<double> boundary_arguments(std::size_t n) {
  std::mt19937_64 gen(1210);
  std::uniform_real_distribution<float> f(0.5f, 1.8f);
  std::vector<double> x(n);
  for (double& v : x) {
    const float lo = f(gen);
    const double mid =
        0.5 * (static_cast<double>(lo) + static_cast<double>(std::nextafter(lo, 2.0f)));
    const double r = std::is_same_v<Real, float> ? mid / rkv::ode::RealFormat<float>::kSafety : mid;
    v = std::pow(r, 1.0 / kRootExponent<Real>);
  }
  return x;
}

TEST(LaneRoot6Test, NextToARoundingBoundaryTheBitsAreTheLibrarys) {
  const std::vector<double> xf = boundary_arguments<float>(1 << 15);
  const std::vector<double> xd = boundary_arguments<double>(1 << 15);
  expect_library_bits<float>(xf, std::vector<float>(xf.size(), 1.0f));
  expect_library_bits<double>(xd, std::vector<double>(xd.size(), 1.0));
}

TEST(LaneRoot6Test, StepChoiceHasTheLibrarysBits) {
  const std::vector<double> x = arguments(1 << 17);
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> scale(-30.0, 3.0);
  std::vector<float> hf(x.size());
  std::vector<double> hd(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    hd[i] = std::exp2(scale(gen));
    hf[i] = static_cast<float>(hd[i]);
  }
  expect_library_bits<float>(x, hf);
  expect_library_bits<double>(x, hd);
}

// Outside [2^-1000, 2^7] the library is asked; a lane that does not take
// the power gets 0.
TEST(LaneRoot6Test, OutsideTheRangeTheLibraryIsAsked) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<double> q{0.0, 0x1p-1060, 0x1p-1001, 0x1p7 * 1.5, inf, nan, 2.0, 0.5};
  const std::vector<float> h(q.size(), 1.0f);
  const std::vector<double> root = lane_roots(q, h);
  for (std::size_t i = 0; i < q.size(); ++i) {
    const double want = rkv::ode::RealFormat<float>::root6(q[i]);
    EXPECT_EQ(std::memcmp(&want, &root[i], sizeof want), 0) << q[i];
  }
  const double qs[kW] = {2.0, 2.0, 2.0, 2.0};
  const float hs[kW] = {1.0f, 1.0f, 1.0f, 1.0f};
  const std::int32_t takes[kW] = {1, 0, 1, 0};
  double out[kW];
  lane_root6<float, kW>(qs, hs, takes, out);
  EXPECT_EQ(out[1], 0.0);
  EXPECT_EQ(out[3], 0.0);
  EXPECT_EQ(out[0], out[2]);
}

}  // namespace
