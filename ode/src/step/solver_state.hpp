// The persistent state of the integrator I2PRK and the front end's workspace.
//
// Each solver instance (front/instance.hpp) has one of each; both start out all
// zeros: before the first IDO = 1 call nothing is open and nothing is held. The integrator opens an
// integration on IDO = 1 and closes it on IDO = 3; the front end IVPRK holds the workspace of
// 10*NEQ reals from its IDO = 1 call until the call with IDO = 3 returns.
//
// Reals are held in the storage type `Real` (float or double) and counts
// 32-bit signed, as stored by the algorithm: every quantity it names and
// assigns is held here as a Real. The float state is SolverState.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "reports/error_point.hpp"
#include "step/work_columns.hpp"

namespace rkv::ode {

inline constexpr std::int32_t kTableSize = 43;  // the Verner pair's coefficients

// Settings, read from PARAM only by IDO = 1 (entries greater than 0 replace
// the defaults). Logical settings hold any non-zero value for "on".
template <class Real>
struct BasicSettings {
  Real initial_step;          // PARAM(1); 0 = derive from HMAX and TOL
  Real hmin;                  // PARAM(2); 0 = computed on the first attempt
  Real hmax;                  // PARAM(3), capped at 2/s by PARAM(9)
  std::int32_t max_steps;     // PARAM(4); 0 = no limit
  std::int32_t max_evals;     // PARAM(5); 0 = no limit
  std::int32_t pause_before;  // PARAM(7): return with IDO = 4 before each step
  std::int32_t pause_after;   // PARAM(8): return with IDO = 5/6 after each attempt
  Real scale;                 // PARAM(9): error scale factor s
  std::int32_t inorm;         // PARAM(10): error norm 0..3
  Real floor;                 // PARAM(11): lower bound of the INORM = 2 norm
};
using Settings = BasicSettings<float>;

// The pause the last call returned with, waiting for the caller's answer.
enum class Pause : std::int32_t {
  kNone = 0,
  kBeforeStep,    // returned IDO = 4; the answer is 4
  kAfterAttempt,  // returned IDO = 5 or 6; the answer is 5 or 6
};

template <class Real>
struct BasicSolverState {
  std::int32_t initialised;   // an integration is open (IDO = 1 .. IDO = 3)
  std::int32_t table_loaded;  // table, eps and tiny loaded (once per instance)
  std::array<Real, kTableSize> table;
  Real eps;                        // relative spacing at 1, for the default HMIN
  Real tiny;                       // smallest normalised number, for the default HMIN
  std::int32_t interval_complete;  // the last call reached its XEND
  Real last_end;                   // where the next interval must start
  Real h;                          // magnitude of the next / last trial step
  Real step;                       // signed step H = XNEW - X of the last attempt
  Real xnew;                       // end point of the last attempt
  Real error;                      // error measure E of the last attempt
  Real enorm;                      // norm of the last error vector
  Real xstart;                     // copy of X at the start of the attempt
  Real xstage;                     // abscissa of the stage being evaluated
  std::int32_t rejections;         // consecutive rejections of the current step
  std::int32_t accepted;           // accepted steps since IDO = 1
  std::int32_t evaluations;        // right-hand side calls since IDO = 1
  BasicSettings<Real> settings;
  Pause pause;             // the pause waiting for an answer
  std::int32_t shown_neq;  // > 0 while Y shows the candidate of a pause after an
                           // attempt: the count Y and the candidate were exchanged with
  std::int32_t k1_ready;   // column k1 already holds f(X, Y), written by an accept
                           // observer; the next loop head takes it as k1
  ErrorPoint last_error;   // the error point that ended the last call
};
using SolverState = BasicSolverState<float>;

// The state of the calling thread's default instance, the one IVPRK and a
// direct call of I2PRK use (front/instance.hpp).
SolverState& solver_state();

// The workspace held by the front end: `size` reals, or none (nullptr),
// starting on a cache line within the allocated `block`.
template <class Real>
struct BasicWorkspace {
  Real* data;
  std::size_t size;
  void* block;  // what was allocated, and is released
};
using Workspace = BasicWorkspace<float>;
// The workspace of the calling thread's default instance.
Workspace& front_end_workspace();

}  // namespace rkv::ode
