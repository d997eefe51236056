// The Verner 6(5) step as a function of its own, for both storage types,
// compiled once per vector instruction set (isa.hpp) with the variant for
// the active set run; the body is in verner_body.hpp, which the stepping
// loop inlines instead.
#include "step/verner.hpp"

#include <cstdint>

#include "step/isa.hpp"
#include "step/verner_body.hpp"

namespace rkv::ode {
namespace {

template <class Real, class Rhs>
RKV_TARGET_AVX512 bool step_avx512(BasicSolverState<Real>& s, const std::int32_t& neq,
                                   const Rhs& rhs, const BasicNorm<Real>& norm, const Real* y,
                                   Real* wk) {
  return stepping::attempt_step(s, neq, rhs, norm, y, wk);
}

template <class Real, class Rhs>
RKV_TARGET_AVX2 bool step_avx2(BasicSolverState<Real>& s, const std::int32_t& neq, const Rhs& rhs,
                               const BasicNorm<Real>& norm, const Real* y, Real* wk) {
  return stepping::attempt_step(s, neq, rhs, norm, y, wk);
}

template <class Real, class Rhs>
bool step_baseline(BasicSolverState<Real>& s, const std::int32_t& neq, const Rhs& rhs,
                   const BasicNorm<Real>& norm, const Real* y, Real* wk) {
  return stepping::attempt_step(s, neq, rhs, norm, y, wk);
}

}  // namespace

template <class Real, class Rhs>
bool verner_step(BasicSolverState<Real>& s, const std::int32_t& neq, const Rhs& rhs,
                 const BasicNorm<Real>& norm, const Real* y, Real* wk) {
  return dispatch(step_avx512<Real, Rhs>, step_avx2<Real, Rhs>, step_baseline<Real, Rhs>, s, neq,
                  rhs, norm, y, wk);
}

// Both storage types, each with the three forms of the right-hand side.
// The macro argument names a type, which cannot stand in parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define RKV_VERNER_STEP(Real, Rhs)                                                         \
  template bool verner_step<Real, Rhs<Real>>(BasicSolverState<Real>&, const std::int32_t&, \
                                             const Rhs<Real>&, const BasicNorm<Real>&,     \
                                             const Real*, Real*);
// NOLINTEND(bugprone-macro-parentheses)
RKV_VERNER_STEP(float, PlainRhsOf)
RKV_VERNER_STEP(float, ContextRhsOf)
RKV_VERNER_STEP(float, PointerRhsOf)
RKV_VERNER_STEP(double, PlainRhsOf)
RKV_VERNER_STEP(double, ContextRhsOf)
RKV_VERNER_STEP(double, PointerRhsOf)
#undef RKV_VERNER_STEP

}  // namespace rkv::ode
