/* C handle of a dense output over double: output points and events on top of
 * an rkv_dintegrator (dintegrator.h), the C form of rkv::DoubleDenseOutput
 * with the same steps, values, events and reports, bit for bit.
 *
 * Everything dense.h says of rkv_dense holds here with double for float:
 * the calls, the IDO protocol with RKV_IDO_EVENTS, the crossings, the
 * settings (bracket_ulps counts units in the last place of a double), the
 * reports under IVPEV, the refusal of null pointers (DDENSE for the handle)
 * and the lifetime (once rkv_dintegrator_destroy has been called, a call of
 * rkv_ddense_ivprk is refused with TERMINAL error 10 from IVPEV). */
#ifndef RKV_DDENSE_H
#define RKV_DDENSE_H

#include <stdint.h>

#include "rkv/dense.h" /* RKV_IDO_EVENTS, the crossings, rkv_event_settings */
#include "rkv/dintegrator.h"

#pragma GCC visibility push(default) /* the interface the shared library exports */

#ifdef __cplusplus
extern "C" {
#endif

/* Value of an event function, as rkv_event_fn over doubles. */
typedef double (*rkv_devent_fn)(void* context, const int32_t* neq, const double* x, const double* y,
                                const double* yprime);

typedef struct rkv_devent {
  rkv_devent_fn g;
  void* context;    /* passed to g unchanged */
  int32_t crossing; /* RKV_CROSSING_EITHER, _RISING or _FALLING */
  int32_t terminal; /* non-zero: the integration ends at this event */
} rkv_devent;

/* One located event, as rkv_event_hit over doubles. */
typedef struct rkv_devent_hit {
  int32_t index;
  double x;
  int32_t terminal;
  const double* y;
  const double* yprime;
} rkv_devent_hit;

typedef struct rkv_ddense rkv_ddense;

/* A dense output over the integration of `it`; NULL if no memory or it is
 * NULL. */
rkv_ddense* rkv_ddense_create(rkv_dintegrator* it);

/* Releases the handle (not the integrator); NULL is a no-op. */
void rkv_ddense_destroy(rkv_ddense* d);

/* As rkv_dense_set_output, rkv_dense_set_events, rkv_dense_clear_events and
 * rkv_dense_ivprk over doubles. */
void rkv_ddense_set_output(rkv_ddense* d, const double* x, const int32_t* n, double* y,
                           double* yprime);
void rkv_ddense_set_events(rkv_ddense* d, const rkv_devent* events, const int32_t* m,
                           const rkv_event_settings* settings);
void rkv_ddense_clear_events(rkv_ddense* d);
int32_t rkv_ddense_ivprk(rkv_ddense* d, int32_t* ido, const int32_t* neq, double* x,
                         const double* xend, const double* tol, double* param, double* y);

/* The events of the last step and the counters, as rkv_dense_event_count,
 * rkv_dense_event, rkv_dense_ended, rkv_dense_outputs_done and
 * rkv_dense_extra_evaluations. */
int32_t rkv_ddense_event_count(const rkv_ddense* d);
void rkv_ddense_event(const rkv_ddense* d, const int32_t* i, rkv_devent_hit* hit);
int32_t rkv_ddense_ended(const rkv_ddense* d);
int32_t rkv_ddense_outputs_done(const rkv_ddense* d);
int32_t rkv_ddense_extra_evaluations(const rkv_ddense* d);

#ifdef __cplusplus
}
#endif

#pragma GCC visibility pop

#endif /* RKV_DDENSE_H */
