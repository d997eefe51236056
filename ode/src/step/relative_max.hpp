// The relative maximum norm max_i |v_i| / max(|y_i|, bound) of INORM 0 and
// 2, element by element, so that it can run on its own (the norm routine)
// or within the pass that forms the error vector (the step). Internal to
// the library.
//
// Written so that it vectorises: the divisor is chosen by a comparison with
// the bound, which gives the bound for a NaN |y_i| as fmax does, and equal
// values are the same number either way. Every quotient is non-negative or
// NaN, and non-negative reals are ordered as their bit patterns are, so the
// maximum is taken on the patterns with the sign bit cleared: that makes
// every NaN pattern exceed every number's. With the sign bit clear the
// patterns compare alike as signed integers, and the running maximum is kept
// as one (MaxBits): AVX2 compares 64-bit integers signed only, and a double
// run would pay for an unsigned comparison's emulation in every vector. The
// element-by-element update would have stopped at the first NaN and
// returned it, so when the maximum is a NaN the scan is repeated to return
// that same NaN, bit for bit.
// The bound is never NaN (1.0, or a PARAM(11) entry above 0).
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "step/isa.hpp"
#include "step/real_format.hpp"

namespace rkv::ode {

// The first NaN quotient of the scan, as the element-by-element update
// meets it; +0 when there is none.
template <class Real>
Real first_nan_quotient(std::int32_t neq, const Real* v, const Real* y, Real bound) {
  for (std::int32_t i = 0; i < neq; ++i) {
    const Real q = static_cast<Real>(
        std::fabs(static_cast<double>(v[i])) /
        std::fmax(std::fabs(static_cast<double>(y[i])), static_cast<double>(bound)));
    if (std::isnan(q)) return q;
  }
  return Real{0};
}

// A magnitude's bit pattern (sign bit clear) as a signed integer.
template <class Real>
using MaxBits = std::make_signed_t<typename RealFormat<Real>::Bits>;

// The running maximum `top` (bit pattern, starting at +0) updated with the
// quotient of element v_i, y_i; `dbound` is the bound widened.
template <class Real>
RKV_ALWAYS_INLINE MaxBits<Real> relative_max_update(MaxBits<Real> top, Real v, Real y, Real bound,
                                                    double dbound) {
  using Bits = typename RealFormat<Real>::Bits;
  const Real ay = std::fabs(y);
  const double divisor = ay > bound ? static_cast<double>(ay) : dbound;
  const Real q = static_cast<Real>(std::fabs(static_cast<double>(v)) / divisor);
  const auto qb = static_cast<MaxBits<Real>>(std::bit_cast<Bits>(q) & RealFormat<Real>::kMagnitude);
  return qb > top ? qb : top;
}

// The norm from the maximum of the whole scan over v and y.
template <class Real>
Real relative_max_result(MaxBits<Real> top, std::int32_t neq, const Real* v, const Real* y,
                         Real bound) {
  if (top > static_cast<MaxBits<Real>>(RealFormat<Real>::kInfinity)) {
    return first_nan_quotient(neq, v, y, bound);
  }
  return std::bit_cast<Real>(top);
}

// The whole norm in one scan; compiled into each vector instruction set's
// variant of its caller (isa.hpp).
template <class Real>
RKV_ALWAYS_INLINE Real relative_max_loop(std::int32_t neq, const Real* v, const Real* y,
                                         Real bound) {
  const double dbound = static_cast<double>(bound);
  MaxBits<Real> top = 0;  // pattern of +0, where the update starts
  for (std::int32_t i = 0; i < neq; ++i) top = relative_max_update(top, v[i], y[i], bound, dbound);
  return relative_max_result(top, neq, v, y, bound);
}

}  // namespace rkv::ode
