// Posting the solver's reports. Every error point has one row in the report
// table (reports/report_table.hpp); a call ends with an error by posting its
// point with the row's message parameters, and the caller then ends the call.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "reports/error_point.hpp"
#include "step/solver_state.hpp"

namespace rkv::ode {

// One message parameter. Integers and reals are numbered apart, in the order
// given: the first integer is %(I1), the first real %(R1), and so on.
struct ReportParam {
  ReportParam(std::int32_t v) : is_real(false), integer(v), real(0.0f) {}  // NOLINT: implicit
  ReportParam(float v) : is_real(true), integer(0), real(v) {}             // NOLINT: implicit
  bool is_real;
  std::int32_t integer;
  float real;
};

// Records `point` as the one that ended the call in s.last_error and posts
// its report with the parameters.
void post_report(SolverState& s, ErrorPoint point, std::initializer_list<ReportParam> params = {});

// Posts the report of `point` without recording it: for the in-use refusals
// (the state belongs to the call in progress) and the IVPEV layer.
void post_report(ErrorPoint point, std::initializer_list<ReportParam> params = {});

// Whether an error has been posted at the calling routine's level during the
// current call (the start-up checks continue past a post and test this).
bool error_posted();

// Marks the start of a call of the front end or the integrator.
void begin_call(SolverState& s);

}  // namespace rkv::ode
