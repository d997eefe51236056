// The C handle of an integrator: an rkv::Integrator made with the pointer
// form of the right-hand side, so that each evaluation is one indirect call
// of the caller's C function.
#include "rkv/integrator.h"

#include <cstdint>
#include <new>

#include "null_args.hpp"
#include "rkv/ode/integrator.hpp"

struct rkv_integrator {
  rkv::Integrator integrator;
};

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
  static constexpr int32_t kTerminal = 5;  // the outcome of a refused call
  if (rkv::capi::refused("IVPRK", {{"INTEGRATOR", it == nullptr},
                                   {"IDO", ido == nullptr},
                                   {"NEQ", neq == nullptr},
                                   {"X", x == nullptr},
                                   {"XEND", xend == nullptr},
                                   {"TOL", tol == nullptr},
                                   {"PARAM", param == nullptr},
                                   {"Y", y == nullptr}})) {
    return kTerminal;
  }
  return it->integrator.integrate(*ido, *neq, *x, *xend, *tol, param, y);
}

}  // extern "C"
