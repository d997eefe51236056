// The C handle of an integrator: an rkv::Integrator made with the pointer
// form of the right-hand side, so that each evaluation is one indirect call
// of the caller's C function.
#include "rkv/integrator.h"

#include <cstdint>
#include <new>

#include "rkv/ode/integrator.hpp"

struct rkv_integrator {
  rkv::Integrator integrator;
};

extern "C" {

rkv_integrator* rkv_integrator_create(rkv_rhs_ctx_fn fcn, void* context) {
  try {
    return new rkv_integrator{rkv::Integrator(rkv::RhsPointerFunction{fcn}, context)};
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void rkv_integrator_destroy(rkv_integrator* it) {
  delete it;
}

void rkv_integrator_ivprk(rkv_integrator* it, int32_t* ido, const int32_t* neq, float* x,
                          const float* xend, const float* tol, float* param, float* y) {
  it->integrator.integrate(*ido, *neq, *x, *xend, *tol, param, y);
}

}  // extern "C"
