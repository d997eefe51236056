// I2PRK: the integrator called directly, on the calling thread's default
// instance with the caller's workspace and norm routine.
#include "front/in_use.hpp"
#include "front/instance.hpp"
#include "reports/error_points.hpp"
#include "rkv/errors/call_scope.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/ode/ivprk.hpp"

namespace rkv {

void I2PRK(std::int32_t& ido, const std::int32_t& neq, RhsFunction fcn, float& x, const float& xend,
           const float& tol, float* param, float* y, NormFunction fnorm, float* wk) {
  const CallScope scope;  // puts the name stack back should user code throw
  ode::Instance& in = ode::default_instance();
  const ode::InUse busy(in.in_use);
  if (!busy.held()) {
    // Refused before anything of the call in progress is read or written,
    // PARAM included.
    E1PSH(ode::kIntegratorName);
    ode::post_report(ode::ErrorPoint::kInUse);
    E1POP(ode::kIntegratorName);
    return;
  }
  ode::i2prk_call(in, ido, neq, ode::PlainRhs{fcn}, x, xend, tol, param, y,
                  ode::Norm{fnorm, nullptr}, wk);
}

}  // namespace rkv
