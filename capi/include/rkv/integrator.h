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
 *   static const int32_t fatal = RKV_FATAL, code = 1, len = 15;
 *   rkv_e1mes(&fatal, &code, "Model diverged.", &len);
 *   return;
 *
 * The call then ends at the last accepted point (X and Y as that step left
 * them) and rkv_integrator_ivprk returns RKV_FATAL; the report is printed and the
 * run ends unless the attributes say otherwise (rkv_seterrattr).
 *
 * Destroying a handle twice, or using it after rkv_integrator_destroy, is
 * undefined, as for any C library. Destroying it during one of its calls
 * (from its right-hand side) ends the process with a message on stderr. */
#ifndef RKV_INTEGRATOR_H
#define RKV_INTEGRATOR_H

#include <stdint.h>

#include "rkv/error_types.h" /* RKV_FATAL, ...: the outcomes */

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
 * RKV_NONE (0) when none, else RKV_NOTE to RKV_TERMINAL (error_types.h;
 * an immediate type counts as RKV_WARNING or RKV_FATAL). *ido holds
 * the value of the moment: with the stops off a failed call may return
 * *ido = 2 with *x short of *xend; *x equals *xend bit for bit after
 * *ido = 2 only when the outcome is below RKV_FATAL. */
int32_t rkv_integrator_ivprk(rkv_integrator* it, int32_t* ido, const int32_t* neq, float* x,
                             const float* xend, const float* tol, float* param, float* y);

/* Tolerances in place of INORM (PARAM(10), then unused): the error norm of
 * an attempt is the maximum (*norm RKV_NORM_MAX) or the root mean square
 * (RKV_NORM_RMS) of |v_i| / (ATOL_i + RTOL * max(|y_i| at the step's start,
 * |y_i| at its end)), v being the error estimate divided by the step; a step
 * is accepted when |H| * norm * PARAM(9) <= TOL, so with TOL = 1 RTOL and
 * ATOL mean what they mean elsewhere. atol[0..*count-1] is one absolute
 * tolerance for every equation (*count 1) or one per equation (*count
 * NEQ); it is copied. The next call with IDO = 1 checks them (I2PRK,
 * TERMINAL: an RTOL or ATOL_i negative or NaN, a count other than 1 or NEQ,
 * a component whose weight is 0). They can be set, changed or cleared only
 * while no integration is open (before IDO = 1 or after IDO = 3); otherwise
 * the call is refused (IVPRK, TERMINAL 24) and nothing changes. A *norm
 * other than the two is refused (IVPRK, TERMINAL RKV_BAD_NORM_CODE). Each
 * returns the outcome of the call, as rkv_integrator_ivprk. */
#define RKV_NORM_MAX 1
#define RKV_NORM_RMS 2
#define RKV_BAD_NORM_CODE 32
int32_t rkv_integrator_set_tolerances(rkv_integrator* it, const float* rtol, const float* atol,
                                      const int32_t* count, const int32_t* norm);
int32_t rkv_integrator_clear_tolerances(rkv_integrator* it);

/* An error norm of the caller's own in place of INORM and the tolerances:
 * called once per step attempt as fcn(context, neq, v, y0, y1, ymax), v the
 * error estimate divided by the step, y0 the solution at the step's start,
 * y1 the candidate at its end, ymax the running maximum of |y| (neq values
 * each, read-only, valid during the call); |H| * norm * PARAM(9) is compared
 * with TOL, and NaN rejects the attempt. It is user code as the right-hand
 * side is. Set and cleared under the rules of the tolerances; a null fcn is
 * refused (FCN). */
typedef float (*rkv_norm_fn)(void* context, int32_t neq, const float* v, const float* y0,
                             const float* y1, const float* ymax);
int32_t rkv_integrator_set_error_norm(rkv_integrator* it, rkv_norm_fn fcn, void* context);
int32_t rkv_integrator_clear_error_norm(rkv_integrator* it);

#ifdef __cplusplus
}
#endif

#pragma GCC visibility pop

#endif /* RKV_INTEGRATOR_H */
