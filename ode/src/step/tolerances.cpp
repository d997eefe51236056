// The tolerances of an integrator object: their weighted norms and their
// start-up checks (step/tolerances.hpp).
#include "step/tolerances.hpp"

#include <cmath>
#include <limits>

#include "reports/error_points.hpp"

namespace rkv::ode {

template <class Real>
Real weighted_norm(const Tolerances<Real>& t, std::int32_t neq, const Real* v, const Real* y0,
                   const Real* y1) {
  const double rtol = static_cast<double>(t.rtol);
  double top = 0.0;
  double sum = 0.0;
  for (std::int32_t i = 0; i < neq; ++i) {
    const double size =
        std::fmax(std::fabs(static_cast<double>(y0[i])), std::fabs(static_cast<double>(y1[i])));
    const double weight = static_cast<double>(t.atol_of(i)) + rtol * size;
    const double q = std::fabs(static_cast<double>(v[i])) / weight;
    if (std::isnan(q)) return std::numeric_limits<Real>::quiet_NaN();
    top = q > top ? q : top;  // q is not NaN here
    sum += q * q;
  }
  if (t.kind == NormKind::kMax) return static_cast<Real>(top);
  return static_cast<Real>(std::sqrt(sum / static_cast<double>(neq)));
}

template float weighted_norm<float>(const Tolerances<float>&, std::int32_t, const float*,
                                    const float*, const float*);
template double weighted_norm<double>(const Tolerances<double>&, std::int32_t, const double*,
                                      const double*, const double*);

template <class Real>
void check_tolerances(BasicSolverState<Real>& s, const Tolerances<Real>& t, std::int32_t neq,
                      const Real* y) {
  if (!(t.rtol >= Real{0})) post_report(s, ErrorPoint::kRtol, {t.rtol});
  if (t.per_component && t.count() != neq) {
    post_report(s, ErrorPoint::kAtolCount, {t.count(), neq});
    return;
  }
  for (std::int32_t i = 0; i < neq; ++i) {
    const Real a = t.atol_of(i);
    if (!(a >= Real{0})) {
      post_report(s, ErrorPoint::kAtol, {i + 1, a});
      return;
    }
    if (a == Real{0} && (t.rtol == Real{0} || y[i] == Real{0})) {
      post_report(s, ErrorPoint::kZeroWeight, {i + 1, i + 1});
      return;
    }
  }
}

template <class Real>
Real start_tolerance(const Tolerances<Real>& t, std::int32_t neq, Real tol) {
  // Called after check_tolerances: nothing here is NaN. A plain comparison
  // rather than std::fmax: aarch64's g++ 12 fails on that reduction.
  double q = static_cast<double>(t.rtol);
  if (!(q > 0.0)) {
    for (std::int32_t i = 0; i < neq; ++i) {
      const double a = static_cast<double>(t.atol_of(i));
      q = a > q ? a : q;
    }
  }
  return static_cast<Real>(static_cast<double>(tol) * q);
}

#define RKV_TOLERANCES(Real)                                                             \
  template void check_tolerances<Real>(BasicSolverState<Real>&, const Tolerances<Real>&, \
                                       std::int32_t, const Real*);                       \
  template Real start_tolerance<Real>(const Tolerances<Real>&, std::int32_t, Real);
RKV_TOLERANCES(float)
RKV_TOLERANCES(double)
#undef RKV_TOLERANCES

}  // namespace rkv::ode
