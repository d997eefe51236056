// The benchmarked integrations, each run either through IVPRK or through the
// floor, so that the two can be timed and compared bit for bit.
//   P1  the trajectory model, x = 0 to 0.4 in output intervals of 0.1,
//       HMAX = 0.001, TOL = 1e-6, no step limit
//   P2  y_i' = -y_i (1 + i mod 7) / 7 (i 1-based), y_i(0) = 1e20, TOL = 1e-6,
//       default settings, over one interval that takes about 100 steps
#pragma once

#include <cstdint>
#include <vector>

#include "cache_aligned.hpp"
#include "floor.hpp"

namespace rkv::bench {

// What a run leaves behind: the point reached, the solution, and the
// statistics PARAM(31), PARAM(34), PARAM(35) (the floor's equivalents).
template <class Real>
struct BasicOutcome {
  Real x = 0;
  std::vector<Real, CacheAligned<Real>> y;  // on a cache line, as the workspaces
  Real last_step = 0;
  Real accepted = 0;
  Real evaluations = 0;
  Real rejections = 0;  // floor only; the solver does not report it
  bool ok = false;      // every interval reached its end
};
using Outcome = BasicOutcome<float>;
using DoubleOutcome = BasicOutcome<double>;

inline constexpr float kTol = 1.0e-6f;

// P1.
inline constexpr float kP1Hmax = 0.001f;
inline constexpr float kP1OutputStep = 0.1f;
inline constexpr std::int32_t kP1Intervals = 4;

inline constexpr float kP2Start = 1.0e20f;

// P2: the right-hand side and the interval end for NEQ equations.
void p2_rhs(const std::int32_t& neq, const float& x, const float* y, float* yprime);
float p2_xend(std::int32_t neq);

// Each run resets all it depends on (TRAJDATA, y) and, for the solver, ends
// with IDO = 3 so that the next run can start afresh. `y` is the caller's
// buffer of NEQ reals, reused across runs.
void p1_solver(Outcome& out);
void p1_floor(Floor& fl, Outcome& out);
void p2_solver(std::int32_t neq, Outcome& out);
void p2_floor(Floor& fl, std::int32_t neq, Outcome& out);

// The same runs in double: the solver through a DoubleIntegrator (one kept
// for all runs, each started with IDO = 1 and ended with IDO = 3), the floor as DoubleFloor. P1's
// model is the trajectory model carried in double throughout, on the same
// record; P2's right-hand side is P2's in double.
void p2_rhs_double(const std::int32_t& neq, const double& x, const double* y, double* yprime);
void p1_solver_double(DoubleOutcome& out);
void p1_floor_double(DoubleFloor& fl, DoubleOutcome& out);
void p2_solver_double(std::int32_t neq, DoubleOutcome& out);
void p2_floor_double(DoubleFloor& fl, std::int32_t neq, DoubleOutcome& out);

// Bytes the floor must move per accepted step of a run of NEQ equations:
// every array element read or written once per pass, 4 or 8 bytes each (see
// workloads.cpp for the pass count).
double floor_bytes_per_step(std::int32_t neq, const Outcome& out);
double floor_bytes_per_step(std::int32_t neq, const DoubleOutcome& out);

}  // namespace rkv::bench
