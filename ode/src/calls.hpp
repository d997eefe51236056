// The one place through which the integrator calls the user's right-hand
// side and the error-norm routine. A call counts as an evaluation as soon as
// it is made. The result is false when the integrator must end the call at
// once because the called code ran into a serious error.
#pragma once

#include <cstdint>

#include "error_points.hpp"
#include "rkv/ode/ivprk.hpp"
#include "solver_state.hpp"
#include "step_control.hpp"

namespace rkv::ode {

inline bool call_rhs(SolverState& s, RhsFunction fcn, const std::int32_t& neq, const float& x,
                     const float* y, float* ydot) {
  fcn(neq, x, y, ydot);
  s.evaluations = saturating_add(s.evaluations, 1);
  return true;
}

inline bool call_norm(NormFunction fnorm, const std::int32_t& neq, const float* v, const float* y,
                      const float* w, float& enorm) {
  fnorm(neq, v, y, w, enorm);
  return true;
}

}  // namespace rkv::ode
