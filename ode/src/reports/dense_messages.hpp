// The reports of the output-point and event layer (IVPEV): type, code and
// text of each. Placeholders are expanded from the parameters stored just
// before posting.
#pragma once

#include <string_view>

#include "reports/solver_messages.hpp"

namespace rkv::ode {

inline constexpr std::string_view kDenseName = "IVPEV ";

namespace report {

inline constexpr Report kOutputOutside{
    5, 1,
    "The output point XOUT(%(I1)) = %(R1) is outside the interval from X = %(R2) to XEND = "
    "%(R3)."};
inline constexpr Report kOutputOrder{
    5, 2,
    "The output point XOUT(%(I1)) = %(R1) comes before XOUT(%(I2)) = %(R2) in the direction of "
    "integration.  The output points must be in order."};
inline constexpr Report kOutputList{
    5, 3, "The number of output points is %(I1), but no abscissae or no room for the values."};
inline constexpr Report kEventsEmpty{
    5, 4, "The number of event functions is %(I1).  The event list must not be empty."};
inline constexpr Report kEventMissing{5, 5, "Event function %(I1) is not given."};
inline constexpr Report kEventNaN{
    4, 6, "Event function %(I1) returned NaN at X = %(R1).  No sign change can be located."};
inline constexpr Report kAfterTerminal{
    5, 7,
    "The integration ended at a terminal event at X = %(R1).  The next call must have IDO = 3."};
inline constexpr Report kDenseStorage{
    5, 8,
    "The required storage cannot be allocated.  Storage based on NEQ = %(I1) and %(I2) event "
    "functions."};

// ---- begin: refusals of the output and event layer's objects (IVPEV) ----
inline constexpr Report kDenseInUse{
    5, 9,
    "IVPEV is already in use.  It cannot be called again, nor its output points or events "
    "changed, before the call in progress has returned."};
inline constexpr Report kIntegratorGone{
    5, 10,
    "The integration this DenseOutput works through no longer exists.  Its integrator was "
    "destroyed or assigned to, or had been moved from when the DenseOutput was made."};
inline constexpr Report kBracketUlps{
    5, 11, "The event setting BRACKET_ULPS = %(I1).  It must be in the range 0 to 65536."};
inline constexpr Report kMaxIterations{
    5, 12, "The event setting MAX_ITERATIONS = %(I1).  It must be at least 1."};
// ---- end: refusals of the output and event layer's objects ----

}  // namespace report
}  // namespace rkv::ode
