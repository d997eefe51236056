// The Verner 6(5) step and the pass that accepts its candidate, as inline
// bodies: verner.cpp compiles them once per vector instruction set for a
// single attempt, and the integrator's stepping loop, compiled once per set
// itself, runs them without a call or a dispatch per step. Internal to the
// library.
//
// Each formula is evaluated in double from the stored operands, summing from
// the lowest stage index upward, and rounded to the storage type once, when
// stored (the identity for double). The loops over the equations are
// written so that the compiler can vectorise them without changing a bit:
// each stage sum has its length fixed at compile time (the inner loop
// unrolls away), the coefficients are widened to double at compile time,
// the column pointers are hoisted out of the loop and the output column is
// marked __restrict (the workspace columns and Y never overlap). Vectorising
// only runs several elements side by side; the order of the operations
// within one element stays as written.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "rkv/errors/state.hpp"
#include "step/isa.hpp"
#include "step/real_format.hpp"
#include "step/relative_max.hpp"
#include "step/solver_state.hpp"
#include "step/user_calls.hpp"
#include "step/verner_table.hpp"
#include "step/verner_table_double.hpp"
#include "step/work_columns.hpp"

namespace rkv::ode::stepping {

// The pair's coefficients in the storage type widened to double (exactly),
// at compile time: the same values the state's table holds once loaded,
// without reading and widening them again on every step.
template <class Real>
inline constexpr std::array<double, kTableSize> kWidenedTable = [] {
  std::array<double, kTableSize> r{};
  for (std::size_t k = 0; k < r.size(); ++k) {
    if constexpr (std::is_same_v<Real, float>) {
      r[k] = static_cast<double>(std::bit_cast<float>(kVernerTableBits[k]));
    } else {
      r[k] = std::bit_cast<double>(kVernerTableDoubleBits[k]);
    }
  }
  return r;
}();

// The offset c H of the abscissa X + c H of stage 2, 3, 4, 5 or 7 (stages
// 6 and 8 are at X + H): c is the row sum of a, 1/6, 4/15, 2/3, 5/6 and
// 1/15, and the offset is formed in double as written here, for the step
// and for the lanes (T a lane of doubles), whose bits must agree.
template <int Stage, class T>
RKV_ALWAYS_INLINE T abscissa_offset(const T& h) {
  static_assert(Stage >= 2 && Stage <= 7 && Stage != 6, "stages 6 and 8 are at X + H");
  if constexpr (Stage == 2) return h / 6.0;
  if constexpr (Stage == 3) return (h * 4.0) / 15.0;
  if constexpr (Stage == 4) return (h * 2.0) / 3.0;
  if constexpr (Stage == 5) return (h * 5.0) / 6.0;
  if constexpr (Stage == 7) return h / 15.0;
}

// M coefficients of the table from `first` on, widened to double.
template <std::size_t M, class Real>
constexpr std::array<double, M> widened(std::int32_t first) {
  std::array<double, M> r{};
  for (std::size_t j = 0; j < M; ++j) {
    r[j] = kWidenedTable<Real>[static_cast<std::size_t>(first) + j];
  }
  return r;
}

// Stage 2: out := Y + c k1 with c = a21 * H rounded to single precision, in
// one pass. This is the copy of Y followed by V1VAXPY with c, which leaves
// the copy untouched when c is 0 (even where k1 is not finite).
template <class Real>
RKV_ALWAYS_INLINE void stage2_argument(std::size_t n, Real c, const Real* k1, const Real* y,
                                       Real* __restrict out) {
  if (c == Real{0}) {
    std::copy(y, y + n, out);
    return;
  }
  const double cd = static_cast<double>(c);
  for (std::size_t i = 0; i < n; ++i) {
    out[i] = static_cast<Real>(cd * static_cast<double>(k1[i]) + static_cast<double>(y[i]));
  }
}

// out := (a_1 k1 + ... + a_M kM) * H + Y for one of the stages 3 to 8, with
// its M = 2..7 terms taken from the table's row lengths.
template <std::size_t Stage, class Real>
RKV_ALWAYS_INLINE void stage_argument(std::size_t n, double h, const Real* y, Real* wk,
                                      Real* __restrict out) {
  constexpr std::size_t M = static_cast<std::size_t>(kRowLength[Stage]);
  constexpr std::array<double, M> a = widened<M, Real>(kRowA[Stage]);
  std::array<const Real*, M> k{};
  for (std::size_t j = 0; j < M; ++j)
    k[j] = column(wk, n, stage_column(static_cast<std::int32_t>(j) + 1));
  for (std::size_t i = 0; i < n; ++i) {
    double sum = a[0] * static_cast<double>(k[0][i]);
    for (std::size_t j = 1; j < M; ++j) sum += a[j] * static_cast<double>(k[j][i]);
    out[i] = static_cast<Real>(sum * h + static_cast<double>(y[i]));
  }
}

// Candidate (out) and error vector (into the error column, over k2). Both
// sums of element i are formed before k2_i is overwritten, and the error is
// stored through the same pointer k2 is read from, so the compiler sees that
// the load and the store of one element never cross another element's; k2
// is __restrict (no other column and not Y overlap it), which spares the
// loop the run-time overlap checks of the store against every other read. With
// kNorm the same pass takes the relative maximum of the stored error vector
// with `bound` (step/relative_max.hpp) and returns its running maximum.
template <bool kNorm, class Real>
RKV_ALWAYS_INLINE MaxBits<Real> candidate_and_error(std::size_t n, double h, const Real* y,
                                                    const Real* wk, Real* __restrict k2,
                                                    Real* __restrict out, Real bound) {
  constexpr std::array<double, 8> b = widened<8, Real>(kRowB);
  constexpr std::array<double, 8> e = widened<8, Real>(kRowE);
  const Real* k1 = column(wk, n, Column::kK1);
  const Real* k3 = column(wk, n, stage_column(3));
  const Real* k4 = column(wk, n, stage_column(4));
  const Real* k5 = column(wk, n, stage_column(5));
  const Real* k6 = column(wk, n, stage_column(6));
  const Real* k7 = column(wk, n, stage_column(7));
  const Real* k8 = column(wk, n, stage_column(8));
  const double dbound = static_cast<double>(bound);
  MaxBits<Real> top = 0;  // pattern of +0, where the norm's update starts
  for (std::size_t i = 0; i < n; ++i) {
    const double d[8] = {static_cast<double>(k1[i]), static_cast<double>(k2[i]),
                         static_cast<double>(k3[i]), static_cast<double>(k4[i]),
                         static_cast<double>(k5[i]), static_cast<double>(k6[i]),
                         static_cast<double>(k7[i]), static_cast<double>(k8[i])};
    double sb = b[0] * d[0];
    double se = e[0] * d[0];
    for (std::size_t j = 1; j < 8; ++j) {
      sb += b[j] * d[j];
      se += e[j] * d[j];
    }
    out[i] = static_cast<Real>(sb * h + static_cast<double>(y[i]));
    const Real err = static_cast<Real>(se);
    k2[i] = err;
    if constexpr (kNorm) top = relative_max_update(top, err, y[i], bound, dbound);
  }
  return top;
}

// Whether the step takes the error norm itself, in the pass that forms the
// error vector: the solver's own INORM norm under INORM 0 or 2, a relative
// maximum with the lower bound `bound`. Any other norm (INORM 1 or 3, the
// tolerances' weighted norm, a user's norm or a caller's routine) is called
// once the error vector is complete.
template <class Real>
RKV_ALWAYS_INLINE bool norm_in_pass(const BasicNorm<Real>& norm, Real& bound) {
  if (norm.own == nullptr || norm.hook != nullptr || norm.tolerances != nullptr) return false;
  const BasicSettings<Real>& t = *norm.own;
  if (t.inorm == 1 || t.inorm == 3) return false;
  bound = t.inorm == 2 ? t.floor : Real{1};  // as error_norm: 0 and anything else is INORM 0
  return true;
}

// Sets the stage abscissa X + c H (rounded to single precision, as stored)
// and evaluates the right-hand side there at the stage argument.
template <class Real, class Rhs>
RKV_ALWAYS_INLINE bool evaluate(BasicSolverState<Real>& s, ErrorState& e, const Rhs& rhs,
                                const std::int32_t& neq, double xs, const Real* arg, Real* k) {
  s.xstage = static_cast<Real>(xs);
  return call_rhs(e, s, rhs, neq, s.xstage, arg, k);
}

// One attempt from (s.xstart, y) over the signed step s.step, with what it
// leaves in the workspace and the state as verner.hpp describes; false when
// a call of user code ran into a serious error.
template <class Real, class Rhs>
RKV_ALWAYS_INLINE bool attempt_step(BasicSolverState<Real>& s, const std::int32_t& neq,
                                    const Rhs& rhs, const BasicNorm<Real>& norm, const Real* y,
                                    Real* wk) {
  const std::size_t n = static_cast<std::size_t>(neq);
  const double h = static_cast<double>(s.step);
  const double x = static_cast<double>(s.xstart);
  Real* arg = column(wk, n, Column::kCandidate);

  ErrorState& e = E1ERRSTATE();

  // Stage 2: the argument column := Y + (a21 * H) k1, the product rounded first.
  const Real c = static_cast<Real>(kWidenedTable<Real>[0] * h);
  stage2_argument(n, c, column(wk, n, Column::kK1), y, arg);
  if (!evaluate(s, e, rhs, neq, abscissa_offset<2>(h) + x, arg, column(wk, n, stage_column(2))))
    return false;

  // Stages 3 to 8.
  stage_argument<3>(n, h, y, wk, arg);
  if (!evaluate(s, e, rhs, neq, abscissa_offset<3>(h) + x, arg, column(wk, n, stage_column(3))))
    return false;
  stage_argument<4>(n, h, y, wk, arg);
  if (!evaluate(s, e, rhs, neq, abscissa_offset<4>(h) + x, arg, column(wk, n, stage_column(4))))
    return false;
  stage_argument<5>(n, h, y, wk, arg);
  if (!evaluate(s, e, rhs, neq, abscissa_offset<5>(h) + x, arg, column(wk, n, stage_column(5))))
    return false;
  stage_argument<6>(n, h, y, wk, arg);
  if (!evaluate(s, e, rhs, neq, h + x, arg, column(wk, n, stage_column(6)))) return false;
  stage_argument<7>(n, h, y, wk, arg);
  if (!evaluate(s, e, rhs, neq, abscissa_offset<7>(h) + x, arg, column(wk, n, stage_column(7))))
    return false;
  stage_argument<8>(n, h, y, wk, arg);
  if (!evaluate(s, e, rhs, neq, h + x, arg, column(wk, n, stage_column(8)))) return false;

  Real* k2 = column(wk, n, stage_column(2));  // k2, overwritten by the error vector
  const Real* err = column(wk, n, Column::kError);
  Real bound{1};
  if (norm_in_pass(norm, bound)) {
    const auto top = candidate_and_error<true>(n, h, y, wk, k2, arg, bound);
    s.enorm = relative_max_result(top, neq, err, y, bound);
  } else {
    (void)candidate_and_error<false>(n, h, y, wk, k2, arg, bound);
    if (!call_norm(e, norm, neq, err, y, arg, column(wk, n, Column::kMaxAbsY), s.enorm))
      return false;
  }
  s.error = static_cast<Real>(static_cast<double>(s.h) * static_cast<double>(s.enorm) *
                              static_cast<double>(s.settings.scale));
  return true;
}

// Y := candidate and max|y| := max(max|y|, |Y|), elementwise, in one
// pass. The maximum is a select rather than std::fmax (a library call per
// element that keeps the loop from vectorising) and behaves as fmax does on
// a NaN: a NaN |Y_i| leaves the maximum as it was, a NaN maximum is replaced.
// The values are exact in the storage type, so nothing is rounded here. Inlined into
// each vector instruction set's variant of the stepping loop. Y and the
// candidate are deliberately not __restrict: knowing that they never alias,
// the compiler splits the copy off into a library block copy, which reads
// the candidate a second time. The running maximum is (it overlaps neither),
// which spares the loop the run-time overlap checks for it.
template <class Real>
RKV_ALWAYS_INLINE void accept_loop(std::size_t n, const Real* candidate, Real* y,
                                   Real* __restrict wmax) {
  for (std::size_t i = 0; i < n; ++i) {
    const Real v = candidate[i];
    y[i] = v;
    const Real a = std::fabs(v);
    const Real w = wmax[i];
    wmax[i] = (a > w || w != w) ? a : w;
  }
}

}  // namespace rkv::ode::stepping
