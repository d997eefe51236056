// The places where a call of the solver ends with an error, and the names
// of the routines that report them. Each point is one row of the report
// table (reports/report_table.hpp), in the same order; adding a report is
// one value here and one row there.
#pragma once

#include <cstdint>
#include <string_view>

namespace rkv::ode {

inline constexpr std::string_view kFrontName = "IVPRK ";
inline constexpr std::string_view kIntegratorName = "I2PRK ";
inline constexpr std::string_view kDenseName = "IVPEV ";

enum class ErrorPoint : std::int32_t {
  kNone = 0,
  // Front end.
  kFrontIdoRange,
  kFrontNeq,
  kFrontStorage,
  kFrontNotInitialised,
  // Integrator, checks of the call.
  kIdoRange,
  kRepeatedStart,
  kNotInitialised,
  kXChanged,
  kXendUnchanged,
  // Integrator, start-up checks.
  kNeq,
  kTol,
  kInorm,
  kNegativeEntry,
  kXNotFinite,
  kXendNotFinite,
  kYNotFinite,
  kNanEntry,
  // Integrator, start-up checks of an object's tolerances.
  kRtol,
  kAtol,
  kAtolCount,
  kZeroWeight,
  // Integrator, inside the stepping loop.
  kHminAboveHmax,
  kEvaluationLimit,
  kStepLimit,
  kToleranceUnmet,
  // The answer does not fit the pending pause (or none is pending).
  kAnswerBeforeStep,
  kAnswerAfterAttempt,
  kNoPause,
  // A serious error posted by user code during a call of the right-hand
  // side or of the norm routine (no message of the solver's own).
  kUserCode,
  // A call made while a call of the same solver is in progress; never
  // recorded in the state, which belongs to the call in progress.
  kFrontInUse,
  kInUse,
  // Refusals of the integrator objects, posted without a point.
  kFrontNoRhs,
  kFrontMovedFrom,
  kFrontAssignInUse,
  kFrontSetWhileOpen,
  // The output-point and event layer; not recorded in a solver state.
  kOutputOutside,
  kOutputOrder,
  kOutputList,
  kEventsEmpty,
  kEventMissing,
  kEventNaN,
  kAfterTerminal,
  kDenseStorage,
  kDenseInUse,
  kIntegratorGone,
  kBracketUlps,
  kMaxIterations,
  kCount  // the number of points
};

}  // namespace rkv::ode
