// The step-size factor (TOL/E)^(1/6) of a block of lanes without a library
// call per lane where one is not needed, and never with other bits.
//
// The step-size choice rounds the power before the step depends on it: the
// float path stores (x^s * 0.9) * H as a float, the double path rounds x^s
// itself to float (step/real_format.hpp). Both roundings g(r) are monotone
// in r. So a value r known to lie within a relative 2^-34 of the library's
// pow(x, s) serves as well as the library's own, wherever g takes one value
// over that whole interval: then g(r) is g(pow(x, s)), bit for bit. The
// lanes approximate x^s in vector arithmetic (error below 2^-44, far inside
// the interval; the library's pow is within an ulp) and a lane asks the
// library only where the interval straddles a rounding boundary of g
// (about one call in a few hundred) or x lies outside [2^-1000, 2^7].
//
// Internal to the library.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "lanes/lane_step.hpp"
#include "step/real_format.hpp"
#include "step/step_control.hpp"

namespace rkv::ode::lanes {

// x^s = exp(s ln x) for normal x in [2^-1000, 2^7], each lane on its own,
// without comparisons or calls. ln x = k ln 2 + ln m with m in [0.75, 1.5)
// (ln m = 2 atanh((m-1)/(m+1)), the series to u^23, |u| <= 0.2), k ln 2 in
// two parts whose first is exact; exp(z) = 2^n exp(r), |r| <= ln2 / 2, by
// its Taylor polynomial to r^13. The error is dominated by the rounding of
// s ln x (|s ln x| < 116): a relative 2^-44 at most, 2^-52 for the
// arguments a step-size choice meets (x near 1).
template <int W>
RKV_ALWAYS_INLINE void approximate_power(const Vec<double, W>& x, double s, Vec<double, W>& out) {
  using Bits = typename VecOf<std::int64_t, W>::type;
  constexpr double kLn2Hi = std::bit_cast<double>(0x3FE62E42FEE00000ull);  // 32 bits of ln 2
  constexpr double kLn2Lo = std::bit_cast<double>(0x3DEA39EF35793C76ull);  // ln 2 - kLn2Hi
  constexpr double kInvLn2 = 1.4426950408889634;
  constexpr double kShifter = 6755399441055744.0;  // 1.5 * 2^52: rounds to an integer
  const Bits bits = reinterpret_cast<Bits>(x);
  const Bits offset = bits - static_cast<std::int64_t>(0x3FE8000000000000ll);  // bits of 0.75
  const Bits k = offset >> 52;
  const Vec<double, W> m = reinterpret_cast<Vec<double, W>>(bits - (k << 52));
  // k as a double through the shifter's bits (a conversion of 64-bit
  // integers is no instruction of AVX-512F or below).
  const Vec<double, W> kd =
      reinterpret_cast<Vec<double, W>>(k + std::bit_cast<std::int64_t>(kShifter)) - kShifter;
  const Vec<double, W> u = (m - 1.0) / (m + 1.0);
  const Vec<double, W> w = u * u;
  Vec<double, W> p = w * (1.0 / 23.0) + 1.0 / 21.0;
  for (int odd = 19; odd >= 1; odd -= 2) p = p * w + 1.0 / static_cast<double>(odd);
  const Vec<double, W> ln_m = 2.0 * u * p;
  const Vec<double, W> ln_x = kd * kLn2Hi + (kd * kLn2Lo + ln_m);
  const Vec<double, W> z = s * ln_x;
  const Vec<double, W> shifted = z * kInvLn2 + kShifter;
  const Vec<double, W> n = shifted - kShifter;
  const Vec<double, W> r = (z - n * kLn2Hi) - n * kLn2Lo;
  Vec<double, W> e = r * (1.0 / 6227020800.0) + 1.0 / 479001600.0;  // 1/13!, 1/12!
  double factorial = 479001600.0;
  for (int j = 11; j >= 0; --j) {
    factorial /= static_cast<double>(j + 1);
    e = e * r + 1.0 / factorial;
  }
  const Bits scale = (reinterpret_cast<Bits>(shifted) - std::bit_cast<std::int64_t>(kShifter))
                     << 52;
  out = reinterpret_cast<Vec<double, W>>(reinterpret_cast<Bits>(e) + scale);
}

// The exponent of the step-size factor as the format's root6 applies it.
template <class Real>
inline constexpr double kRootExponent = std::is_same_v<Real, float>
                                            ? static_cast<double>(RealFormat<float>::kSixthF)
                                            : 1.0 / 6.0;

// F::root6(q) of the lanes that take it (`takes`; 0 for the others) as
// choose_step uses it with the magnitudes h: the approximation where what
// the choice rounds (the float path (r * 0.9) * H, the double path r
// itself, each to float) takes one value over the whole interval r (1 -+
// 2^-34) and q lies in the approximation's range, the library's call
// otherwise.
template <class Real, int W>
RKV_ALWAYS_INLINE void lane_root6(const double (&q)[W], const Real (&h)[W],
                                  const std::int32_t (&takes)[W], double (&root)[W]) {
  constexpr double kBelow = 1.0 - 0x1p-34;
  constexpr double kAbove = 1.0 + 0x1p-34;
  Vec<double, W> qv;
  Vec<double, W> r;
  std::memcpy(&qv, q, sizeof qv);
  approximate_power<W>(qv, kRootExponent<Real>, r);
  Vec<double, W> lo = r * kBelow;
  Vec<double, W> hi = r * kAbove;
  Vec<double, W> value = r;
  if constexpr (std::is_same_v<Real, float>) {
    Vec<float, W> hf;
    std::memcpy(&hf, h, sizeof hf);
    const Vec<double, W> hd = __builtin_convertvector(hf, Vec<double, W>);
    lo = lo * RealFormat<float>::kSafety * hd;
    hi = hi * RealFormat<float>::kSafety * hd;
  } else {
    value = __builtin_convertvector(__builtin_convertvector(r, Vec<float, W>), Vec<double, W>);
  }
  const Vec<float, W> lo_f = __builtin_convertvector(lo, Vec<float, W>);
  const Vec<float, W> hi_f = __builtin_convertvector(hi, Vec<float, W>);
  float lo_a[W];
  float hi_a[W];
  double value_a[W];
  std::memcpy(lo_a, &lo_f, sizeof lo_a);
  std::memcpy(hi_a, &hi_f, sizeof hi_a);
  std::memcpy(value_a, &value, sizeof value_a);
  for (int l = 0; l < W; ++l) {
    const bool certain = q[l] >= 0x1p-1000 && q[l] <= 0x1p7 && lo_a[l] == hi_a[l];
    root[l] = takes[l] == 0 ? 0.0 : certain ? value_a[l] : RealFormat<Real>::root6(q[l]);
  }
}

}  // namespace rkv::ode::lanes
