// The one place through which the integrator calls the user's right-hand
// side and the error-norm routine. Each call is bracketed by E1USR("ON") and
// E1USR("OFF"), so that library routines called from that code report as if
// the user's program had called them; a right-hand side call counts as an
// evaluation as soon as it is made. The result is false when an error of
// type 4 (FATAL) or worse has reached the integrator's level meanwhile: the
// integrator then ends the call at once, without a message of its own.
#pragma once

#include <cstdint>

#include "error_points.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/ode/ivprk.hpp"
#include "solver_state.hpp"
#include "step_control.hpp"

namespace rkv::ode {

inline bool serious_error_posted() {
  const std::int32_t own = 0;
  return N1RTY(own) > 3;
}

inline bool call_rhs(SolverState& s, RhsFunction fcn, const std::int32_t& neq, const float& x,
                     const float* y, float* ydot) {
  E1USR("ON");
  fcn(neq, x, y, ydot);
  E1USR("OFF");
  s.evaluations = saturating_add(s.evaluations, 1);
  return !serious_error_posted();
}

inline bool call_norm(NormFunction fnorm, const std::int32_t& neq, const float* v, const float* y,
                      const float* w, float& enorm) {
  E1USR("ON");
  fnorm(neq, v, y, w, enorm);
  E1USR("OFF");
  return !serious_error_posted();
}

}  // namespace rkv::ode
