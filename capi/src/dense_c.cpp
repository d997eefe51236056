// The C handle of a dense output: an rkv::DenseOutput over the integrator of
// an rkv_integrator handle, with the C event functions called through one
// trampoline.
//
// The C++ layer copies an event list but keeps its context pointers, so each
// C event's function and context live in the handle (one array per list in
// force); the C++ event's context points at its entry. A new array replaces
// the old one only when the C++ layer has taken the new list: a refused list
// leaves the one in force, and the entries it points at, as they were.
#include "rkv/dense.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <new>

#include "integrator_handle.hpp"
#include "null_args.hpp"
#include "refusals.hpp"
#include "rkv/error_types.h"
#include "rkv/errors/call_scope.hpp"
#include "rkv/ode/dense_output.hpp"

namespace {

using rkv::capi::refused;

constexpr std::string_view kName = "IVPEV";

static_assert(RKV_IDO_EVENTS == rkv::kIdoEvents);
static_assert(RKV_CROSSING_EITHER == static_cast<std::int32_t>(rkv::Crossing::kEither));
static_assert(RKV_CROSSING_RISING == static_cast<std::int32_t>(rkv::Crossing::kRising));
static_assert(RKV_CROSSING_FALLING == static_cast<std::int32_t>(rkv::Crossing::kFalling));
static_assert(RKV_MAX_BRACKET_ULPS == rkv::kMaxBracketUlps);

// One C event function and its context; the C++ event's context points here.
struct CEvent {
  rkv_event_fn g;
  void* context;
};

float call_event(void* entry, const std::int32_t& neq, const float& x, const float* y,
                 const float* yprime) {
  const auto* e = static_cast<const CEvent*>(entry);
  return e->g(e->context, &neq, &x, y, yprime);
}

// The first event whose crossing is none of the three, 1-based; 0 if none.
std::int32_t bad_crossing(const rkv_event* events, std::int32_t m) {
  for (std::int32_t k = 0; k < m; ++k) {
    const std::int32_t c = events[k].crossing;
    if (c != RKV_CROSSING_EITHER && c != RKV_CROSSING_RISING && c != RKV_CROSSING_FALLING) {
      return k + 1;
    }
  }
  return 0;
}

}  // namespace

struct rkv_dense {
  explicit rkv_dense(rkv::Integrator& it) : dense(it) {}
  rkv::DenseOutput dense;
  std::unique_ptr<CEvent[]> events;  // of the list in force
};

extern "C" {

rkv_dense* rkv_dense_create(rkv_integrator* it) {
  if (it == nullptr) return nullptr;
  try {  // the C++ object allocates its own state as well
    return new rkv_dense(rkv::capi::integrator_of(*it));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void rkv_dense_destroy(rkv_dense* d) {
  delete d;
}

void rkv_dense_set_output(rkv_dense* d, const float* x, const int32_t* n, float* y, float* yprime) {
  if (refused(kName, {{"DENSE", d == nullptr}, {"N", n == nullptr}}) ||
      (*n > 0 && refused(kName, {{"XOUT", x == nullptr}, {"YOUT", y == nullptr}}))) {
    return;
  }
  d->dense.set_output(x, *n, y, yprime);
}

void rkv_dense_set_events(rkv_dense* d, const rkv_event* events, const int32_t* m,
                          const rkv_event_settings* settings) {
  if (refused(kName, {{"DENSE", d == nullptr}, {"M", m == nullptr}}) ||
      (*m > 0 && refused(kName, {{"EVENTS", events == nullptr}}))) {
    return;
  }
  rkv::EventSettings s;
  if (settings != nullptr) s = {settings->bracket_ulps, settings->max_iterations};
  if (*m < 1) {  // the C++ layer's report of an empty list
    d->dense.set_events(nullptr, *m, s);
    return;
  }
  if (const std::int32_t k = bad_crossing(events, *m); k != 0) {
    rkv::capi::refuse_crossing(kName, k, events[k - 1].crossing);
    return;
  }
  const auto n = static_cast<std::size_t>(*m);
  std::unique_ptr<CEvent[]> entries(new (std::nothrow) CEvent[n]);
  std::unique_ptr<rkv::Event[]> list(new (std::nothrow) rkv::Event[n]);
  if (!entries || !list) {
    rkv::capi::refuse_storage(kName, *m);
    return;
  }
  for (std::size_t k = 0; k < n; ++k) {
    const rkv_event& e = events[k];
    entries[k] = {e.g, e.context};
    // A missing function stays missing, for the C++ layer's report.
    list[k] = {e.g == nullptr ? nullptr : &call_event, &entries[k],
               static_cast<rkv::Crossing>(e.crossing), e.terminal != 0};
  }
  const rkv::CallScope scope;  // whether the C++ layer took the list
  d->dense.set_events(list.get(), *m, s);
  if (scope.outcome() == RKV_NONE) d->events = std::move(entries);
}

void rkv_dense_clear_events(rkv_dense* d) {
  if (refused(kName, {{"DENSE", d == nullptr}})) return;
  // The entries stay: a refused clearing (during a call) keeps the list.
  d->dense.clear_events();
}

int32_t rkv_dense_ivprk(rkv_dense* d, int32_t* ido, const int32_t* neq, float* x, const float* xend,
                        const float* tol, float* param, float* y) {
  if (refused(kName, {{"DENSE", d == nullptr},
                      {"IDO", ido == nullptr},
                      {"NEQ", neq == nullptr},
                      {"X", x == nullptr},
                      {"XEND", xend == nullptr},
                      {"TOL", tol == nullptr},
                      {"PARAM", param == nullptr},
                      {"Y", y == nullptr}})) {
    return RKV_TERMINAL;
  }
  return d->dense.integrate(*ido, *neq, *x, *xend, *tol, param, y);
}

int32_t rkv_dense_event_count(const rkv_dense* d) {
  if (refused(kName, {{"DENSE", d == nullptr}})) return 0;
  return d->dense.event_count();
}

void rkv_dense_event(const rkv_dense* d, const int32_t* i, rkv_event_hit* hit) {
  if (refused(kName, {{"DENSE", d == nullptr}, {"I", i == nullptr}, {"HIT", hit == nullptr}})) {
    if (hit != nullptr) *hit = {0, std::numeric_limits<float>::quiet_NaN(), 0, nullptr, nullptr};
    return;
  }
  const rkv::EventHit& e = d->dense.event(*i);
  *hit = {e.index, e.x, e.terminal ? 1 : 0, e.y, e.yprime};
}

int32_t rkv_dense_ended(const rkv_dense* d) {
  if (refused(kName, {{"DENSE", d == nullptr}})) return 0;
  return d->dense.ended() ? 1 : 0;
}

int32_t rkv_dense_outputs_done(const rkv_dense* d) {
  if (refused(kName, {{"DENSE", d == nullptr}})) return 0;
  return d->dense.outputs_done();
}

int32_t rkv_dense_extra_evaluations(const rkv_dense* d) {
  if (refused(kName, {{"DENSE", d == nullptr}})) return 0;
  return d->dense.extra_evaluations();
}

}  // extern "C"
