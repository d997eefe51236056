// The solver's error reports: type, code and message text of every error
// point of IVPRK and I2PRK. Placeholders are expanded from the parameters
// stored just before posting (I = integer, R = real); the front end writes
// them in lower case, which the expansion accepts as well. Each text is
// passed with its exact length.
#pragma once

#include <cstdint>
#include <string_view>

namespace rkv::ode {

struct Report {
  std::int32_t type;  // 4 FATAL, 5 TERMINAL
  std::int32_t code;
  std::string_view text;
};

inline constexpr std::string_view kFrontName = "IVPRK ";
inline constexpr std::string_view kIntegratorName = "I2PRK ";

namespace report {

// Integrator I2PRK.
inline constexpr Report kIdoRange{
    5, 2, "The status indicator IDO = %(I1).  It must be in the range 1 to 6."};
inline constexpr Report kRepeatedStart{
    5, 8,
    "IDO = 1.  IDO can only be set to 1 in the initial call to the routine, or if the previous "
    "call was made with IDO = 3."};
inline constexpr Report kNotInitialised{
    5, 9,
    "IDO has been set to %(I1), but the routine has not been initialized in a call with IDO = 1."};
inline constexpr Report kXChanged{
    5, 5, "Independent variable X = %(R1) is changed from the previous call."};
inline constexpr Report kXendUnchanged{
    5, 6, "Final point XEND = %(R1) is not changed from the previous call."};
inline constexpr Report kNeq{5, 1, "The number of equations NEQ = %(I1).  It must be at least 1."};
inline constexpr Report kTol{5, 3, "The tolerance TOL = %(R1).  It must be greater than 0.0."};
inline constexpr Report kInorm{
    5, 10, "The argument PARAM(10) = INORM = %(R1).  It must be less than four."};
inline constexpr Report kNegativeEntry{5, 4,
                                       "Argument PARAM(%(I1)) = %(R1).  It cannot be negative."};
inline constexpr Report kXNotFinite{5, 15,
                                    "Independent variable X = %(R1).  It must be a finite number."};
inline constexpr Report kXendNotFinite{5, 16,
                                       "Final point XEND = %(R1).  It must be a finite number."};
inline constexpr Report kYNotFinite{5, 17,
                                    "Initial value Y(%(I1)) = %(R1).  It must be a finite number."};
inline constexpr Report kNanEntry{5, 18, "Argument PARAM(%(I1)) = %(R1).  It cannot be NaN."};
inline constexpr Report kHminAboveHmax{5, 7, "HMIN = %(R1) is greater than HMAX = %(R2)."};
inline constexpr Report kEvaluationLimit{
    4, 2,
    "Completion of the next step would make the number of function evaluations %(I1), but only "
    "%(I2) evaluations are allowed."};
inline constexpr Report kStepLimit{
    4, 3, "Maximum number of steps allowed, %(I1), used.  The problem may be stiff."};
inline constexpr Report kToleranceUnmet{
    4, 1, "Unable to satisfy the error requirement.  TOL = %(R1) may be too small."};
inline constexpr Report kAnswerBeforeStep{
    5, 12,
    "IDO has been set to %(I1), but the pause before a step can only be answered with IDO = 4."};
inline constexpr Report kAnswerAfterAttempt{
    5, 13,
    "IDO has been set to %(I1), but the pause after a step attempt can only be answered with "
    "IDO = 5 or IDO = 6."};
inline constexpr Report kNoPause{
    5, 14, "IDO has been set to %(I1), but no pause of the routine is waiting for an answer."};
inline constexpr Report kInUse{
    5, 11,
    "I2PRK is already in use.  It cannot be called again before the call in progress has "
    "returned."};

// Front end IVPRK.
inline constexpr Report kFrontIdoRange{
    5, 2, "The status indicator IDO = %(i1).  It must be in the range 1 to 6."};
inline constexpr Report kFrontNeq{5, 1,
                                  "The number of equations NEQ = %(i1).  It must be at least 1."};
inline constexpr Report kFrontStorage{
    5, 8, "The required storage cannot be allocated.  Workspace allocation based on NEQ = %(i1)."};
inline constexpr Report kFrontNotInitialised{
    5, 9,
    "IDO has been set to %(i1), but the routine has not been initialized in a call with IDO = 1."};
inline constexpr Report kFrontInUse{
    5, 11,
    "IVPRK is already in use.  It cannot be called again before the call in progress has "
    "returned."};

// ---- begin: refusals of the integrator objects (IVPRK, TERMINAL) ----
inline constexpr Report kFrontNoRhs{
    5, 21, "The right-hand side of the integrator is a null function.  It cannot be evaluated."};
inline constexpr Report kFrontMovedFrom{
    5, 22,
    "The integrator has been moved from.  It holds no integration until another is assigned to "
    "it."};
inline constexpr Report kFrontAssignInUse{
    5, 23,
    "The integrator is in use.  It cannot be assigned to or from before the call in progress has "
    "returned."};
// ---- end: refusals of the integrator objects ----

}  // namespace report
}  // namespace rkv::ode
