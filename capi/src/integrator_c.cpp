// The C handle of an integrator: an rkv::Integrator made with the pointer
// form of the right-hand side, so that each evaluation is one indirect call
// of the caller's C function.
#include "rkv/integrator.h"

#include <cstdint>
#include <new>

#include "integrator_handle.hpp"
#include "null_args.hpp"
#include "rkv/error_types.h"

extern "C" {

rkv_integrator* rkv_integrator_create(rkv_rhs_ctx_fn fcn, void* context) {
  if (fcn == nullptr) return nullptr;  // it would be called on the first evaluation
  try {
    return new rkv_integrator{rkv::Integrator(rkv::RhsPointerFunction{fcn}, context)};
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void rkv_integrator_destroy(rkv_integrator* it) {
  delete it;
}

int32_t rkv_integrator_ivprk(rkv_integrator* it, int32_t* ido, const int32_t* neq, float* x,
                             const float* xend, const float* tol, float* param, float* y) {
  if (rkv::capi::refused("IVPRK", {{"INTEGRATOR", it == nullptr},
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

}  // extern "C"
