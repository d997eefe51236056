/* C handle of an integrator over double: the solver of rkv_integrator
 * (integrator.h) with every real stored and computed in double precision;
 * X, XEND, TOL, Y and the 50 entries of PARAM are doubles. The IDO protocol,
 * the PARAM settings and statistics, the checks and the reports are those of
 * rkv_integrator_ivprk (reports print their reals to double precision), and
 * the results are those of rkv::DoubleIntegrator, bit for bit. What
 * integrator.h says of handles (one call at a time, the right-hand side must
 * return, destroying during a call) holds here too.
 *
 * Dense output and events over it: rkv_ddense (ddense.h). */
#ifndef RKV_DINTEGRATOR_H
#define RKV_DINTEGRATOR_H

#include <stdint.h>

#include "rkv/integrator.h" /* RKV_NORM_MAX, RKV_NORM_RMS; the float handle */

#pragma GCC visibility push(default) /* the interface the shared library exports */

#ifdef __cplusplus
extern "C" {
#endif

typedef struct rkv_dintegrator rkv_dintegrator;

/* Right-hand side: yprime[0..*neq-1] = f(*x, y[0..*neq-1]). */
typedef void (*rkv_drhs_ctx_fn)(void* context, const int32_t* neq, const double* x, const double* y,
                                double* yprime);

/* An error norm of the caller's own (see rkv_integrator_set_error_norm). */
typedef double (*rkv_dnorm_fn)(void* context, int32_t neq, const double* v, const double* y0,
                               const double* y1, const double* ymax);

/* A new integrator over double, nothing open; NULL if no memory or fcn is
 * NULL. */
rkv_dintegrator* rkv_dintegrator_create(rkv_drhs_ctx_fn fcn, void* context);

/* Releases the integrator and its workspace; NULL is a no-op. */
void rkv_dintegrator_destroy(rkv_dintegrator* it);

/* One call of the IDO protocol, as rkv_integrator_ivprk over doubles;
 * param has 50 entries, y has *neq. Returns the outcome of the call. */
int32_t rkv_dintegrator_ivprk(rkv_dintegrator* it, int32_t* ido, const int32_t* neq, double* x,
                              const double* xend, const double* tol, double* param, double* y);

/* Tolerances and the error norm, as rkv_integrator_set_tolerances and the
 * other three over doubles. */
int32_t rkv_dintegrator_set_tolerances(rkv_dintegrator* it, const double* rtol, const double* atol,
                                       const int32_t* count, const int32_t* norm);
int32_t rkv_dintegrator_clear_tolerances(rkv_dintegrator* it);
int32_t rkv_dintegrator_set_error_norm(rkv_dintegrator* it, rkv_dnorm_fn fcn, void* context);
int32_t rkv_dintegrator_clear_error_norm(rkv_dintegrator* it);

#ifdef __cplusplus
}
#endif

#pragma GCC visibility pop

#endif /* RKV_DINTEGRATOR_H */
