// The start of a distributed integration (IDO = 1): the global size and
// this process's offset, the checks on Y and the tolerances over the whole
// system (the first offending component, reported by its global index on
// every process), and the first step derived from the tolerances.
#pragma once

#include <cstdint>

#include "state.hpp"

namespace rkv::mpi {

// Sizes the system and checks Y and the tolerances; collective. Returns
// false when the start has been refused with a report (on every process).
template <class Real>
bool start_checks(DistributedState<Real>& s, std::int32_t neq, const Real& x, const Real& xend,
                  const Real& tol, const Real* y);

// Reads INORM and its floor from PARAM for the norm.
template <class Real>
void read_norm_settings(NormSettings<Real>& n, const Real* param);

// The PARAM(1) entry that makes the local integrator, whose norm is a hook,
// take the first step the serial one takes with tolerances (derived from
// TOL * RTOL or TOL * the largest ATOL_i instead of TOL); PARAM(1) itself
// when no substitute is needed. Collective.
template <class Real>
Real first_step_entry(const DistributedState<Real>& s, const Real& tol, const Real* param);

}  // namespace rkv::mpi
