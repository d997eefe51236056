// This solver on the work-precision problems. Tolerance mapping: TOL = tol
// with INORM 0 (PARAM(10) = 0), so each step's error estimate, component by
// component relative to max(|y_i|, 1), is held below TOL in the max norm:
// an absolute and relative tolerance of tol together, as odeint's abs = rel
// = tol asks with a sum in place of the max. HMAX is the default 2 (the
// largest the solver takes with PARAM(9) = 1), the step limit is lifted
// (PARAM(4) = 0.5) and the evaluations are limited to 4e6 so that a
// tolerance the float arithmetic cannot meet ends the run instead of
// stalling it. Errors are neither printed nor stop the process; a run that
// ends in one is marked failed with the error's text.
//
// When the solver over double arrives, it is one more runner here (the same
// template with Real = double) and one more line in add_rkv_methods.
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

constexpr float kEvaluationLimit = 4.0e6f;

template <class P>
Run run_rkv_float(double tol) {
  SETERRATTR(kAllTypes, kAttrOff, kAttrOff);
  Integrator it([](const std::int32_t&, const float&, const float* y, float* yp) {
    P::template rhs<float>(y, yp);
  });
  std::array<double, P::kNeq> y0{};
  P::initial(y0.data());
  std::array<float, P::kNeq> y{};
  for (std::size_t i = 0; i < y.size(); ++i) y[i] = static_cast<float>(y0[i]);
  std::array<float, param::kSize> prm{};
  prm[3] = 0.5f;  // PARAM(4): no step limit
  prm[4] = kEvaluationLimit;
  std::int32_t ido = 1;
  const std::int32_t neq = P::kNeq;
  float x = static_cast<float>(P::kT0);
  const float xend = static_cast<float>(P::kT1);
  const float ftol = static_cast<float>(tol);
  it.integrate(ido, neq, x, xend, ftol, prm.data(), y.data());
  Run r;
  r.ok = N1RTY(1) < kFatal && ido == 2;
  if (!r.ok) r.note = std::string(GETERRTEXT());
  r.steps = static_cast<std::int64_t>(prm[33]);
  r.evaluations = static_cast<std::int64_t>(prm[34]);
  r.y.assign(y.begin(), y.end());
  ido = 3;
  it.integrate(ido, neq, x, xend, ftol, prm.data(), y.data());
  return r;
}

template <class... P>
void add_all(std::vector<Entry>& table, std::tuple<P...>*) {
  (table.push_back({P::kName, "rkv", "float", run_rkv_float<P>}), ...);
}

}  // namespace

void add_rkv_methods(std::vector<Entry>& table) {
  add_all(table, static_cast<AllProblems*>(nullptr));
}

}  // namespace rkv::bench::wp
