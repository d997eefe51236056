// I2ERRNRM: the error norm of the integrator, selected by INORM.
//   0  max_i |v_i| / max(|y_i|, 1)         relative above 1, absolute below
//   1  max_i |v_i|                          absolute
//   2  max_i |v_i| / max(|y_i|, floor)      as 0 with the lower bound PARAM(11)
//   3  sqrt(sum_i (v_i / max(|w_i|, 1))^2)  Euclidean, scaled by the running
//                                           maximum of |y| (workspace column 10)
// The settings are those of the instance in use; I2ERRNRM itself reads those
// of the calling thread's default instance, which IVPRK drives.
// ENORM is a variable of the storage type updated element by element. An error
// vector containing a NaN yields a NaN norm under every INORM, so that the
// step is rejected rather than accepted with an unknown error.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "rkv/ode/ivprk.hpp"
#include "step/isa.hpp"
#include "step/kernels.hpp"
#include "step/real_format.hpp"
#include "step/relative_max.hpp"
#include "step/solver_state.hpp"
#include "step/user_calls.hpp"

namespace rkv {
namespace {

constexpr std::int32_t kOne = 1;

using ode::relative_max_loop;

// The relative maximum (step/relative_max.hpp) compiled once per vector
// instruction set (isa.hpp).
template <class Real>
RKV_TARGET_AVX512 Real relative_max_avx512(std::int32_t neq, const Real* v, const Real* y,
                                           Real bound) {
  return relative_max_loop(neq, v, y, bound);
}

template <class Real>
RKV_TARGET_AVX2 Real relative_max_avx2(std::int32_t neq, const Real* v, const Real* y, Real bound) {
  return relative_max_loop(neq, v, y, bound);
}

template <class Real>
Real relative_max_baseline(std::int32_t neq, const Real* v, const Real* y, Real bound) {
  return relative_max_loop(neq, v, y, bound);
}

template <class Real>
Real relative_max(std::int32_t neq, const Real* v, const Real* y, Real bound) {
  return ode::dispatch(relative_max_avx512<Real>, relative_max_avx2<Real>,
                       relative_max_baseline<Real>, neq, v, y, bound);
}

}  // namespace

namespace ode {

template <class Real>
void error_norm(const BasicSettings<Real>& settings, const std::int32_t& neq, const Real* v,
                const Real* y, const Real* w, Real& enorm) {
  switch (settings.inorm) {
    case 1: {
      enorm = Real{0};
      for (std::int32_t i = 0; i < neq; ++i) {
        if (std::isnan(v[i])) {
          enorm = std::numeric_limits<Real>::quiet_NaN();
          return;
        }
      }
      const std::int32_t m = V1MAXABS(neq, v, kOne);
      if (m >= 1) enorm = std::fabs(v[m - 1]);
      return;
    }
    case 2:
      enorm = relative_max(neq, v, y, settings.floor);
      return;
    case 3: {
      enorm = Real{0};
      for (std::int32_t i = 0; i < neq; ++i) {
        const Real r = static_cast<Real>(static_cast<double>(v[i]) /
                                         std::fmax(std::fabs(static_cast<double>(w[i])), 1.0));
        enorm = static_cast<Real>(static_cast<double>(enorm) +
                                  static_cast<double>(r) * static_cast<double>(r));
      }
      enorm = static_cast<Real>(std::sqrt(static_cast<double>(enorm)));
      return;
    }
    default:  // 0 (the start-up checks admit nothing above 3)
      enorm = relative_max(neq, v, y, Real{1});
      return;
  }
}

template void error_norm<float>(const BasicSettings<float>&, const std::int32_t&, const float*,
                                const float*, const float*, float&);
template void error_norm<double>(const BasicSettings<double>&, const std::int32_t&, const double*,
                                 const double*, const double*, double&);

}  // namespace ode

void I2ERRNRM(const std::int32_t& neq, const float* v, const float* y, const float* w,
              float& enorm) {
  ode::error_norm(ode::solver_state().settings, neq, v, y, w, enorm);
}

}  // namespace rkv
