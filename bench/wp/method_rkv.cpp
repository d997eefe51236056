// This solver on the work-precision problems, in both storage types.
//
// Tolerance mapping, the same for both rows: set_tolerances(rtol = tol,
// atol = tol, max norm) and TOL = 1, so each step's local error estimate is
// held below tol + tol*max(|y_i| at the step's start, |y_i| at its end),
// component by component: the absolute and relative tolerance pair that
// odeint (abs = rel = tol) and SciPy (rtol = atol = tol) are given. HMAX is
// the default 2 (the largest the solver takes with PARAM(9) = 1), the step
// limit is lifted (PARAM(4) = 0.5) and the evaluations are limited to 4e6
// so that a tolerance the arithmetic cannot meet (float's, below about
// 1e-7) ends the run instead of stalling it. Errors are neither printed nor
// stop the process; a run that ends in one is marked failed with the
// error's text.
#include <array>
#include <cstdint>
#include <string>

#include "method.hpp"
#include "problems.hpp"
#include "rkv/errors/control.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/param.hpp"

namespace rkv::bench::wp {
namespace {

constexpr double kEvaluationLimit = 4.0e6;

template <class P, class Real>
Run run_rkv(double tol) {
  SETERRATTR(kAllTypes, kAttrOff, kAttrOff);
  BasicIntegrator<Real> it([](const std::int32_t&, const Real&, const Real* y, Real* yp) {
    P::template rhs<Real>(y, yp);
  });
  std::array<double, P::kNeq> y0{};
  P::initial(y0.data());
  std::array<Real, P::kNeq> y{};
  for (std::size_t i = 0; i < y.size(); ++i) y[i] = static_cast<Real>(y0[i]);
  std::array<Real, param::kSize> prm{};
  prm[3] = Real(0.5);  // PARAM(4): no step limit
  prm[4] = static_cast<Real>(kEvaluationLimit);
  const Real rtol = static_cast<Real>(tol);
  it.set_tolerances(rtol, rtol, ToleranceNorm::kMax);
  std::int32_t ido = 1;
  const std::int32_t neq = P::kNeq;
  Real x = static_cast<Real>(P::kT0);
  const Real xend = static_cast<Real>(P::kT1);
  const Real one = 1;  // TOL: the step is accepted when the weighted error is at most 1
  it.integrate(ido, neq, x, xend, one, prm.data(), y.data());
  Run r;
  r.ok = N1RTY(1) < kFatal && ido == 2;
  if (!r.ok) r.note = std::string(GETERRTEXT());
  r.steps = static_cast<std::int64_t>(prm[33]);
  r.evaluations = static_cast<std::int64_t>(prm[34]);
  r.y.assign(y.begin(), y.end());
  ido = 3;
  it.integrate(ido, neq, x, xend, one, prm.data(), y.data());
  return r;
}

template <class... P>
void add_all(std::vector<Entry>& table, std::tuple<P...>*) {
  (table.push_back({P::kName, "rkv", "float", run_rkv<P, float>}), ...);
  (table.push_back({P::kName, "rkv", "double", run_rkv<P, double>}), ...);
}

}  // namespace

void add_rkv_methods(std::vector<Entry>& table) {
  add_all(table, static_cast<AllProblems*>(nullptr));
}

}  // namespace rkv::bench::wp
