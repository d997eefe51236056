// The arguments of one call of the integrator as its stepping loop sees
// them, and where the loop is entered; internal to the integrator
// (i2prk.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "front/instance.hpp"
#include "step/solver_state.hpp"
#include "step/tolerances.hpp"
#include "step/user_calls.hpp"
#include "step/work_columns.hpp"

namespace rkv::ode {

// The arguments of one call, as the loop sees them.
template <class Real, class Rhs>
struct Call {
  std::int32_t& ido;
  std::int32_t neq;  // copied at entry: it sizes every loop over the workspace
  const Rhs& rhs;
  Real& x;
  const Real& xend;
  const Real& tol;
  Real* y;
  const BasicNorm<Real>& norm;
  Real* wk;
  const BasicAcceptObserver<Real>* observer;
};

// Where the stepping loop is entered: its head (IDO 1 and 2), the attempt
// (after a pause before the step) or the decision (after one after it).
enum class Resume { kLoopHead, kAttempt, kDecision };

template <class Real, class Rhs>
Real* column(const Call<Real, Rhs>& c, Column which) {
  return column(c.wk, static_cast<std::size_t>(c.neq), which);
}

// TOL, or the tolerance the first step is derived from when tolerances are set.
template <class Real, class Rhs>
Real start_tolerance(const Call<Real, Rhs>& c) {
  const Tolerances<Real>* t = c.norm.tolerances;
  return t != nullptr ? start_tolerance(*t, c.neq, c.tol) : c.tol;
}

}  // namespace rkv::ode
