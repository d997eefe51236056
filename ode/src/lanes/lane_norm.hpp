// The error norms of a block of lanes under each member's INORM: per lane
// the bits of the scalar norm (step/norm.cpp, step/relative_max.hpp). The
// relative maximum runs over register-wide slices (lane_step.hpp); the
// other norms, rare in ensembles, lane by lane. Internal to the library.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "lanes/lane_block.hpp"
#include "lanes/lane_step.hpp"
#include "step/isa.hpp"
#include "step/real_format.hpp"

namespace rkv::ode::lanes {

// The first NaN quotient of lane l's relative maximum, as the scalar scan
// meets it (only asked for when there is one).
template <class Real, int W>
Real first_nan_quotient(const LaneBlockState<Real, W>& b, int l, Real bound) {
  for (std::int32_t i = 0; i < b.neq; ++i) {
    const Real q = static_cast<Real>(
        std::fabs(static_cast<double>(b.k[2][i].v[l])) /
        std::fmax(std::fabs(static_cast<double>(b.y[i].v[l])), static_cast<double>(bound)));
    if (std::isnan(q)) return q;
  }
  return Real{0};
}

// Slice c of row i: |v_i| (the error vector, over k2) and the divisor
// max(|y_i|, bound), which is the bound where |y_i| is NaN, as fmax gives.
template <class Real, int W>
RKV_ALWAYS_INLINE void quotient_operands(const LaneBlockState<Real, W>& b, std::size_t i, int c,
                                         const Slice<Real, W>& bound, Slice<Real, W>& v,
                                         Slice<Real, W>& divisor) {
  load_slice<Real, W>(b.k[2][i].v, c, v);
  load_slice<Real, W>(b.y[i].v, c, divisor);
  magnitude<Real, kSliceWidth<Real, W>>(v, v);
  magnitude<Real, kSliceWidth<Real, W>>(divisor, divisor);
  divisor = divisor > bound ? divisor : bound;
}

// INORM 0 and 2 with one division per lane. Rounding is monotonic, so the
// largest rounded quotient is the rounded quotient of the element whose
// exact quotient is largest, and that element is found without dividing:
// |v_i| / d_i exceeds |v_b| / d_b exactly when |v_i| d_b exceeds |v_b| d_i,
// and a rounded product above another says the exact one is above too.
// Where two products round to the same value (or one is NaN) the order is
// in doubt, and where the chosen quotient is NaN the scan must find the
// first NaN: in either case the function returns false and the caller
// divides every element (relative_max). An element with |v_i| = 0 has
// quotient +0, never above the best, and is passed over without a doubt.
// Every divisor is at least the bound, which is above 0.
template <class Real, int W>
RKV_ALWAYS_INLINE bool largest_quotient(const LaneBlockState<Real, W>& b, const Real (&bound)[W],
                                        Real (&enorm)[W]) {
  using S = Slice<Real, W>;
  constexpr int kS = kSlices<Real, W>;
  const S zero = {};
  const S one = zero + Real{1};
  S doubt[kS] = {};  // 1 in a lane whose order or quotient is in doubt
  const std::size_t n = static_cast<std::size_t>(b.neq);
  for (int c = 0; c < kS; ++c) {
    S br;
    load_slice<Real, W>(bound, c, br);
    S best;  // |v| and divisor of the largest quotient so far
    S best_d;
    quotient_operands(b, 0, c, br, best, best_d);
    for (std::size_t i = 1; i < n; ++i) {
      S v;
      S d;
      quotient_operands(b, i, c, br, v, d);
      const S p = v * best_d;  // |v_i| / d_i against |v_b| / d_b
      const S q = best * d;
      S apart;  // |p - q|, 0 or NaN where the order is in doubt
      magnitude<Real, kSliceWidth<Real, W>>(p - q, apart);
      apart = v == zero ? one : apart;
      doubt[c] = apart > zero ? doubt[c] : one;
      best = p > q ? v : best;
      best_d = p > q ? d : best_d;
    }
    const S top = best / best_d;
    doubt[c] = top == top ? doubt[c] : one;
    store_slice<Real, W>(top, c, enorm);
  }
  S any = zero;
  for (int c = 0; c < kS; ++c) any = doubt[c] > any ? doubt[c] : any;
  Real flags[kSliceWidth<Real, W>];
  store_slice<Real, W>(any, 0, flags);
  Real most = Real{0};
  for (const Real f : flags) most = f > most ? f : most;
  return most == Real{0};
}

// INORM 0 and 2: max_i |v_i| / max(|y_i|, bound) as relative_max_update
// forms each quotient. The quotient is divided in the storage type: the
// update divides the widened operands in double and rounds to the storage
// type, and double has more than twice float's precision plus two bits,
// so that double rounding of a quotient of two floats is the correctly
// rounded float quotient itself. Every quotient is non-negative or NaN:
// the maximum of the numbers is taken by comparison, and a NaN sends the
// lane to the scalar scan for the NaN the element-by-element update
// returns.
template <class Real, int W>
RKV_ALWAYS_INLINE void relative_max(LaneBlockState<Real, W>& b, const Real (&bound)[W],
                                    Real (&enorm)[W]) {
  using S = Slice<Real, W>;
  constexpr int kS = kSlices<Real, W>;
  S br[kS];
  S top[kS] = {};
  S seen[kS] = {};  // a NaN quotient where the lane met one
  for (int c = 0; c < kS; ++c) load_slice<Real, W>(bound, c, br[c]);
  const std::size_t n = static_cast<std::size_t>(b.neq);
  for (std::size_t i = 0; i < n; ++i) {
    for (int c = 0; c < kS; ++c) {
      S v;
      S divisor;
      quotient_operands(b, i, c, br[c], v, divisor);
      const S q = v / divisor;
      top[c] = q > top[c] ? q : top[c];
      seen[c] = q != q ? q : seen[c];
    }
  }
  Real t[W];
  Real nan[W];
  for (int c = 0; c < kS; ++c) {
    store_slice<Real, W>(top[c], c, t);
    store_slice<Real, W>(seen[c], c, nan);
  }
  // seen is +0 (all bits clear) in a lane that met no NaN.
  typename RealFormat<Real>::Bits raw[W];
  std::memcpy(raw, nan, sizeof raw);
  std::int32_t any = 0;
  for (int l = 0; l < W; ++l) any |= raw[l] != 0 ? 1 : 0;
  std::memcpy(enorm, t, sizeof t);
  if (any == 0) return;
  for (int l = 0; l < W; ++l) {
    if (nan[l] != nan[l]) enorm[l] = first_nan_quotient(b, l, bound[l]);
  }
}

// INORM 1: max_i |v_i|, NaN when any v_i is.
template <class Real, int W>
void absolute_max(const LaneBlockState<Real, W>& b, int l, Real& enorm) {
  Real top{0};
  for (std::int32_t i = 0; i < b.neq; ++i) {
    const Real v = b.k[2][i].v[l];
    if (std::isnan(v)) {
      enorm = std::numeric_limits<Real>::quiet_NaN();
      return;
    }
    const Real a = std::fabs(v);
    if (a > top) top = a;
  }
  enorm = top;
}

// INORM 3: sqrt(sum_i (v_i / max(|w_i|, 1))^2), summed in order.
template <class Real, int W>
void euclidean(const LaneBlockState<Real, W>& b, int l, Real& enorm) {
  Real e{0};
  for (std::int32_t i = 0; i < b.neq; ++i) {
    const Real r =
        static_cast<Real>(static_cast<double>(b.k[2][i].v[l]) /
                          std::fmax(std::fabs(static_cast<double>(b.wmax[i].v[l])), 1.0));
    e = static_cast<Real>(static_cast<double>(e) + static_cast<double>(r) * static_cast<double>(r));
  }
  enorm = static_cast<Real>(std::sqrt(static_cast<double>(e)));
}

// Each attempting lane's error norm under its member's INORM.
template <class Real, int W>
RKV_ALWAYS_INLINE void error_norms(LaneBlockState<Real, W>& b, Real (&enorm)[W]) {
  // A division of doubles costs more than the products and comparisons
  // that spare it (measured); float's, divided in float, does not.
  bool found = false;
  if constexpr (std::is_same_v<Real, double>) found = largest_quotient(b, b.bound, enorm);
  if (!found) relative_max(b, b.bound, enorm);
  if (!b.other_norms) return;
  for (int l = 0; l < W; ++l) {
    if (b.attempting[l] == 0) continue;
    if (b.inorm[l] == 1) absolute_max(b, l, enorm[l]);
    if (b.inorm[l] == 3) euclidean(b, l, enorm[l]);
  }
}

}  // namespace rkv::ode::lanes
