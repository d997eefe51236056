// The Verner 6(5) attempt and the error norms over a block of lanes: per
// lane the same IEEE operations in the same order as the scalar step
// (step/verner_body.hpp) and norm (step/norm.cpp, step/relative_max.hpp),
// each formula evaluated in double from the stored operands and rounded
// once to the storage type where it is stored. The loops run over the
// lanes innermost, with a fixed count, so that they become vector
// instructions; a lane's arithmetic does not depend on its neighbours'.
// Internal to the library.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "lanes/lane_block.hpp"
#include "step/isa.hpp"
#include "step/real_format.hpp"
#include "step/verner_body.hpp"

namespace rkv::ode::lanes {

template <int W>
using Wide = Lane<double, W>;

// The compiler's vector types of W reals, for the passes below: every
// operation on them is the elementwise IEEE operation, and
// __builtin_convertvector rounds each element as static_cast does. Written
// this way because the compilers leave the same loops over a lane's
// elements scalar (sixteen accumulators in registers). Values move in and
// out through memcpy and references only, so no function passes a vector
// by value (whose convention differs between the instruction sets).
template <class Real, int W>
struct VecOf {
  typedef Real type __attribute__((vector_size(W * sizeof(Real))));  // NOLINT(modernize-use-using)
};
template <class Real, int W>
using Vec = typename VecOf<Real, W>::type;

template <class Real, int W>
RKV_ALWAYS_INLINE void widen(const Lane<Real, W>& a, Vec<double, W>& out) {
  Vec<Real, W> v;
  std::memcpy(&v, a.v, sizeof v);
  out = __builtin_convertvector(v, Vec<double, W>);
}

template <class Real, int W>
RKV_ALWAYS_INLINE void narrow(const Vec<double, W>& a, Lane<Real, W>& out) {
  const Vec<Real, W> v = __builtin_convertvector(a, Vec<Real, W>);
  std::memcpy(out.v, &v, sizeof v);
}

// out := (a_1 k1 + ... + a_M kM) * H + Y for one of the stages 3 to 8.
template <std::size_t Stage, class Real, int W>
RKV_ALWAYS_INLINE void stage_argument(LaneBlockState<Real, W>& b, const Wide<W>& h) {
  constexpr std::size_t M = static_cast<std::size_t>(kRowLength[Stage]);
  constexpr std::array<double, M> a = stepping::widened<M, Real>(kRowA[Stage]);
  Vec<double, W> hv;
  std::memcpy(&hv, h.v, sizeof hv);
  const std::size_t n = static_cast<std::size_t>(b.neq);
  for (std::size_t i = 0; i < n; ++i) {
    Vec<double, W> d;
    widen(b.k[1][i], d);
    Vec<double, W> sum = a[0] * d;
    for (std::size_t j = 1; j < M; ++j) {
      widen(b.k[j + 1][i], d);
      sum += a[j] * d;
    }
    Vec<double, W> y;
    widen(b.y[i], y);
    narrow(sum * hv + y, b.arg[i]);
  }
}

// Stage 2: Y + c k1 with c = a21 * H rounded to the storage type; Y itself
// where c is 0 (even where k1 is not finite). c passes through memory the
// compiler must respect: g++ 12 at -O3 was seen to drop the rounding of c
// to float in the SSE2 variant of this loop (using a21 * H unrounded, one
// unit in the last place off the scalar step), a transformation that is
// only valid under -funsafe-math-optimizations; W volatile stores per
// attempt cost nothing measurable.
template <class Real, int W>
RKV_ALWAYS_INLINE void stage2_argument(LaneBlockState<Real, W>& b, const Wide<W>& h) {
  Real c[W];
  for (int l = 0; l < W; ++l) {
    volatile Real rounded = static_cast<Real>(stepping::kWidenedTable<Real>[0] * h.v[l]);
    c[l] = rounded;
  }
  Vec<Real, W> cr;
  std::memcpy(&cr, c, sizeof cr);
  const Vec<double, W> cd = __builtin_convertvector(cr, Vec<double, W>);
  const std::size_t n = static_cast<std::size_t>(b.neq);
  for (std::size_t i = 0; i < n; ++i) {
    Vec<double, W> k1;
    Vec<double, W> y;
    widen(b.k[1][i], k1);
    widen(b.y[i], y);
    // Y widened and rounded back is Y itself.
    narrow(cd == 0.0 ? y : cd * k1 + y, b.arg[i]);
  }
}

// The candidate (into arg) and the error vector (over k2).
template <class Real, int W>
RKV_ALWAYS_INLINE void candidate_and_error(LaneBlockState<Real, W>& b, const Wide<W>& h) {
  constexpr std::array<double, 8> bw = stepping::widened<8, Real>(kRowB);
  constexpr std::array<double, 8> ew = stepping::widened<8, Real>(kRowE);
  Vec<double, W> hv;
  std::memcpy(&hv, h.v, sizeof hv);
  const std::size_t n = static_cast<std::size_t>(b.neq);
  for (std::size_t i = 0; i < n; ++i) {
    Vec<double, W> d;
    widen(b.k[1][i], d);
    Vec<double, W> sb = bw[0] * d;
    Vec<double, W> se = ew[0] * d;
    for (std::size_t j = 1; j < 8; ++j) {
      widen(b.k[j + 1][i], d);
      sb += bw[j] * d;
      se += ew[j] * d;
    }
    Vec<double, W> y;
    widen(b.y[i], y);
    narrow(sb * hv + y, b.arg[i]);
    narrow(se, b.k[2][i]);
  }
}

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

// INORM 0 and 2: max_i |v_i| / max(|y_i|, bound) as relative_max_update
// forms each quotient. Every quotient is non-negative or NaN (a zero may
// come out as -0 here, which compares as +0 and is never kept): the
// maximum of the numbers is taken by comparison, and a NaN sends the lane
// to the scalar scan for the NaN the element-by-element update returns.
template <class Real, int W>
RKV_ALWAYS_INLINE void relative_max(LaneBlockState<Real, W>& b, const Real (&bound)[W],
                                    Real (&enorm)[W]) {
  Vec<Real, W> br;
  std::memcpy(&br, bound, sizeof br);
  const Vec<double, W> bd = __builtin_convertvector(br, Vec<double, W>);
  Vec<Real, W> top = {};
  decltype(top != top) nan = {};
  const std::size_t n = static_cast<std::size_t>(b.neq);
  for (std::size_t i = 0; i < n; ++i) {
    Vec<double, W> y;
    Vec<double, W> v;
    widen(b.y[i], y);
    widen(b.k[2][i], v);
    const Vec<double, W> ay = y < 0.0 ? -y : y;
    const Vec<double, W> divisor = ay > bd ? ay : bd;
    const Vec<Real, W> q = __builtin_convertvector((v < 0.0 ? -v : v) / divisor, Vec<Real, W>);
    nan |= q != q;
    top = q > top ? q : top;
  }
  for (int l = 0; l < W; ++l) {
    enorm[l] = nan[l] != 0 ? first_nan_quotient(b, l, bound[l]) : top[l];
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
  Real bound[W];
  bool other = false;
  for (int l = 0; l < W; ++l) {
    const BasicSettings<Real>& t = b.s[l].settings;
    bound[l] = t.inorm == 2 ? t.floor : Real{1};
    other = other || (b.attempting[l] && (t.inorm == 1 || t.inorm == 3));
  }
  relative_max(b, bound, enorm);
  if (!other) return;
  for (int l = 0; l < W; ++l) {
    if (!b.attempting[l]) continue;
    if (b.s[l].settings.inorm == 1) absolute_max(b, l, enorm[l]);
    if (b.s[l].settings.inorm == 3) euclidean(b, l, enorm[l]);
  }
}

}  // namespace rkv::ode::lanes
