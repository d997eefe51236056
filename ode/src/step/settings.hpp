// The integrator's settings and statistics: the defaults, the reading of the
// PARAM entries 1 to 11 on IDO = 1, and the writing of PARAM(31..35) on every
// return. Kept apart from the stepping algorithm, which only reads
// SolverState::settings.
#pragma once

#include "step/solver_state.hpp"

namespace rkv::ode {

// The coefficient table and the two machine constants of the default HMIN,
// loaded by the instance's first IDO = 1 call and kept until it ends: the
// table rounded to the storage type, the constants of its format.
template <class Real>
void load_constants(BasicSolverState<Real>& s);

// Setting defaults, counts 0 and trial step magnitude 0 (start-up, each IDO = 1).
template <class Real>
void set_defaults(BasicSolverState<Real>& s);

// Reads the entries greater than 0, in the order 1, 2, 3, 4, 5, 7, 8, 9, 10,
// 11; entry 9 also caps HMAX at 2/s. Entries that are 0, negative or NaN keep
// the default.
template <class Real>
void read_settings(BasicSolverState<Real>& s, const Real* entries);

// PARAM(31..35): signed last step, HMIN, HMAX, accepted steps, evaluations.
template <class Real>
void write_statistics(const BasicSolverState<Real>& s, Real* entries);

// Whether PARAM(10) is refused: its nearest integer (halves away from zero)
// exceeds 3.
bool inorm_refused(double entry);

}  // namespace rkv::ode
