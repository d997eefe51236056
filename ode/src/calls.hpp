// The one place through which the integrator calls the user's right-hand
// side and the error-norm routine. Each call is bracketed as by E1USR("ON")
// and E1USR("OFF"), so that library routines called from that code report as if
// the user's program had called them; a right-hand side call counts as an
// evaluation as soon as it is made. The result is false when an error of
// type 4 (FATAL) or worse has reached the integrator's level meanwhile: the
// integrator then ends the call at once, without a message of its own.
#pragma once

#include <cstdint>

#include "error_points.hpp"
#include "rkv/errors/state.hpp"
#include "rkv/ode/ivprk.hpp"
#include "solver_state.hpp"
#include "step_control.hpp"

namespace rkv::ode {

// These run around every right-hand-side call, so they act on the error
// record directly instead of going through E1USR and N1RTY: marking the
// current level as in user code is what E1USR("ON") does (and "OFF" clears
// it), and the type recorded at the current level is what N1RTY(0) returns.
// The level is read afresh each time, as user code may have moved it.
inline void enter_user_code(ErrorState& e) {
  e.user_level(e.level) = -1;
}

inline void leave_user_code(ErrorState& e) {
  e.user_level(e.level) = 0;
}

inline bool serious_error_posted(const ErrorState& e) {
  return e.level_type(e.level) > 3;
}

// `e` is the error record, E1ERRSTATE(), fetched once by a caller that
// makes several calls.
inline bool call_rhs(ErrorState& e, SolverState& s, RhsFunction fcn, const std::int32_t& neq,
                     const float& x, const float* y, float* ydot) {
  enter_user_code(e);
  fcn(neq, x, y, ydot);
  leave_user_code(e);
  s.evaluations = saturating_add(s.evaluations, 1);
  return !serious_error_posted(e);
}

inline bool call_rhs(SolverState& s, RhsFunction fcn, const std::int32_t& neq, const float& x,
                     const float* y, float* ydot) {
  return call_rhs(E1ERRSTATE(), s, fcn, neq, x, y, ydot);
}

inline bool call_norm(ErrorState& e, NormFunction fnorm, const std::int32_t& neq, const float* v,
                      const float* y, const float* w, float& enorm) {
  enter_user_code(e);
  fnorm(neq, v, y, w, enorm);
  leave_user_code(e);
  return !serious_error_posted(e);
}

}  // namespace rkv::ode
