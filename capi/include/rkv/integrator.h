/* C handle of an integrator: an integration that owns its solver state and
 * workspace, driven by the IDO protocol of rkv_ivprk (rkv.h) with the same
 * checks, reports, PARAM settings and statistics, bit for bit. Any number of
 * handles can be open at once, each on its own thread or several on one.
 *
 * The right-hand side and its context are given at creation; the context is
 * passed back unchanged with every evaluation. One handle serves one call at
 * a time: a call made while a call of the same handle is in progress (from
 * its right-hand side, or from another thread) is refused with IVPRK's
 * "already in use" TERMINAL error. */
#ifndef RKV_INTEGRATOR_H
#define RKV_INTEGRATOR_H

#include <stdint.h>

#pragma GCC visibility push(default) /* the interface the shared library exports */

#ifdef __cplusplus
extern "C" {
#endif

typedef struct rkv_integrator rkv_integrator;

/* Right-hand side: yprime[0..*neq-1] = f(*x, y[0..*neq-1]). */
typedef void (*rkv_rhs_ctx_fn)(void* context, const int32_t* neq, const float* x, const float* y,
                               float* yprime);

/* A new integrator, nothing open; NULL if no memory or fcn is NULL. */
rkv_integrator* rkv_integrator_create(rkv_rhs_ctx_fn fcn, void* context);

/* Releases the integrator and its workspace (whether or not IDO = 3 was
 * called); NULL is a no-op. */
void rkv_integrator_destroy(rkv_integrator* it);

/* One call of the IDO protocol, as rkv_ivprk without the right-hand side.
 * it is a handle from rkv_integrator_create; param has 50 entries, y has
 * *neq. A null pointer argument is refused as in rkv_ivprk (TERMINAL error
 * RKV_NULL_POINTER_CODE from IVPRK, naming it; INTEGRATOR for it). */
void rkv_integrator_ivprk(rkv_integrator* it, int32_t* ido, const int32_t* neq, float* x,
                          const float* xend, const float* tol, float* param, float* y);

#ifdef __cplusplus
}
#endif

#pragma GCC visibility pop

#endif /* RKV_INTEGRATOR_H */
