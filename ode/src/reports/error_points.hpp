// The places where a call of the solver ends with an error, one function
// each. Every function records its point in the last_error of the state of
// the call and posts the point's report; the caller then ends the call.
#pragma once

#include <cstdint>

#include "step/solver_state.hpp"

namespace rkv::ode {

// Front end IVPRK.
void front_ido_range(SolverState& s, const std::int32_t& ido);
void front_neq(SolverState& s, const std::int32_t& neq);
void front_storage(SolverState& s, const std::int32_t& neq);
void front_not_initialised(SolverState& s, const std::int32_t& ido);
// A call made while a call of the same solver is in progress. Posted without
// recording a point: the state belongs to the call in progress.
void front_in_use();
// ---- begin: refusals of the integrator objects, posted without a point ----
// The integrator's right-hand side is a null function.
void front_no_rhs();
// A call of a moved-from integrator.
void front_moved_from();
// An assignment to or from an integrator whose call is in progress.
void front_assignment_in_use();
// ---- end: refusals of the integrator objects ----

// Integrator I2PRK: checks of the call.
void ido_range(SolverState& s, const std::int32_t& ido);
void in_use();
void repeated_start(SolverState& s);
void not_initialised(SolverState& s, const std::int32_t& ido);
void x_changed(SolverState& s, const float& x);
void xend_unchanged(SolverState& s, const float& xend);
void answer_before_step(SolverState& s, const std::int32_t& ido);
void answer_after_attempt(SolverState& s, const std::int32_t& ido);
void no_pause(SolverState& s, const std::int32_t& ido);

// Integrator: start-up checks (these do not end the call by themselves).
void neq_invalid(SolverState& s, const std::int32_t& neq);
void tol_invalid(SolverState& s, const float& tol);
void inorm_invalid(SolverState& s, const float& entry);
void negative_entry(SolverState& s, const std::int32_t& index, const float& entry);
void x_not_finite(SolverState& s, const float& x);
void xend_not_finite(SolverState& s, const float& xend);
void y_not_finite(SolverState& s, const std::int32_t& index, const float& value);
void nan_entry(SolverState& s, const std::int32_t& index, const float& entry);

// Integrator: the stepping loop.
void hmin_above_hmax(SolverState& s, const float& hmin, const float& hmax);
void evaluation_limit(SolverState& s, const std::int32_t& needed, const std::int32_t& limit);
void step_limit(SolverState& s, const std::int32_t& limit);
void tolerance_unmet(SolverState& s, const float& tol);

// A serious error posted by user code during a right-hand side or norm call.
void user_code_failed(SolverState& s);

// Whether an error has been posted at the calling routine's level during the
// current call (the start-up checks continue past a post and test this).
bool error_posted();

// Marks the start of a call of the front end or the integrator.
void begin_call(SolverState& s);

}  // namespace rkv::ode
