// The integrator's start-up for companion drivers: a driver that runs a
// BasicIntegrator over part of a larger system (one slice of it per
// process, say) and checks the whole system itself uses these so that its
// refusals and its first step stay the integrator's own, with the same
// report texts, codes and routine names and the same first trial step.
#pragma once

#include <cstdint>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv::ode {

// The start-up refusals (all TERMINAL) that concern the whole system.
enum class StartRefusal : std::int32_t {
  kNeq,         // I1 = NEQ
  kYNotFinite,  // I1 = index (1-based), R1 = Y(I1)
  kRtol,        // R1 = RTOL
  kAtol,        // I1 = index, R1 = ATOL(I1)
  kAtolCount,   // I1 = count of ATOL, I2 = NEQ
  kZeroWeight,  // I1 = I2 = index
};

// Posts `kind` as the integrator posts it at the start of a call with
// IDO = 1: under the routine names IVPRK and I2PRK, pushed and popped
// here, with the integer values i1, i2 and the real value r1 (a float as
// every report of the float path prints it, a double at double precision).
// Values a text does not name are ignored.
void post_start_refusal(StartRefusal kind, std::int32_t i1, std::int32_t i2, float r1);
void post_start_refusal(StartRefusal kind, std::int32_t i1, std::int32_t i2, double r1);

// The magnitude of the first trial step the integrator takes, before the
// HMIN and HMAX clamp, when PARAM(1) is 0 and tolerances are set: derived
// from the start tolerance TOL * RTOL, or TOL * `largest_atol` (the largest
// ATOL_i of the whole system) when RTOL is 0, and from HMAX as PARAM(3)
// and PARAM(9) give it. Giving it as PARAM(1) to an integrator without
// tolerances makes that one start with the same step. PARAM(1) itself when
// it is not 0.
float first_trial_step(const float& tol, const float* param, const float& rtol,
                       const float& largest_atol);
double first_trial_step(const double& tol, const double* param, const double& rtol,
                        const double& largest_atol);

}  // namespace rkv::ode

#pragma GCC visibility pop
