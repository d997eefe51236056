// What the solver needs to know about the format of its stored reals.
//
// The solver stores its reals as `Real`, float or double, and evaluates every
// formula in double, rounding once where the result is stored: for float that
// is "compute in double, round once", for double the rounding is the
// identity and the arithmetic is plain double. What differs between the two
// is collected here, so that the algorithm itself is written once.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace rkv::ode {

template <class Real>
struct RealFormat;

template <>
struct RealFormat<float> {
  // Unsigned integer of the same width: non-negative floats are ordered as
  // their patterns are, and every NaN pattern (sign cleared) exceeds them.
  using Bits = std::uint32_t;
  static constexpr Bits kMagnitude = 0x7FFFFFFFu;
  static constexpr Bits kInfinity = 0x7F800000u;
  // The step-size constants as single-precision values, widened exactly.
  static constexpr float kSafetyF = std::bit_cast<float>(0x3F666666u);       // 0.9
  static constexpr float kGrowthLimitF = std::bit_cast<float>(0x42F0DAC9u);  // 120.427315
  static constexpr float kSixthF = std::bit_cast<float>(0x3E2AAAABu);        // 1/6
  static constexpr double kSafety = static_cast<double>(kSafetyF);
  static constexpr double kGrowthLimit = static_cast<double>(kGrowthLimitF);
  // x^(1/6) in double; the result is rounded to float where it is stored.
  static double root6(double x) { return std::pow(x, static_cast<double>(kSixthF)); }
};

template <>
struct RealFormat<double> {
  using Bits = std::uint64_t;
  static constexpr Bits kMagnitude = 0x7FFFFFFFFFFFFFFFu;
  static constexpr Bits kInfinity = 0x7FF0000000000000u;
  static constexpr double kSafety = 0.9;
  // (2 / 0.9)^6 = 64000000 / 531441: where 0.9 * (TOL/E)^(1/6) reaches 2.
  static constexpr double kGrowthLimit = 64000000.0 / 531441.0;
  // x^(1/6), rounded to float. The libraries' pow is not correctly rounded
  // and differs between its variants (with and without FMA, x86-64 and
  // aarch64) in the last bit now and then; the step-size factor needs no
  // more than single precision, and rounding it there makes a difference
  // surface only when pow's result lies within an ulp of a float rounding
  // boundary, as in the float path, whose factor is rounded the same way.
  static double root6(double x) {
    return static_cast<double>(static_cast<float>(std::pow(x, 1.0 / 6.0)));
  }
};

}  // namespace rkv::ode
