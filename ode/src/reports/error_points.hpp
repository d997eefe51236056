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
// given: the first integer is %(I1), the first real %(R1), and so on. A
// double (from a double integration) is printed at double precision, a float
// as every report of the float path prints it.
struct ReportParam {
  enum class Kind : std::int32_t { kInteger, kFloat, kDouble };
  ReportParam(std::int32_t v) : kind(Kind::kInteger), integer(v) {}  // NOLINT: implicit
  ReportParam(float v) : kind(Kind::kFloat), real(v) {}              // NOLINT: implicit
  ReportParam(double v) : kind(Kind::kDouble), real(v) {}            // NOLINT: implicit
  Kind kind;
  std::int32_t integer = 0;
  double real = 0.0;  // a float parameter widened exactly
};

// Posts the report of `point` without recording it: for the in-use refusals
// (the state belongs to the call in progress) and the IVPEV layer.
void post_report(ErrorPoint point, std::initializer_list<ReportParam> params = {});

// Records `point` as the one that ended the call in s.last_error and posts
// its report with the parameters.
template <class Real>
void post_report(BasicSolverState<Real>& s, ErrorPoint point,
                 std::initializer_list<ReportParam> params = {}) {
  s.last_error = point;
  post_report(point, params);
}

// Whether an error has been posted at the calling routine's level during the
// current call (the start-up checks continue past a post and test this).
bool error_posted();

// Marks the start of a call of the front end or the integrator.
template <class Real>
void begin_call(BasicSolverState<Real>& s) {
  s.last_error = ErrorPoint::kNone;
}

}  // namespace rkv::ode
