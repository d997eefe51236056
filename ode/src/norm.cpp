// I2ERRNRM: the error norm of the integrator, selected by INORM.
//   0  max_i |v_i| / max(|y_i|, 1)         relative above 1, absolute below
//   1  max_i |v_i|                          absolute
//   2  max_i |v_i| / max(|y_i|, floor)      as 0 with the lower bound PARAM(11)
//   3  sqrt(sum_i (v_i / max(|w_i|, 1))^2)  Euclidean, scaled by the running
//                                           maximum of |y| (workspace column 10)
// ENORM is a single-precision variable updated element by element. An error
// vector containing a NaN yields a NaN norm under every INORM, so that the
// step is rejected rather than accepted with an unknown error.
#include <cmath>
#include <limits>

#include "rkv/ode/ivprk.hpp"
#include "rkv/ode/kernels.hpp"
#include "solver_state.hpp"

namespace rkv {
namespace {

constexpr std::int32_t kOne = 1;

// max_i |v_i| / max(|y_i|, bound); the first NaN quotient makes it NaN.
float relative_max(std::int32_t neq, const float* v, const float* y, float bound) {
  float enorm = 0.0f;
  for (std::int32_t i = 0; i < neq; ++i) {
    const float q = static_cast<float>(
        std::fabs(static_cast<double>(v[i])) /
        std::fmax(std::fabs(static_cast<double>(y[i])), static_cast<double>(bound)));
    if (std::isnan(q)) return q;
    if (q >= enorm) enorm = q;
  }
  return enorm;
}

}  // namespace

void I2ERRNRM(const std::int32_t& neq, const float* v, const float* y, const float* w,
              float& enorm) {
  const ode::Settings& settings = ode::solver_state().settings;
  switch (settings.inorm) {
    case 1: {
      enorm = 0.0f;
      for (std::int32_t i = 0; i < neq; ++i) {
        if (std::isnan(v[i])) {
          enorm = std::numeric_limits<float>::quiet_NaN();
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
      enorm = 0.0f;
      for (std::int32_t i = 0; i < neq; ++i) {
        const float r = static_cast<float>(static_cast<double>(v[i]) /
                                           std::fmax(std::fabs(static_cast<double>(w[i])), 1.0));
        enorm = static_cast<float>(static_cast<double>(enorm) +
                                   static_cast<double>(r) * static_cast<double>(r));
      }
      enorm = static_cast<float>(std::sqrt(static_cast<double>(enorm)));
      return;
    }
    default:  // 0 (the start-up checks admit nothing above 3)
      enorm = relative_max(neq, v, y, 1.0f);
      return;
  }
}

}  // namespace rkv
