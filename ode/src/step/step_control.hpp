// Step-size control of the integrator: the choice of the next trial step,
// the geometry of a step towards XEND, the default HMIN and the first trial
// step, and the saturating integer conversions of the settings and counts.
//
// Every formula is evaluated in double from its single-precision operands
// and rounded to single precision once, where the algorithm stores it.
// Comparisons that store nothing are made in double. The maxima and minima
// ignore a NaN operand (std::fmax / std::fmin), so a NaN error measure or
// tolerance never turns into a NaN step size: the step is halved instead and
// the rejection path can end the integration.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace rkv::ode {

inline constexpr float kSafety = std::bit_cast<float>(0x3F666666u);       // 0.9
inline constexpr float kGrowthLimit = std::bit_cast<float>(0x42F0DAC9u);  // 120.427315
inline constexpr float kSixth = std::bit_cast<float>(0x3E2AAAABu);        // 1/6

// The point where 0.9 * (TOL/E)^(1/6) reaches 2 is E = TOL / 120.427315;
// below it the step is doubled without evaluating the power.
inline float choose_step(float h, float e, float tol, std::int32_t rejections, float hmin,
                         float hmax) {
  float hnew;
  if (rejections < 2) {
    float t;
    if (static_cast<double>(e) * static_cast<double>(kGrowthLimit) <= static_cast<double>(tol)) {
      t = static_cast<float>(2.0 * static_cast<double>(h));
    } else {
      t = static_cast<float>(
          std::pow(static_cast<double>(tol) / static_cast<double>(e), static_cast<double>(kSixth)) *
          static_cast<double>(kSafety) * static_cast<double>(h));
    }
    hnew = static_cast<float>(std::fmax(0.5 * static_cast<double>(h), static_cast<double>(t)));
  } else {
    // Two or more rejections in a row: halve without trusting E.
    hnew = static_cast<float>(0.5 * static_cast<double>(h));
  }
  // HMAX first, HMIN last: HMIN wins when the two conflict.
  float r = static_cast<float>(std::fmin(static_cast<double>(hnew), static_cast<double>(hmax)));
  r = static_cast<float>(std::fmax(static_cast<double>(r), static_cast<double>(hmin)));
  return r;
}

struct StepGeometry {
  float distance;  // D = XEND - X
  float xnew;      // end point of the attempt
  float step;      // signed step H = XNEW - X
  float h;         // magnitude used by the attempt
};

// A trial step shorter than the remaining distance but longer than half of
// it is cut to exactly half, so the last two steps of an interval are equal;
// a step that reaches or passes XEND lands on it exactly.
inline StepGeometry step_geometry(float x, float xend, float h) {
  StepGeometry g{};
  g.distance = static_cast<float>(static_cast<double>(xend) - static_cast<double>(x));
  const double ad = std::fabs(static_cast<double>(g.distance));
  if (static_cast<double>(h) < ad) {
    g.h = static_cast<float>(std::fmin(static_cast<double>(h), 0.5 * ad));
    g.xnew = g.distance >= 0.0f
                 ? static_cast<float>(static_cast<double>(x) + static_cast<double>(g.h))
                 : static_cast<float>(static_cast<double>(x) - static_cast<double>(g.h));
  } else {
    g.xnew = xend;
    g.h = static_cast<float>(ad);
  }
  g.step = static_cast<float>(static_cast<double>(g.xnew) - static_cast<double>(x));
  return g;
}

// 10 * max(eps * max(|X|, |XEND|), tiny): ten units of the spacing at the
// larger end of the interval, never below ten times the smallest normal.
inline float default_hmin(float x, float xend, float eps, float tiny) {
  const double m =
      std::fmax(std::fabs(static_cast<double>(x)), std::fabs(static_cast<double>(xend)));
  return static_cast<float>(10.0 *
                            std::fmax(static_cast<double>(eps) * m, static_cast<double>(tiny)));
}

// The magnitude before the first step-size choice. Since E = 0 then, that
// choice doubles it: the first trial step is the initial step, or
// HMAX * TOL^(1/6), before clamping.
inline float initial_magnitude(float initial_step, float hmax, float tol) {
  if (initial_step > 0.0f) return static_cast<float>(0.5 * static_cast<double>(initial_step));
  return static_cast<float>((0.5 * static_cast<double>(hmax)) *
                            std::pow(static_cast<double>(tol), static_cast<double>(kSixth)));
}

// Truncation towards zero, saturating at the int32 limits; NaN gives 0.
inline std::int32_t truncate_to_int32(float v) {
  const double d = static_cast<double>(v);
  if (std::isnan(d)) return 0;
  if (d >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (d <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(d);
}

// a + b for counts, saturating at the int32 limits.
inline std::int32_t saturating_add(std::int32_t a, std::int32_t b) {
  const std::int64_t s = static_cast<std::int64_t>(a) + static_cast<std::int64_t>(b);
  if (s > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (s < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(s);
}

}  // namespace rkv::ode
