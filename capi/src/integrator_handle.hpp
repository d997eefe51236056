// The integrator handles' layout, shared by the C routines that work through
// them (the dense handle reaches the C++ integrator inside), and the calls
// both precisions share: made once over the storage type, so that the float
// and the double handle check and forward their arguments alike.
#pragma once

#include <cstdint>
#include <new>

#include "null_args.hpp"
#include "refusals.hpp"
#include "rkv/dintegrator.h"
#include "rkv/error_types.h"
#include "rkv/integrator.h"
#include "rkv/ode/integrator.hpp"

struct rkv_integrator {
  rkv::Integrator integrator;
};
struct rkv_dintegrator {
  rkv::DoubleIntegrator integrator;
};

namespace rkv::capi {

inline rkv::Integrator& integrator_of(rkv_integrator& it) {
  return it.integrator;
}
inline rkv::DoubleIntegrator& integrator_of(rkv_dintegrator& it) {
  return it.integrator;
}

// The name the handles' refusals are posted under, as the calls' reports.
inline constexpr std::string_view kIntegratorRoutine = "IVPRK";

template <class Handle, class Fcn>
Handle* create_handle(Fcn fcn, void* context) {
  if (fcn == nullptr) return nullptr;  // it would be called on the first evaluation
  try {
    return new Handle{decltype(Handle::integrator)(fcn, context)};
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

template <class Handle, class Real>
std::int32_t ivprk(Handle* it, std::int32_t* ido, const std::int32_t* neq, Real* x,
                   const Real* xend, const Real* tol, Real* param, Real* y) {
  if (refused(kIntegratorRoutine, {{"INTEGRATOR", it == nullptr},
                                   {"IDO", ido == nullptr},
                                   {"NEQ", neq == nullptr},
                                   {"X", x == nullptr},
                                   {"XEND", xend == nullptr},
                                   {"TOL", tol == nullptr},
                                   {"PARAM", param == nullptr},
                                   {"Y", y == nullptr}})) {
    return RKV_TERMINAL;  // the outcome of a refused call
  }
  return it->integrator.integrate(*ido, *neq, *x, *xend, *tol, param, y);
}

// One ATOL for every equation (*count 1) or one per equation.
template <class Handle, class Real>
std::int32_t set_tolerances(Handle* it, const Real* rtol, const Real* atol,
                            const std::int32_t* count, const std::int32_t* norm) {
  if (refused(kIntegratorRoutine, {{"INTEGRATOR", it == nullptr},
                                   {"RTOL", rtol == nullptr},
                                   {"COUNT", count == nullptr},
                                   {"NORM", norm == nullptr}}) ||
      (*count > 0 && refused(kIntegratorRoutine, {{"ATOL", atol == nullptr}}))) {
    return RKV_TERMINAL;
  }
  if (*norm != RKV_NORM_MAX && *norm != RKV_NORM_RMS) {
    refuse_norm(kIntegratorRoutine, *norm);
    return RKV_TERMINAL;
  }
  const auto kind = static_cast<rkv::ToleranceNorm>(*norm);
  if (*count == 1) return it->integrator.set_tolerances(*rtol, *atol, kind);
  return it->integrator.set_tolerances(*rtol, atol, *count, kind);
}

template <class Handle>
std::int32_t clear_tolerances(Handle* it) {
  if (refused(kIntegratorRoutine, {{"INTEGRATOR", it == nullptr}})) return RKV_TERMINAL;
  return it->integrator.clear_tolerances();
}

template <class Handle, class Fcn>
std::int32_t set_error_norm(Handle* it, Fcn fcn, void* context) {
  if (refused(kIntegratorRoutine, {{"INTEGRATOR", it == nullptr}, {"FCN", fcn == nullptr}})) {
    return RKV_TERMINAL;
  }
  return it->integrator.set_error_norm(fcn, context);
}

template <class Handle>
std::int32_t clear_error_norm(Handle* it) {
  if (refused(kIntegratorRoutine, {{"INTEGRATOR", it == nullptr}})) return RKV_TERMINAL;
  return it->integrator.clear_error_norm();
}

}  // namespace rkv::capi
