// The solver's reports: routine, type, code and message text of every error
// point of IVPRK, I2PRK and the output-point and event layer IVPEV, one row
// per point in the order of ErrorPoint. Placeholders are expanded from the
// parameters stored just before posting (I = integer, R = real); the front
// end writes them in lower case, which the expansion accepts as well. Each
// text is passed with its exact length. A row of type 0 posts nothing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "reports/error_point.hpp"

namespace rkv::ode {

struct Report {
  ErrorPoint point;
  std::string_view routine;
  std::int32_t type;  // 4 FATAL, 5 TERMINAL; 0 no report of the solver's own
  std::int32_t code;
  std::string_view text;
  // Posted once with a blank text first, which relabels any message waiting
  // at the routine's level with this type and code.
  bool relabel_first = false;
};

// clang-format off
inline constexpr std::array<Report, static_cast<std::size_t>(ErrorPoint::kCount)> kReports{{
    {ErrorPoint::kNone, "", 0, 0, ""},
    {ErrorPoint::kFrontIdoRange, kFrontName, 5, 2,
     "The status indicator IDO = %(i1).  It must be in the range 1 to 6."},
    {ErrorPoint::kFrontNeq, kFrontName, 5, 1,
     "The number of equations NEQ = %(i1).  It must be at least 1."},
    {ErrorPoint::kFrontStorage, kFrontName, 5, 8,
     "The required storage cannot be allocated.  Workspace allocation based on NEQ = %(i1).",
     true},
    {ErrorPoint::kFrontNotInitialised, kFrontName, 5, 9,
     "IDO has been set to %(i1), but the routine has not been initialized in a call with "
     "IDO = 1."},
    {ErrorPoint::kIdoRange, kIntegratorName, 5, 2,
     "The status indicator IDO = %(I1).  It must be in the range 1 to 6."},
    {ErrorPoint::kRepeatedStart, kIntegratorName, 5, 8,
     "IDO = 1.  IDO can only be set to 1 in the initial call to the routine, or if the previous "
     "call was made with IDO = 3."},
    {ErrorPoint::kNotInitialised, kIntegratorName, 5, 9,
     "IDO has been set to %(I1), but the routine has not been initialized in a call with "
     "IDO = 1."},
    {ErrorPoint::kXChanged, kIntegratorName, 5, 5,
     "Independent variable X = %(R1) is changed from the previous call."},
    {ErrorPoint::kXendUnchanged, kIntegratorName, 5, 6,
     "Final point XEND = %(R1) is not changed from the previous call."},
    {ErrorPoint::kNeq, kIntegratorName, 5, 1,
     "The number of equations NEQ = %(I1).  It must be at least 1."},
    {ErrorPoint::kTol, kIntegratorName, 5, 3,
     "The tolerance TOL = %(R1).  It must be greater than 0.0."},
    {ErrorPoint::kInorm, kIntegratorName, 5, 10,
     "The argument PARAM(10) = INORM = %(R1).  It must be less than four."},
    {ErrorPoint::kNegativeEntry, kIntegratorName, 5, 4,
     "Argument PARAM(%(I1)) = %(R1).  It cannot be negative."},
    {ErrorPoint::kXNotFinite, kIntegratorName, 5, 15,
     "Independent variable X = %(R1).  It must be a finite number."},
    {ErrorPoint::kXendNotFinite, kIntegratorName, 5, 16,
     "Final point XEND = %(R1).  It must be a finite number."},
    {ErrorPoint::kYNotFinite, kIntegratorName, 5, 17,
     "Initial value Y(%(I1)) = %(R1).  It must be a finite number."},
    {ErrorPoint::kNanEntry, kIntegratorName, 5, 18,
     "Argument PARAM(%(I1)) = %(R1).  It cannot be NaN."},
    {ErrorPoint::kRtol, kIntegratorName, 5, 19,
     "The relative tolerance RTOL = %(R1).  It must be 0.0 or greater."},
    {ErrorPoint::kAtol, kIntegratorName, 5, 20,
     "The absolute tolerance ATOL(%(I1)) = %(R1).  It must be 0.0 or greater."},
    {ErrorPoint::kAtolCount, kIntegratorName, 5, 21,
     "The number of absolute tolerances is %(I1), but NEQ = %(I2).  There must be one for each "
     "equation."},
    {ErrorPoint::kZeroWeight, kIntegratorName, 5, 22,
     "The absolute tolerance ATOL(%(I1)) and RTOL*|Y(%(I2))| are both 0.0.  The error of that "
     "component cannot be weighted."},
    {ErrorPoint::kHminAboveHmax, kIntegratorName, 5, 7,
     "HMIN = %(R1) is greater than HMAX = %(R2)."},
    {ErrorPoint::kEvaluationLimit, kIntegratorName, 4, 2,
     "Completion of the next step would make the number of function evaluations %(I1), but only "
     "%(I2) evaluations are allowed."},
    {ErrorPoint::kStepLimit, kIntegratorName, 4, 3,
     "Maximum number of steps allowed, %(I1), used.  The problem may be stiff."},
    {ErrorPoint::kToleranceUnmet, kIntegratorName, 4, 1,
     "Unable to satisfy the error requirement.  TOL = %(R1) may be too small."},
    {ErrorPoint::kAnswerBeforeStep, kIntegratorName, 5, 12,
     "IDO has been set to %(I1), but the pause before a step can only be answered with IDO = 4."},
    {ErrorPoint::kAnswerAfterAttempt, kIntegratorName, 5, 13,
     "IDO has been set to %(I1), but the pause after a step attempt can only be answered with "
     "IDO = 5 or IDO = 6."},
    {ErrorPoint::kNoPause, kIntegratorName, 5, 14,
     "IDO has been set to %(I1), but no pause of the routine is waiting for an answer."},
    {ErrorPoint::kUserCode, kIntegratorName, 0, 0, ""},
    {ErrorPoint::kFrontInUse, kFrontName, 5, 11,
     "IVPRK is already in use.  It cannot be called again before the call in progress has "
     "returned."},
    {ErrorPoint::kInUse, kIntegratorName, 5, 11,
     "I2PRK is already in use.  It cannot be called again before the call in progress has "
     "returned."},
    {ErrorPoint::kFrontNoRhs, kFrontName, 5, 21,
     "The right-hand side of the integrator is a null function.  It cannot be evaluated."},
    {ErrorPoint::kFrontMovedFrom, kFrontName, 5, 22,
     "The integrator has been moved from.  It holds no integration until another is assigned to "
     "it."},
    {ErrorPoint::kFrontAssignInUse, kFrontName, 5, 23,
     "The integrator is in use.  It cannot be assigned to or from before the call in progress has "
     "returned."},
    {ErrorPoint::kFrontSetWhileOpen, kFrontName, 5, 24,
     "An integration is open.  The tolerances and the error norm can only be changed before a "
     "call with IDO = 1 or after the call with IDO = 3."},
    {ErrorPoint::kOutputOutside, kDenseName, 5, 1,
     "The output point XOUT(%(I1)) = %(R1) is outside the interval from X = %(R2) to XEND = "
     "%(R3)."},
    {ErrorPoint::kOutputOrder, kDenseName, 5, 2,
     "The output point XOUT(%(I1)) = %(R1) comes before XOUT(%(I2)) = %(R2) in the direction of "
     "integration.  The output points must be in order."},
    {ErrorPoint::kOutputList, kDenseName, 5, 3,
     "The number of output points is %(I1), but no abscissae or no room for the values."},
    {ErrorPoint::kEventsEmpty, kDenseName, 5, 4,
     "The number of event functions is %(I1).  The event list must not be empty."},
    {ErrorPoint::kEventMissing, kDenseName, 5, 5,
     "Event function %(I1) is not given."},
    {ErrorPoint::kEventNaN, kDenseName, 4, 6,
     "Event function %(I1) returned NaN at X = %(R1).  No sign change can be located."},
    {ErrorPoint::kAfterTerminal, kDenseName, 5, 7,
     "The integration ended at a terminal event at X = %(R1).  The next call must have IDO = 3."},
    {ErrorPoint::kDenseStorage, kDenseName, 5, 8,
     "The required storage cannot be allocated.  Storage based on NEQ = %(I1) and %(I2) event "
     "functions."},
    {ErrorPoint::kDenseInUse, kDenseName, 5, 9,
     "IVPEV is already in use.  It cannot be called again, nor its output points or events "
     "changed, before the call in progress has returned."},
    {ErrorPoint::kIntegratorGone, kDenseName, 5, 10,
     "The integration this DenseOutput works through no longer exists.  Its integrator was "
     "destroyed or assigned to, or had been moved from when the DenseOutput was made."},
    {ErrorPoint::kBracketUlps, kDenseName, 5, 11,
     "The event setting BRACKET_ULPS = %(I1).  It must be in the range 0 to 65536."},
    {ErrorPoint::kMaxIterations, kDenseName, 5, 12,
     "The event setting MAX_ITERATIONS = %(I1).  It must be at least 1."},
}};
// clang-format on

// Every row sits at the index of its point.
inline constexpr bool kReportsInOrder = [] {
  for (std::size_t i = 0; i < kReports.size(); ++i) {
    if (static_cast<std::size_t>(kReports[i].point) != i) return false;
  }
  return true;
}();
static_assert(kReportsInOrder, "a row of kReports is out of the order of ErrorPoint");

constexpr const Report& report_of(ErrorPoint point) {
  return kReports[static_cast<std::size_t>(point)];
}

}  // namespace rkv::ode
