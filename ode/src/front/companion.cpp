// Start-up services for companion drivers (rkv/ode/companion.hpp), on the
// integrator's own report table, settings and step-size control.
#include "rkv/ode/companion.hpp"

#include <array>
#include <cstddef>

#include "reports/error_points.hpp"
#include "reports/report_table.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/ode/param.hpp"
#include "step/settings.hpp"
#include "step/step_control.hpp"
#include "step/tolerances.hpp"

namespace rkv::ode {
namespace {

// The error point of each refusal, in the order of StartRefusal.
constexpr std::array<ErrorPoint, 6> kRefusalPoints{
    ErrorPoint::kNeq,  ErrorPoint::kYNotFinite, ErrorPoint::kRtol,
    ErrorPoint::kAtol, ErrorPoint::kAtolCount,  ErrorPoint::kZeroWeight,
};

template <class Real>
void post_refusal(StartRefusal kind, std::int32_t i1, std::int32_t i2, Real r1) {
  const auto index = static_cast<std::size_t>(kind);
  if (index >= kRefusalPoints.size()) return;
  const ErrorPoint point = kRefusalPoints[index];
  const std::string_view routine = report_of(point).routine;
  E1PSH(kFrontName);
  E1PSH(routine);
  post_report(point, {i1, i2, r1});
  E1POP(routine);
  E1POP(kFrontName);
}

template <class Real>
Real first_step(const Real& tol, const Real* param, const Real& rtol, const Real& largest_atol) {
  const Real given = param::get(param, param::kInitialStep);
  if (given != Real{0}) return given;
  // The settings as the start of a call reads them (HMAX capped by PARAM(9)).
  BasicSolverState<Real> s{};
  set_defaults(s);
  read_settings(s, param);
  Tolerances<Real> t;
  t.rtol = rtol;
  t.atol = largest_atol;
  const Real start = start_tolerance(t, 1, tol);
  // The first step-size choice doubles the initial magnitude (E = 0 then):
  // exact, as halving it again is.
  const Real h = initial_magnitude(Real{0}, s.settings.hmax, start);
  return static_cast<Real>(2.0 * static_cast<double>(h));
}

}  // namespace

void post_start_refusal(StartRefusal kind, std::int32_t i1, std::int32_t i2, float r1) {
  post_refusal(kind, i1, i2, r1);
}

void post_start_refusal(StartRefusal kind, std::int32_t i1, std::int32_t i2, double r1) {
  post_refusal(kind, i1, i2, r1);
}

float first_trial_step(const float& tol, const float* param, const float& rtol,
                       const float& largest_atol) {
  return first_step(tol, param, rtol, largest_atol);
}

double first_trial_step(const double& tol, const double* param, const double& rtol,
                        const double& largest_atol) {
  return first_step(tol, param, rtol, largest_atol);
}

}  // namespace rkv::ode
