/* Ensembles in SIMD lanes from C: rkv::integrate_lanes (rkv/ode/
 * lane_ensemble.hpp) with the right-hand side given as a function on a
 * block of lanes. Member m integrates neq equations from x0[m] to xend[m]
 * with the shared tol and its PARAM; its y, x, PARAM(31..35) and the type
 * and code of the error that ended it are what an rkv_integrator (or
 * rkv_dintegrator) gives for it alone with IDO = 1 to xend[m] and IDO = 3,
 * bit for bit, whatever the instruction set. An error ends only its member;
 * nothing is printed and nothing stops the process.
 *
 * The block function's contract: it is called with width lanes (8, 16 or
 * 32: the instruction set's; any code must accept each), and for every
 * lane l < width and equation i < neq it writes
 *     yprime[i * width + l] = f_i(x[l], y[0 * width + l], ..., y[(neq-1) * width + l])
 * with the parameters p[k * width + l], k < npar, of lane l's member (which
 * it may update, as the C++ interface says). Lane l must compute exactly
 * what the scalar function computes for its member alone: the same
 * operations in the same order on the same types, with the C library's
 * functions called per lane (a vector exp may differ in the last bit), and
 * the code compiled without FMA contraction (-ffp-contract=off) and without
 * -ffast-math. member[l] is the index of lane l's member and active[l] is 1
 * where the lane holds one; an idle lane (active 0, member -1) holds stale
 * finite values and its results are ignored, as are those of a lane that
 * retries a rejected step (evaluated again at the same x and y). With
 * threads above 1 the function is called from that many threads at once.
 * It must return (a longjmp out of it leaves the ensemble's memory behind). */
#ifndef RKV_LANES_H
#define RKV_LANES_H

#include <stdint.h>

#pragma GCC visibility push(default) /* the interface the shared library exports */

#ifdef __cplusplus
extern "C" {
#endif

/* The ensemble: arrays of `members` (x0, xend), members x neq (y0) and
 * members x npar (parameters, NULL when npar is 0); param points to one
 * PARAM of 50 entries (param_stride 0) or one per member (param_stride 50),
 * or is NULL for all entries 0. */
typedef struct rkv_lanes_problem {
  int32_t members;
  int32_t neq;
  int32_t npar;
  const float* x0;
  const float* xend;
  const float* y0;
  const float* parameters;
  float tol;
  const float* param;
  int32_t param_stride;
} rkv_lanes_problem;

/* Where the results go: y (members x neq) is required, the others (x, the
 * five statistics per member, error type and code) may be NULL. */
typedef struct rkv_lanes_results {
  float* y;
  float* x;
  float* statistics;
  int32_t* error_type;
  int32_t* error_code;
} rkv_lanes_results;

typedef void (*rkv_lanes_fn)(void* context, int32_t width, int32_t neq, const float* x,
                             const float* y, float* yprime, int32_t npar, float* p,
                             const int32_t* member, const int32_t* active);

/* The same over double. */
typedef struct rkv_dlanes_problem {
  int32_t members;
  int32_t neq;
  int32_t npar;
  const double* x0;
  const double* xend;
  const double* y0;
  const double* parameters;
  double tol;
  const double* param;
  int32_t param_stride;
} rkv_dlanes_problem;

typedef struct rkv_dlanes_results {
  double* y;
  double* x;
  double* statistics;
  int32_t* error_type;
  int32_t* error_code;
} rkv_dlanes_results;

typedef void (*rkv_dlanes_fn)(void* context, int32_t width, int32_t neq, const double* x,
                              const double* y, double* yprime, int32_t npar, double* p,
                              const int32_t* member, const int32_t* active);

/* Integrates every member on `threads` threads (below 1: one per core).
 * Returns the most serious error type among the members (0 when all
 * reached their xend), or -1 when refused with nothing written: a NULL
 * problem, results or fcn, members below 0, neq below 1, npar below 0, a
 * param_stride other than 0 and 50, or a NULL array the problem needs;
 * -2 when members were left without results because the lanes' columns
 * could not be allocated. */
int32_t rkv_lanes_integrate(const rkv_lanes_problem* problem, rkv_lanes_fn fcn, void* context,
                            int32_t threads, const rkv_lanes_results* results);
int32_t rkv_dlanes_integrate(const rkv_dlanes_problem* problem, rkv_dlanes_fn fcn, void* context,
                             int32_t threads, const rkv_dlanes_results* results);

#ifdef __cplusplus
}
#endif

#pragma GCC visibility pop

#endif /* RKV_LANES_H */
