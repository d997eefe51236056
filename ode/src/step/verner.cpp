// The Verner 6(5) step: stage arguments, candidate solution, error vector and
// error measure, and the pass that accepts a candidate, for both storage
// types (float and double). Each formula is evaluated in double from the
// stored operands, summing from the lowest stage index upward, and rounded
// to the storage type once, when stored (the identity for double).
//
// The loops over the equations are written so that the compiler can
// vectorise them without changing a bit: each stage sum has its length fixed
// at compile time (the inner loop unrolls away), the coefficients are widened
// to double once per step, the column pointers are hoisted out of the loop
// and the output column is marked __restrict (the workspace columns and Y
// never overlap). Vectorising only runs several elements side by side; the
// order of the operations within one element stays as written. The whole
// step and the accept pass are compiled once per vector instruction set
// (isa.hpp) and the variant for the active set runs.
#include "step/verner.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "step/isa.hpp"
#include "step/user_calls.hpp"
#include "step/verner_table.hpp"
#include "step/work_columns.hpp"

namespace rkv::ode {
namespace {

// M coefficients of the table from `first` on, widened to double (exactly).
template <std::size_t M, class Real>
RKV_ALWAYS_INLINE std::array<double, M> widened(const BasicSolverState<Real>& s,
                                                std::int32_t first) {
  std::array<double, M> r{};
  for (std::size_t j = 0; j < M; ++j) {
    r[j] = static_cast<double>(s.table[static_cast<std::size_t>(first) + j]);
  }
  return r;
}

// Stage 2: out := Y + c k1 with c = a21 * H rounded to the storage type, in
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
RKV_ALWAYS_INLINE void stage_argument(const BasicSolverState<Real>& s, std::size_t n, double h,
                                      const Real* y, Real* wk, Real* __restrict out) {
  constexpr std::size_t M = static_cast<std::size_t>(kRowLength[Stage]);
  const std::array<double, M> a = widened<M>(s, kRowA[Stage]);
  std::array<const Real*, M> k{};
  for (std::size_t j = 0; j < M; ++j)
    k[j] = column(wk, n, stage_column(static_cast<std::int32_t>(j) + 1));
  for (std::size_t i = 0; i < n; ++i) {
    double sum = a[0] * static_cast<double>(k[0][i]);
    for (std::size_t j = 1; j < M; ++j) sum += a[j] * static_cast<double>(k[j][i]);
    out[i] = static_cast<Real>(sum * h + static_cast<double>(y[i]));
  }
}

// Candidate (out) and error vector (into the error column, over k2). Both sums of
// element i are formed before k2_i is overwritten, and the error is stored
// through the same pointer k2 is read from, so the compiler sees that the
// load and the store of one element never cross another element's.
template <class Real>
RKV_ALWAYS_INLINE void candidate_and_error(const BasicSolverState<Real>& s, std::size_t n, double h,
                                           const Real* y, Real* wk, Real* __restrict out) {
  const std::array<double, 8> b = widened<8>(s, kRowB);
  const std::array<double, 8> e = widened<8>(s, kRowE);
  const Real* k1 = column(wk, n, Column::kK1);
  Real* k2 = column(wk, n, stage_column(2));
  const Real* k3 = column(wk, n, stage_column(3));
  const Real* k4 = column(wk, n, stage_column(4));
  const Real* k5 = column(wk, n, stage_column(5));
  const Real* k6 = column(wk, n, stage_column(6));
  const Real* k7 = column(wk, n, stage_column(7));
  const Real* k8 = column(wk, n, stage_column(8));
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
    k2[i] = static_cast<Real>(se);
  }
}

// Sets the stage abscissa X + c H (rounded to the storage type, as stored)
// and evaluates the right-hand side there at the stage argument.
template <class Real, class Rhs>
RKV_ALWAYS_INLINE bool evaluate(BasicSolverState<Real>& s, ErrorState& e, const Rhs& rhs,
                                const std::int32_t& neq, double xs, const Real* arg, Real* k) {
  s.xstage = static_cast<Real>(xs);
  return call_rhs(e, s, rhs, neq, s.xstage, arg, k);
}

template <class Real, class Rhs>
RKV_ALWAYS_INLINE bool step(BasicSolverState<Real>& s, const std::int32_t& neq, const Rhs& rhs,
                            const BasicNorm<Real>& norm, const Real* y, Real* wk) {
  const std::size_t n = static_cast<std::size_t>(neq);
  const double h = static_cast<double>(s.step);
  const double x = static_cast<double>(s.xstart);
  Real* arg = column(wk, n, Column::kCandidate);

  ErrorState& e = E1ERRSTATE();

  // Stage 2: the argument column := Y + (a21 * H) k1, the product rounded first.
  const Real c = static_cast<Real>(static_cast<double>(s.table[0]) * h);
  stage2_argument(n, c, column(wk, n, Column::kK1), y, arg);
  if (!evaluate(s, e, rhs, neq, h / 6.0 + x, arg, column(wk, n, stage_column(2)))) return false;

  // Stages 3 to 8; the abscissae are the row sums of a: 4/15, 2/3, 5/6, 1, 1/15, 1.
  stage_argument<3>(s, n, h, y, wk, arg);
  if (!evaluate(s, e, rhs, neq, (h * 4.0) / 15.0 + x, arg, column(wk, n, stage_column(3))))
    return false;
  stage_argument<4>(s, n, h, y, wk, arg);
  if (!evaluate(s, e, rhs, neq, (h * 2.0) / 3.0 + x, arg, column(wk, n, stage_column(4))))
    return false;
  stage_argument<5>(s, n, h, y, wk, arg);
  if (!evaluate(s, e, rhs, neq, (h * 5.0) / 6.0 + x, arg, column(wk, n, stage_column(5))))
    return false;
  stage_argument<6>(s, n, h, y, wk, arg);
  if (!evaluate(s, e, rhs, neq, h + x, arg, column(wk, n, stage_column(6)))) return false;
  stage_argument<7>(s, n, h, y, wk, arg);
  if (!evaluate(s, e, rhs, neq, h / 15.0 + x, arg, column(wk, n, stage_column(7)))) return false;
  stage_argument<8>(s, n, h, y, wk, arg);
  if (!evaluate(s, e, rhs, neq, h + x, arg, column(wk, n, stage_column(8)))) return false;

  candidate_and_error(s, n, h, y, wk, arg);
  const Real* err = column(wk, n, Column::kError);
  if (!call_norm(e, norm, neq, err, y, arg, column(wk, n, Column::kMaxAbsY), s.enorm)) return false;
  s.error = static_cast<Real>(static_cast<double>(s.h) * static_cast<double>(s.enorm) *
                              static_cast<double>(s.settings.scale));
  return true;
}

template <class Real, class Rhs>
RKV_TARGET_AVX512 bool step_avx512(BasicSolverState<Real>& s, const std::int32_t& neq,
                                   const Rhs& rhs, const BasicNorm<Real>& norm, const Real* y,
                                   Real* wk) {
  return step(s, neq, rhs, norm, y, wk);
}

template <class Real, class Rhs>
RKV_TARGET_AVX2 bool step_avx2(BasicSolverState<Real>& s, const std::int32_t& neq, const Rhs& rhs,
                               const BasicNorm<Real>& norm, const Real* y, Real* wk) {
  return step(s, neq, rhs, norm, y, wk);
}

template <class Real, class Rhs>
bool step_baseline(BasicSolverState<Real>& s, const std::int32_t& neq, const Rhs& rhs,
                   const BasicNorm<Real>& norm, const Real* y, Real* wk) {
  return step(s, neq, rhs, norm, y, wk);
}

// Y := candidate and max|y| := max(max|y|, |Y|), elementwise, in one
// pass. The maximum is a select rather than std::fmax (a library call per
// element that keeps the loop from vectorising) and behaves as fmax does on
// a NaN: a NaN |Y_i| leaves the maximum as it was, a NaN maximum is replaced.
// The values are exact in the storage type, so nothing is rounded here. Compiled once
// per vector instruction set (isa.hpp). The pointers are deliberately not
// __restrict: knowing that they never alias, the compiler splits the copy
// off into a library block copy, which reads the candidate a second time.
template <class Real>
RKV_ALWAYS_INLINE void accept_loop(std::size_t n, const Real* candidate, Real* y, Real* wmax) {
  for (std::size_t i = 0; i < n; ++i) {
    const Real v = candidate[i];
    y[i] = v;
    const Real a = std::fabs(v);
    const Real w = wmax[i];
    wmax[i] = (a > w || w != w) ? a : w;
  }
}

template <class Real>
RKV_TARGET_AVX512 void accept_avx512(std::size_t n, const Real* candidate, Real* y, Real* wmax) {
  accept_loop(n, candidate, y, wmax);
}

template <class Real>
RKV_TARGET_AVX2 void accept_avx2(std::size_t n, const Real* candidate, Real* y, Real* wmax) {
  accept_loop(n, candidate, y, wmax);
}

template <class Real>
void accept_baseline(std::size_t n, const Real* candidate, Real* y, Real* wmax) {
  accept_loop(n, candidate, y, wmax);
}

}  // namespace

void accept_candidate(std::size_t n, const float* candidate, float* y, float* wmax) {
  dispatch(accept_avx512<float>, accept_avx2<float>, accept_baseline<float>, n, candidate, y, wmax);
}

void accept_candidate(std::size_t n, const double* candidate, double* y, double* wmax) {
  dispatch(accept_avx512<double>, accept_avx2<double>, accept_baseline<double>, n, candidate, y,
           wmax);
}

template <class Real, class Rhs>
bool verner_step(BasicSolverState<Real>& s, const std::int32_t& neq, const Rhs& rhs,
                 const BasicNorm<Real>& norm, const Real* y, Real* wk) {
  return dispatch(step_avx512<Real, Rhs>, step_avx2<Real, Rhs>, step_baseline<Real, Rhs>, s, neq,
                  rhs, norm, y, wk);
}

// Both storage types, each with the three forms of the right-hand side.
#define RKV_VERNER_STEP(Real, Rhs)                                                         \
  template bool verner_step<Real, Rhs<Real>>(BasicSolverState<Real>&, const std::int32_t&, \
                                             const Rhs<Real>&, const BasicNorm<Real>&,     \
                                             const Real*, Real*);
RKV_VERNER_STEP(float, PlainRhsOf)
RKV_VERNER_STEP(float, ContextRhsOf)
RKV_VERNER_STEP(float, PointerRhsOf)
RKV_VERNER_STEP(double, PlainRhsOf)
RKV_VERNER_STEP(double, ContextRhsOf)
RKV_VERNER_STEP(double, PointerRhsOf)
#undef RKV_VERNER_STEP

}  // namespace rkv::ode
