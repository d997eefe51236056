// Tolerances as the users of other solvers set them, and a user's own error
// norm: the two ways an integrator object can replace the INORM norms.
//
// With tolerances set, the error norm of an attempt is weighted component
// by component with w_i = ATOL_i + RTOL * max(|y_i| at the step's start,
// |y_i| at its end): the maximum of |v_i| / w_i, or the root mean square
// sqrt(mean_i (v_i / w_i)^2). v is the error vector of the attempt divided
// by its step, so |H| * norm is the weighted norm of the local error
// estimate, and the step is accepted when that (times PARAM(9)) is at most
// TOL: TOL = 1 asks for exactly the tolerances, a smaller TOL scales both
// down alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "step/solver_state.hpp"

namespace rkv::ode {

enum class NormKind : std::int32_t { kNone = 0, kMax = 1, kRms = 2 };

template <class Real>
struct Tolerances {
  NormKind kind = NormKind::kNone;
  Real rtol = Real{0};
  Real atol = Real{0};         // one for every component (`each` empty)
  bool per_component = false;  // `each` holds the components' own
  std::vector<Real> each;      // copied when set, never resized while stepping
  [[nodiscard]] Real atol_of(std::int32_t i) const {
    return per_component ? each[static_cast<std::size_t>(i)] : atol;
  }
  [[nodiscard]] std::int32_t count() const { return static_cast<std::int32_t>(each.size()); }
};

// A user's error norm, owned by the instance: called once per attempt as
// call(self, NEQ, V, Y0, Y1, YMAX) and returning the norm ENORM.
template <class Real>
struct UserNorm {
  Real (*call)(void* self, std::int32_t neq, const Real* v, const Real* y0, const Real* y1,
               const Real* ymax) = nullptr;
  void* self = nullptr;
  void (*release)(void* self) = nullptr;
  void reset() {
    if (release != nullptr) release(self);
    call = nullptr;
    self = nullptr;
    release = nullptr;
  }
};

// The weighted norm of `v` with the tolerances `t` (kind kMax or kRms),
// evaluated in double and rounded once to the storage type; NaN when any
// quotient is NaN, so that the attempt is rejected.
template <class Real>
Real weighted_norm(const Tolerances<Real>& t, std::int32_t neq, const Real* v, const Real* y0,
                   const Real* y1);

// Start-up checks against NEQ and the initial Y: RTOL and every ATOL_i 0 or
// greater (not NaN), one ATOL per equation when they are per component, and
// no component whose weight ATOL_i + RTOL*|y_i| is 0 at the start. Posts
// the first offence found.
template <class Real>
void check_tolerances(BasicSolverState<Real>& s, const Tolerances<Real>& t, std::int32_t neq,
                      const Real* y);

// The tolerance the first trial step is derived from (in place of TOL):
// TOL * RTOL, or TOL * the largest ATOL_i when RTOL is 0.
template <class Real>
Real start_tolerance(const Tolerances<Real>& t, std::int32_t neq, Real tol);

}  // namespace rkv::ode
