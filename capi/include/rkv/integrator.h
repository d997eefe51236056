/* C handle of an integrator: an integration that owns its solver state and
 * workspace, driven by the IDO protocol of rkv_ivprk (rkv.h) with the same
 * checks, reports, PARAM settings and statistics, bit for bit. Any number of
 * handles can be open at once, each on its own thread or several on one.
 *
 * The right-hand side and its context are given at creation; the context is
 * passed back unchanged with every evaluation. One handle serves one call at
 * a time: a call made while a call of the same handle is in progress (from
 * its right-hand side, or from another thread) is refused with IVPRK's
 * "already in use" TERMINAL error.
 *
 * The right-hand side must return to its caller: leaving it with longjmp
 * (or a C++ exception through C code) leaves the handle refused for good.
 * To abandon an integration from inside the right-hand side, post a FATAL
 * error through the error family and return:
 *
 *   static const int32_t fatal = 4, code = 1, len = 15;
 *   rkv_e1mes(&fatal, &code, "Model diverged.", &len);
 *   return;
 *
 * The call then ends at the last accepted point (X and Y as that step left
 * them) and rkv_integrator_ivprk returns 4; the report is printed and the
 * run ends unless the attributes say otherwise (rkv_seterrattr).
 *
 * Destroying a handle twice, or using it after rkv_integrator_destroy, is
 * undefined, as for any C library. Destroying it during one of its calls
 * (from its right-hand side) ends the process with a message on stderr. */
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
 * RKV_NULL_POINTER_CODE from IVPRK, naming it; INTEGRATOR for it).
 * Returns the outcome of the call: the most serious error type it posted,
 * 0 when none (1 NOTE, 2 ALERT, 3 WARNING, 4 FATAL, 5 TERMINAL). *ido holds
 * the value of the moment: with the stops off a failed call may return
 * *ido = 2 with *x short of *xend; *x equals *xend bit for bit after
 * *ido = 2 only when the outcome is below 4. */
int32_t rkv_integrator_ivprk(rkv_integrator* it, int32_t* ido, const int32_t* neq, float* x,
                             const float* xend, const float* tol, float* param, float* y);

#ifdef __cplusplus
}
#endif

#pragma GCC visibility pop

#endif /* RKV_INTEGRATOR_H */
