// One step attempt of the eight-stage Verner pair of orders 6 and 5, as a
// function of its own; the stepping loop runs the same body inline
// (verner_body.hpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "rkv/ode/ivprk.hpp"
#include "step/solver_state.hpp"
#include "step/user_calls.hpp"

namespace rkv::ode {

// From (X, Y) = (s.xstart, y) with k1 in its workspace column
// (step/work_columns.hpp), integrates over the signed step s.step of
// magnitude s.h: the stage columns receive k2 to k8, the candidate column
// the solution at X + H, the error column (over k2) the error vector
// (not multiplied by H), and s.error the error measure h * ENORM * scale.
// Makes seven calls of the right-hand side and one of the norm routine; the
// instance's own norm under INORM 0 and 2 is instead taken in the pass that
// forms the error vector, with the same result.
// Returns false when one of those calls ran into a serious error; the
// columns then hold partial results that must not be used.
// Compiled for each form of the right-hand side (user_calls.hpp).
template <class Real, class Rhs>
bool verner_step(BasicSolverState<Real>& s, const std::int32_t& neq, const Rhs& rhs,
                 const BasicNorm<Real>& norm, const Real* y, Real* wk);

// With a plain function and the caller's norm routine.
inline bool verner_step(SolverState& s, const std::int32_t& neq, RhsFunction fcn,
                        NormFunction fnorm, const float* y, float* wk) {
  return verner_step(s, neq, PlainRhs{fcn}, Norm{fnorm, nullptr}, y, wk);
}

}  // namespace rkv::ode
