// The C handles of an integrator over float and over double: an
// rkv::BasicIntegrator made with the pointer form of the right-hand side, so
// that each evaluation is one indirect call of the caller's C function; the
// error norm of the caller's own has the C++ hook's type and is called
// directly as well.
#include <cstdint>

#include "integrator_handle.hpp"
#include "rkv/dintegrator.h"
#include "rkv/integrator.h"

namespace {

static_assert(RKV_NORM_MAX == static_cast<std::int32_t>(rkv::ToleranceNorm::kMax));
static_assert(RKV_NORM_RMS == static_cast<std::int32_t>(rkv::ToleranceNorm::kRms));

}  // namespace

extern "C" {

rkv_integrator* rkv_integrator_create(rkv_rhs_ctx_fn fcn, void* context) {
  return rkv::capi::create_handle<rkv_integrator>(rkv::RhsPointerFunction{fcn}, context);
}
void rkv_integrator_destroy(rkv_integrator* it) {
  delete it;
}
int32_t rkv_integrator_ivprk(rkv_integrator* it, int32_t* ido, const int32_t* neq, float* x,
                             const float* xend, const float* tol, float* param, float* y) {
  return rkv::capi::ivprk(it, ido, neq, x, xend, tol, param, y);
}
int32_t rkv_integrator_set_tolerances(rkv_integrator* it, const float* rtol, const float* atol,
                                      const int32_t* count, const int32_t* norm) {
  return rkv::capi::set_tolerances(it, rtol, atol, count, norm);
}
int32_t rkv_integrator_clear_tolerances(rkv_integrator* it) {
  return rkv::capi::clear_tolerances(it);
}
int32_t rkv_integrator_set_error_norm(rkv_integrator* it, rkv_norm_fn fcn, void* context) {
  return rkv::capi::set_error_norm(it, rkv::BasicErrorNormFunction<float>{fcn}, context);
}
int32_t rkv_integrator_clear_error_norm(rkv_integrator* it) {
  return rkv::capi::clear_error_norm(it);
}

rkv_dintegrator* rkv_dintegrator_create(rkv_drhs_ctx_fn fcn, void* context) {
  return rkv::capi::create_handle<rkv_dintegrator>(rkv::BasicRhsPointerFunction<double>{fcn},
                                                   context);
}
void rkv_dintegrator_destroy(rkv_dintegrator* it) {
  delete it;
}
int32_t rkv_dintegrator_ivprk(rkv_dintegrator* it, int32_t* ido, const int32_t* neq, double* x,
                              const double* xend, const double* tol, double* param, double* y) {
  return rkv::capi::ivprk(it, ido, neq, x, xend, tol, param, y);
}
int32_t rkv_dintegrator_set_tolerances(rkv_dintegrator* it, const double* rtol, const double* atol,
                                       const int32_t* count, const int32_t* norm) {
  return rkv::capi::set_tolerances(it, rtol, atol, count, norm);
}
int32_t rkv_dintegrator_clear_tolerances(rkv_dintegrator* it) {
  return rkv::capi::clear_tolerances(it);
}
int32_t rkv_dintegrator_set_error_norm(rkv_dintegrator* it, rkv_dnorm_fn fcn, void* context) {
  return rkv::capi::set_error_norm(it, rkv::BasicErrorNormFunction<double>{fcn}, context);
}
int32_t rkv_dintegrator_clear_error_norm(rkv_dintegrator* it) {
  return rkv::capi::clear_error_norm(it);
}

}  // extern "C"
