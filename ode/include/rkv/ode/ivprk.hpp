// IVPRK: adaptive Runge-Kutta-Verner 6(5) integration of NEQ first-order
// equations y' = f(x, y), driven by the status protocol IDO.
//
//   IDO = 1  start (settings read from PARAM), integrate from X to XEND
//   IDO = 2  continue to a new XEND
//   IDO = 3  end: close the integration and release the workspace
//   IDO = 4  answer to a pause before a step: take it
//   IDO = 5  answer to a pause after an attempt: accept it
//   IDO = 6  answer to a pause after an attempt: reject it
// On return IDO is 2 when XEND was reached, 4/5/6 at a pause, 3 after the
// closing call. Errors are posted through the error family.
//
// A pause before a step is answered with 4 only, a pause after an attempt
// with 5 or 6 (either overrules the solver's verdict); 4, 5 or 6 with no
// pause waiting, or another answer to a pause, is refused. IVPRK keeps one
// integration per thread; a call made while a call is in progress on the
// same thread (from the right-hand side or the norm routine) is refused
// without touching the integration in progress. For several integrations at
// once see rkv::Integrator (integrator.hpp).
//
// Exceptions: an exception thrown by the right-hand side (or, for I2PRK, the
// norm routine) passes through unchanged. On the way out the routine names
// pushed are popped and the in-use flag released; the integration stays open
// at its last accepted point, so that IDO = 2 with the same XEND goes on and
// IDO = 3 closes. With the stops off, IDO holds the value of the moment after
// a failed call (it may be 2 with X short of XEND): N1RTY(1) says whether the
// call posted an error; rkv::Integrator returns it.
#pragma once

#include <cstdint>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

// Right-hand side: writes YPRIME(1..NEQ) = f(X, Y(1..NEQ)).
using RhsFunction = void (*)(const std::int32_t& neq, const float& x, const float* y,
                             float* yprime);

// Error norm routine, called as I2ERRNRM is (V error vector, Y the solution at
// the start of the step, W the running maximum of |y|).
using NormFunction = void (*)(const std::int32_t& neq, const float* v, const float* y,
                              const float* w, float& enorm);

// PARAM has 50 entries (see param.hpp); Y has NEQ entries.
void IVPRK(std::int32_t& ido, const std::int32_t& neq, RhsFunction fcn, float& x, const float& xend,
           const float& tol, float* param, float* y);

// The integrator behind IVPRK; `wk` is a workspace of 10*NEQ reals.
void I2PRK(std::int32_t& ido, const std::int32_t& neq, RhsFunction fcn, float& x, const float& xend,
           const float& tol, float* param, float* y, NormFunction fnorm, float* wk);

// The error norm selected by PARAM(10) = INORM (0..3).
void I2ERRNRM(const std::int32_t& neq, const float* v, const float* y, const float* w,
              float& enorm);

}  // namespace rkv

#pragma GCC visibility pop
