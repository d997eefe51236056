/* C handle of a dense output: output points and events on top of an
 * rkv_integrator (integrator.h), the C form of rkv::DenseOutput with the same
 * steps, values, events and reports, bit for bit.
 *
 * Output points give the solution at any x of an interval without
 * shortening the steps; events are the points where event functions
 * g(x, y, y') change sign, located on the continuous extension of the
 * steps. The handle takes the integrator's place in the calls: the IDO
 * protocol of rkv_integrator_ivprk, and IDO = RKV_IDO_EVENTS on return when
 * events were located in the last step taken:
 *
 *   rkv_dense* d = rkv_dense_create(it);
 *   rkv_dense_set_events(d, events, &m, NULL);      watched until cleared
 *   rkv_dense_set_output(d, xs, &n, ys, NULL);      for the next interval
 *   rkv_dense_ivprk(d, &ido, &neq, &x, &xend, &tol, param, y);
 *   while (ido == RKV_IDO_EVENTS) {
 *     ... rkv_dense_event_count(d), rkv_dense_event(d, &i, &hit) ...
 *     if (rkv_dense_ended(d)) break;              a terminal event: x, y there
 *     ido = 2;
 *     rkv_dense_ivprk(d, &ido, &neq, &x, &xend, &tol, param, y);
 *   }
 *
 * Reports are posted under the name IVPEV (see docs/dense.md for the list).
 * A null pointer argument is refused as everywhere in the C interface: a
 * TERMINAL error RKV_NULL_POINTER_CODE from IVPEV naming it (DENSE for the
 * handle), and nothing else is done. The arrays of a list may be null when
 * the list is empty; yprime and settings may always be null.
 *
 * Lifetime: the handle works through the integration its integrator owns.
 * It may outlive the integrator: once rkv_integrator_destroy has been called,
 * a call of rkv_dense_ivprk is refused (TERMINAL error 10 from IVPEV). Any
 * number of dense handles may be made over one integrator, but one call at a
 * time goes through it. Destroying a dense handle during one of its calls
 * (from an event function or the right-hand side) ends the process with a
 * message on stderr; destroying it twice is undefined.
 *
 * Precision: this is the handle over the float integrator; the one over an
 * rkv_dintegrator is rkv_ddense (ddense.h). */
#ifndef RKV_DENSE_H
#define RKV_DENSE_H

#include <stdint.h>

#include "rkv/integrator.h"

#pragma GCC visibility push(default) /* the interface the shared library exports */

#ifdef __cplusplus
extern "C" {
#endif

/* IDO on return when events were located in the last step taken; the
 * integration goes on with IDO = 2 and the same XEND, over the same steps. */
#define RKV_IDO_EVENTS 7

/* Which sign changes of g count, in the direction of integration. */
#define RKV_CROSSING_EITHER 0
#define RKV_CROSSING_RISING 1  /* from negative to zero or positive */
#define RKV_CROSSING_FALLING 2 /* from positive to zero or negative */

/* The widest bracket rkv_event_settings.bracket_ulps may ask for. */
#define RKV_MAX_BRACKET_ULPS 65536

/* The codes of the handle's own refusals (TERMINAL, from IVPEV), apart from
 * IVPEV's: an event whose crossing is none of the three above, and a copy of
 * an event list for which there is no memory. */
#define RKV_BAD_CROSSING_CODE 30
#define RKV_EVENT_STORAGE_CODE 31

/* Value of an event function at *x from the solution y[0..*neq-1] and its
 * derivative yprime[0..*neq-1] on the continuous extension. An event is a
 * sign change of the value; NaN is refused (FATAL error 6 from IVPEV). */
typedef float (*rkv_event_fn)(void* context, const int32_t* neq, const float* x, const float* y,
                              const float* yprime);

typedef struct rkv_event {
  rkv_event_fn g;
  void* context;    /* passed to g unchanged */
  int32_t crossing; /* RKV_CROSSING_EITHER, _RISING or _FALLING */
  int32_t terminal; /* non-zero: the integration ends at this event */
} rkv_event;

/* How events are located: the bracket of each sign change is shrunk until
 * its ends are at most bracket_ulps units in the last place apart (0 to
 * RKV_MAX_BRACKET_ULPS), or g is exactly 0, in at most max_iterations
 * iterations (at least 1). */
typedef struct rkv_event_settings {
  int32_t bracket_ulps;   /* default 4 */
  int32_t max_iterations; /* default 200 */
} rkv_event_settings;

/* One located event: the 1-based index of its function in the event list,
 * the abscissa, whether it is terminal (1) or not (0), and the solution and
 * its derivative there (*neq values each, owned by the handle and valid
 * until its next call). */
typedef struct rkv_event_hit {
  int32_t index;
  float x;
  int32_t terminal;
  const float* y;
  const float* yprime;
} rkv_event_hit;

typedef struct rkv_dense rkv_dense;

/* A dense output over the integration of `it`; NULL if no memory or it is
 * NULL. */
rkv_dense* rkv_dense_create(rkv_integrator* it);

/* Releases the handle (not the integrator); NULL is a no-op. */
void rkv_dense_destroy(rkv_dense* d);

/* Output points for the interval of the next call: x[0..*n-1] within
 * [X, XEND], ordered in the direction of integration (repeats allowed). The
 * values y(x[k]) go to y[k*NEQ ..], and y'(x[k]) to yprime likewise unless
 * it is NULL. The arrays are used until XEND is reached; a later interval
 * has no output points unless it is given some. Null x or y with *n > 0 are
 * refused (XOUT, YOUT). */
void rkv_dense_set_output(rkv_dense* d, const float* x, const int32_t* n, float* y, float* yprime);

/* The event functions to watch from the next step on: events[0..*m-1] (at
 * least one; copied). They stay in force until cleared or replaced. settings
 * NULL takes the defaults. A refused list leaves the one in force. */
void rkv_dense_set_events(rkv_dense* d, const rkv_event* events, const int32_t* m,
                          const rkv_event_settings* settings);
void rkv_dense_clear_events(rkv_dense* d);

/* The IDO protocol of rkv_integrator_ivprk, and *ido = RKV_IDO_EVENTS on
 * return when events were located in the last step (*x and y are then at
 * the step's end, or at the terminal event when one ended the integration).
 * Returns the outcome of the call (RKV_NONE to RKV_TERMINAL, error_types.h),
 * this layer's reports included. */
int32_t rkv_dense_ivprk(rkv_dense* d, int32_t* ido, const int32_t* neq, float* x, const float* xend,
                        const float* tol, float* param, float* y);

/* The events located in the last step, in the order of x, up to and
 * including the first terminal one: *i from 0 to rkv_dense_event_count - 1.
 * Any other *i gets a record with index 0, x NaN and null values, and so
 * does a non-null hit when the call is refused. */
int32_t rkv_dense_event_count(const rkv_dense* d);
void rkv_dense_event(const rkv_dense* d, const int32_t* i, rkv_event_hit* hit);

/* 1 when a terminal event ended the integration (only IDO = 3 may follow),
 * else 0. */
int32_t rkv_dense_ended(const rkv_dense* d);

/* Output points of the current list that have their values (points beyond
 * a terminal event get none). */
int32_t rkv_dense_outputs_done(const rkv_dense* d);

/* Right-hand-side evaluations made by this layer since IDO = 1, beyond the
 * solver's own (not in PARAM(35)). */
int32_t rkv_dense_extra_evaluations(const rkv_dense* d);

#ifdef __cplusplus
}
#endif

#pragma GCC visibility pop

#endif /* RKV_DENSE_H */
