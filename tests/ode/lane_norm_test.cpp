// The lanes' relative maximum norm against the scalar scan, bit for bit:
// with one division per lane where the order of the quotients is certain,
// and with the division of every element where it is not (ties, zeros,
// infinities, NaNs with their payloads, products that overflow or vanish).
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "lanes/lane_norm.hpp"
#include "step/relative_max.hpp"

namespace {

using rkv::ode::LaneBlockState;
using rkv::ode::RealFormat;

constexpr int kW = rkv::kLaneWidths[0];

template <class Real>
class LaneNorm : public ::testing::Test {};
using RealTypes = ::testing::Types<float, double>;
TYPED_TEST_SUITE(LaneNorm, RealTypes);

// Values that put the order of two quotients in doubt or in danger; the
// NaNs (a payload and a sign apart) last.
template <class Real>
std::vector<Real> specials() {
  using L = std::numeric_limits<Real>;
  using Bits = typename RealFormat<Real>::Bits;
  const Real other_nan = std::bit_cast<Real>(std::bit_cast<Bits>(-L::quiet_NaN()) | Bits{1});
  return {Real{0},        -Real{0},  L::denorm_min(), L::min(),
          L::epsilon(),   Real{1},   Real{3},         std::nextafter(Real{1}, Real{2}),
          L::max(),       -L::max(), L::infinity(),   -L::infinity(),
          L::quiet_NaN(), other_nan};
}

enum class Mix { kOrdinary, kNoNaN, kAll };

// One element: log-uniform, or (beyond the ordinary mix) a special value,
// or an earlier value of the lane doubled or moved to its neighbour, which
// makes exact and near ties of two quotients.
template <class Real>
Real draw(std::mt19937_64& gen, Mix mix, const std::vector<Real>& earlier) {
  const std::vector<Real> pool = specials<Real>();
  const std::size_t usable = mix == Mix::kAll ? pool.size() : pool.size() - 2;
  std::uniform_real_distribution<double> exponent(-30.0, 30.0);
  const unsigned k = static_cast<unsigned>(gen() % 8);
  if (mix != Mix::kOrdinary && k == 0) return pool[gen() % usable];
  if (mix != Mix::kOrdinary && k <= 2 && !earlier.empty()) {
    const Real e = earlier[gen() % earlier.size()];
    return k == 1 ? e * Real{2} : std::nextafter(e, std::numeric_limits<Real>::infinity());
  }
  const Real m = static_cast<Real>(std::exp2(exponent(gen)));
  return gen() % 2 == 0 ? m : -m;
}

template <class Real>
void fill(LaneBlockState<Real, kW>& b, std::mt19937_64& gen, Mix mix) {
  for (int l = 0; l < kW; ++l) {
    const unsigned pick = static_cast<unsigned>(gen() % 4);
    b.bound[l] = pick == 0   ? std::numeric_limits<Real>::denorm_min()
                 : pick == 1 ? static_cast<Real>(1e-6)
                             : Real{1};
    std::vector<Real> earlier;
    for (std::int32_t i = 0; i < b.neq; ++i) {
      b.k[2][i].v[l] = draw(gen, mix, earlier);
      earlier.push_back(b.k[2][i].v[l]);
      b.y[i].v[l] = draw(gen, mix, earlier);
      earlier.push_back(b.y[i].v[l]);
    }
  }
}

template <class Real>
typename RealFormat<Real>::Bits bits(Real r) {
  return std::bit_cast<typename RealFormat<Real>::Bits>(r);
}

TYPED_TEST(LaneNorm, EveryLaneIsTheScalarScansBits) {
  using Real = TypeParam;
  std::mt19937_64 gen(20261211);
  int certain = 0;
  int doubtful = 0;
  for (const std::int32_t neq : {1, 2, 3, 8}) {
    LaneBlockState<Real, kW> b(neq, 0);
    for (int trial = 0; trial < 3000; ++trial) {
      const Mix mix = static_cast<Mix>(trial % 3);
      fill(b, gen, mix);
      Real one_division[kW];
      Real every_division[kW];
      const bool found = rkv::ode::lanes::largest_quotient(b, b.bound, one_division);
      rkv::ode::lanes::relative_max(b, b.bound, every_division);
      (found ? certain : doubtful) += 1;
      for (int l = 0; l < kW; ++l) {
        std::vector<Real> v;
        std::vector<Real> y;
        for (std::int32_t i = 0; i < neq; ++i) {
          v.push_back(b.k[2][i].v[l]);
          y.push_back(b.y[i].v[l]);
        }
        const Real scalar = rkv::ode::relative_max_loop(neq, v.data(), y.data(), b.bound[l]);
        ASSERT_EQ(bits(every_division[l]), bits(scalar)) << "neq " << neq << " lane " << l;
        if (found) {
          ASSERT_EQ(bits(one_division[l]), bits(scalar)) << "neq " << neq << " lane " << l;
        }
      }
    }
  }
  // Both ways are taken often enough to mean something.
  EXPECT_GT(certain, 2000);
  EXPECT_GT(doubtful, 2000);
}

}  // namespace
