// Step-size control of the integrator: the choice of the next trial step,
// the geometry of a step towards XEND, the default HMIN and the first trial
// step, and the saturating integer conversions of the settings and counts.
//
// Every formula is evaluated in double from its stored operands and rounded
// to the storage type once, where the algorithm stores it (the identity for
// double); the format's own constants are in real_format.hpp.
// Comparisons that store nothing are made in double. The maxima and minima
// ignore a NaN operand (as std::fmax and std::fmin), so a NaN error measure or
// tolerance never turns into a NaN step size: the step is halved instead and
// the rejection path can end the integration.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "step/real_format.hpp"

namespace rkv::ode {

// The constants of the step-size choice as the float path stores them.
inline constexpr float kSafety = RealFormat<float>::kSafetyF;            // 0.9
inline constexpr float kGrowthLimit = RealFormat<float>::kGrowthLimitF;  // 120.427315
inline constexpr float kSixth = RealFormat<float>::kSixthF;              // 1/6

// The larger and the smaller of a and b as std::fmax and std::fmin give them
// (a NaN operand is ignored), but inline: the library's functions are calls,
// several per step. Of two equal values the second is returned, as on
// x86-64; that differs from other processors' library only for zeros of
// opposite sign, which the step sizes never are.
template <class T>
inline T larger(T a, T b) {
  if (b != b) return a;  // a as well when both are NaN
  if (a != a) return b;
  return a > b ? a : b;
}

template <class T>
inline T smaller(T a, T b) {
  if (b != b) return a;
  if (a != a) return b;
  return a < b ? a : b;
}

// Where the routines below take their maxima and minima: `larger` and
// `smaller` above, whose early returns suit one step at a time, or the
// same functions written as two selects, for loops over the ensemble's
// lanes: there each becomes one maximum or minimum and one blend per
// register, where the early returns become several masks and blends.
// The scalar step keeps the returns; as selects it was measured slower.
struct PickByBranches {
  template <class T>
  static T larger(T a, T b) {
    return rkv::ode::larger(a, b);
  }
  template <class T>
  static T smaller(T a, T b) {
    return rkv::ode::smaller(a, b);
  }
};
struct PickBySelects {
  template <class T>
  static T larger(T a, T b) {
    const T r = a > b ? a : b;  // b where either is NaN
    return b != b ? a : r;
  }
  template <class T>
  static T smaller(T a, T b) {
    const T r = a < b ? a : b;
    return b != b ? a : r;
  }
};

// The routines below that take `Calc` evaluate their formulas in it:
// double by the rule, or the storage type itself, which gives the same
// bits (the ensemble's lanes use it: twice the lanes to a register, no
// conversions). For float, each of these formulas is
// - a comparison, or a maximum or minimum of floats: exact in either type;
// - one operation on floats: evaluated in double and rounded, it is the
//   correctly rounded float result (53 >= 2 * 24 + 2), as in float;
// - a halving or doubling, then the maximum or minimum with a float:
//   rounding is monotone, so rounding the exact value first selects the
//   same float.

// The choice of a step that forms no power: twice H where E is small
// enough to double it, half of H after two or more rejections in a row
// (without trusting E).
template <class Calc = double, class Pick = PickByBranches, class Real>
inline Real doubled_or_halved(Real h, bool doubles) {
  const Calc half = Calc{0.5} * static_cast<Calc>(h);
  if (!doubles) return static_cast<Real>(half);
  const Real t = static_cast<Real>(Calc{2} * static_cast<Calc>(h));
  return static_cast<Real>(Pick::larger(half, static_cast<Calc>(t)));
}

// HMAX first, HMIN last: HMIN wins when the two conflict.
template <class Calc = double, class Pick = PickByBranches, class Real>
inline Real clamped_step(Real hnew, Real hmin, Real hmax) {
  const Real r = static_cast<Real>(Pick::smaller(static_cast<Calc>(hnew), static_cast<Calc>(hmax)));
  return static_cast<Real>(Pick::larger(static_cast<Calc>(r), static_cast<Calc>(hmin)));
}

// Whether the choice forms the power: fewer than two rejections in a row,
// and E not at or below TOL / 120.427315, where 0.9 * (TOL/E)^(1/6) reaches
// 2 (there the step is doubled without the power). The ensemble's lanes
// ask it to know which lanes need a power at all.
template <class Real>
inline bool takes_power(Real e, Real tol, std::int32_t rejections) {
  const bool doubles =
      static_cast<double>(e) * RealFormat<Real>::kGrowthLimit <= static_cast<double>(tol);
  return rejections < 2 && !doubles;
}

// `root6` is the format's own (RealFormat<Real>::root6) or a callable that
// returns its bits.
template <class Pick = PickByBranches, class Real, class Root6>
inline Real choose_step(Real h, Real e, Real tol, std::int32_t rejections, Real hmin, Real hmax,
                        Root6 root6) {
  using F = RealFormat<Real>;
  Real hnew;
  if (takes_power(e, tol, rejections)) {
    const Real t = static_cast<Real>(root6(static_cast<double>(tol) / static_cast<double>(e)) *
                                     F::kSafety * static_cast<double>(h));
    hnew = static_cast<Real>(Pick::larger(0.5 * static_cast<double>(h), static_cast<double>(t)));
  } else {
    hnew = doubled_or_halved<double, Pick>(h, rejections < 2);
  }
  return clamped_step<double, Pick>(hnew, hmin, hmax);
}

template <class Real>
inline Real choose_step(Real h, Real e, Real tol, std::int32_t rejections, Real hmin, Real hmax) {
  return choose_step(h, e, tol, rejections, hmin, hmax, RealFormat<Real>::root6);
}

template <class Real>
struct StepGeometry {
  Real distance;  // D = XEND - X
  Real xnew;      // end point of the attempt
  Real step;      // signed step H = XNEW - X
  Real h;         // magnitude used by the attempt
};

// A trial step shorter than the remaining distance but longer than half of
// it is cut to exactly half, so the last two steps of an interval are equal;
// a step that reaches or passes XEND lands on it exactly.
template <class Calc = double, class Pick = PickByBranches, class Real>
inline StepGeometry<Real> step_geometry(Real x, Real xend, Real h) {
  StepGeometry<Real> g{};
  g.distance = static_cast<Real>(static_cast<Calc>(xend) - static_cast<Calc>(x));
  const Calc ad = std::fabs(static_cast<Calc>(g.distance));
  if (static_cast<Calc>(h) < ad) {
    g.h = static_cast<Real>(Pick::smaller(static_cast<Calc>(h), Calc{0.5} * ad));
    g.xnew = g.distance >= Real{0}
                 ? static_cast<Real>(static_cast<Calc>(x) + static_cast<Calc>(g.h))
                 : static_cast<Real>(static_cast<Calc>(x) - static_cast<Calc>(g.h));
  } else {
    g.xnew = xend;
    g.h = static_cast<Real>(ad);
  }
  g.step = static_cast<Real>(static_cast<Calc>(g.xnew) - static_cast<Calc>(x));
  return g;
}

// 10 * max(eps * max(|X|, |XEND|), tiny): ten units of the spacing at the
// larger end of the interval, never below ten times the smallest normal.
template <class Real>
inline Real default_hmin(Real x, Real xend, Real eps, Real tiny) {
  const double m =
      std::fmax(std::fabs(static_cast<double>(x)), std::fabs(static_cast<double>(xend)));
  return static_cast<Real>(10.0 *
                           std::fmax(static_cast<double>(eps) * m, static_cast<double>(tiny)));
}

// The magnitude before the first step-size choice. Since E = 0 then, that
// choice doubles it: the first trial step is the initial step, or
// HMAX * TOL^(1/6), before clamping.
template <class Real>
inline Real initial_magnitude(Real initial_step, Real hmax, Real tol) {
  if (initial_step > Real{0}) return static_cast<Real>(0.5 * static_cast<double>(initial_step));
  return static_cast<Real>((0.5 * static_cast<double>(hmax)) *
                           RealFormat<Real>::root6(static_cast<double>(tol)));
}

// Truncation towards zero, saturating at the int32 limits; NaN gives 0.
// Exact for both formats: every float and double in the open interval
// (-2^31 - 1, 2^31 - 1) truncates to an int32.
template <class Real>
inline std::int32_t truncate_to_int32(Real v) {
  const double d = static_cast<double>(v);
  if (std::isnan(d)) return 0;
  if (d >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (d <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(d);
}

// v + 1 for a count, saturating at the int32 maximum: saturating_add(v, 1)
// for the counts taken once per evaluation.
inline std::int32_t count_one(std::int32_t v) {
  return v < std::numeric_limits<std::int32_t>::max() ? v + 1 : v;
}

// a + b for counts, saturating at the int32 limits.
inline std::int32_t saturating_add(std::int32_t a, std::int32_t b) {
  const std::int64_t s = static_cast<std::int64_t>(a) + static_cast<std::int64_t>(b);
  if (s > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (s < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(s);
}

}  // namespace rkv::ode
