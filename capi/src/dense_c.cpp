// The C handles of a dense output: an rkv::BasicDenseOutput over the
// integrator of an rkv_integrator (rkv_dense, float) or an rkv_dintegrator
// (rkv_ddense, double), with the C event functions called through one
// trampoline. Each routine is written once over the handle.
//
// The C++ layer copies an event list but keeps its context pointers, so each
// C event's function and context live in the handle (one array per list in
// force); the C++ event's context points at its entry. A new array replaces
// the old one only when the C++ layer has taken the new list: a refused list
// leaves the one in force, and the entries it points at, as they were.
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <string_view>

#include "integrator_handle.hpp"
#include "null_args.hpp"
#include "refusals.hpp"
#include "rkv/ddense.h"
#include "rkv/dense.h"
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
template <class Fn>
struct CEvent {
  Fn g;
  void* context;
};

template <class Real, class Fn>
Real call_event(void* entry, const std::int32_t& neq, const Real& x, const Real* y,
                const Real* yprime) {
  const auto* e = static_cast<const CEvent<Fn>*>(entry);
  return e->g(e->context, &neq, &x, y, yprime);
}

// What a handle holds, over the real type and the C types of its events.
template <class RealT, class EventT, class HitT>
struct DenseState {
  using Real = RealT;
  using Event = EventT;
  using Hit = HitT;
  using Fn = decltype(EventT::g);
  explicit DenseState(rkv::BasicIntegrator<Real>& it) : dense(it) {}
  rkv::BasicDenseOutput<Real> dense;
  std::unique_ptr<CEvent<Fn>[]> events;  // of the list in force
};

// The first event whose crossing is none of the three, 1-based; 0 if none.
template <class Event>
std::int32_t bad_crossing(const Event* events, std::int32_t m) {
  for (std::int32_t k = 0; k < m; ++k) {
    const std::int32_t c = events[k].crossing;
    if (c != RKV_CROSSING_EITHER && c != RKV_CROSSING_RISING && c != RKV_CROSSING_FALLING) {
      return k + 1;
    }
  }
  return 0;
}

}  // namespace

struct rkv_dense : DenseState<float, rkv_event, rkv_event_hit> {
  static constexpr std::string_view kHandle = "DENSE";
  using DenseState::DenseState;
};
struct rkv_ddense : DenseState<double, rkv_devent, rkv_devent_hit> {
  static constexpr std::string_view kHandle = "DDENSE";
  using DenseState::DenseState;
};

namespace {

template <class D, class It>
D* create(It* it) {
  if (it == nullptr) return nullptr;
  try {  // the C++ object allocates its own state as well
    return new D(rkv::capi::integrator_of(*it));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

template <class D, class Real>
void set_output(D* d, const Real* x, const std::int32_t* n, Real* y, Real* yprime) {
  if (refused(kName, {{D::kHandle, d == nullptr}, {"N", n == nullptr}}) ||
      (*n > 0 && refused(kName, {{"XOUT", x == nullptr}, {"YOUT", y == nullptr}}))) {
    return;
  }
  d->dense.set_output(x, *n, y, yprime);
}

template <class D>
void set_events(D* d, const typename D::Event* events, const std::int32_t* m,
                const rkv_event_settings* settings) {
  using Real = typename D::Real;
  using Entry = CEvent<typename D::Fn>;
  if (refused(kName, {{D::kHandle, d == nullptr}, {"M", m == nullptr}}) ||
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
  std::unique_ptr<Entry[]> entries(new (std::nothrow) Entry[n]);
  std::unique_ptr<rkv::BasicEvent<Real>[]> list(new (std::nothrow) rkv::BasicEvent<Real>[n]);
  if (!entries || !list) {
    rkv::capi::refuse_storage(kName, *m);
    return;
  }
  for (std::size_t k = 0; k < n; ++k) {
    const auto& e = events[k];
    entries[k] = {e.g, e.context};
    // A missing function stays missing, for the C++ layer's report.
    list[k] = {e.g == nullptr ? nullptr : &call_event<Real, typename D::Fn>, &entries[k],
               static_cast<rkv::Crossing>(e.crossing), e.terminal != 0};
  }
  const rkv::CallScope scope;  // whether the C++ layer took the list
  d->dense.set_events(list.get(), *m, s);
  if (scope.outcome() == RKV_NONE) d->events = std::move(entries);
}

template <class D>
void clear_events(D* d) {
  if (refused(kName, {{D::kHandle, d == nullptr}})) return;
  // The entries stay: a refused clearing (during a call) keeps the list.
  d->dense.clear_events();
}

template <class D, class Real>
std::int32_t ivprk(D* d, std::int32_t* ido, const std::int32_t* neq, Real* x, const Real* xend,
                   const Real* tol, Real* param, Real* y) {
  if (refused(kName, {{D::kHandle, d == nullptr},
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

template <class D>
void event(const D* d, const std::int32_t* i, typename D::Hit* hit) {
  using Real = typename D::Real;
  if (refused(kName, {{D::kHandle, d == nullptr}, {"I", i == nullptr}, {"HIT", hit == nullptr}})) {
    if (hit != nullptr) *hit = {0, std::numeric_limits<Real>::quiet_NaN(), 0, nullptr, nullptr};
    return;
  }
  const rkv::BasicEventHit<Real>& e = d->dense.event(*i);
  *hit = {e.index, e.x, e.terminal ? 1 : 0, e.y, e.yprime};
}

// The counters: `count` of the handle's C++ layer, 0 when the call is refused.
template <class D, class Count>
std::int32_t counter(const D* d, Count count) {
  if (refused(kName, {{D::kHandle, d == nullptr}})) return 0;
  return count(d->dense);
}
constexpr auto kEventCount = [](const auto& dense) { return dense.event_count(); };
constexpr auto kEnded = [](const auto& dense) { return dense.ended() ? 1 : 0; };
constexpr auto kOutputsDone = [](const auto& dense) { return dense.outputs_done(); };
constexpr auto kExtra = [](const auto& dense) { return dense.extra_evaluations(); };

}  // namespace

extern "C" {

rkv_dense* rkv_dense_create(rkv_integrator* it) {
  return create<rkv_dense>(it);
}
void rkv_dense_destroy(rkv_dense* d) {
  delete d;
}
void rkv_dense_set_output(rkv_dense* d, const float* x, const int32_t* n, float* y, float* yprime) {
  set_output(d, x, n, y, yprime);
}
void rkv_dense_set_events(rkv_dense* d, const rkv_event* events, const int32_t* m,
                          const rkv_event_settings* settings) {
  set_events(d, events, m, settings);
}
void rkv_dense_clear_events(rkv_dense* d) {
  clear_events(d);
}
int32_t rkv_dense_ivprk(rkv_dense* d, int32_t* ido, const int32_t* neq, float* x, const float* xend,
                        const float* tol, float* param, float* y) {
  return ivprk(d, ido, neq, x, xend, tol, param, y);
}
int32_t rkv_dense_event_count(const rkv_dense* d) {
  return counter(d, kEventCount);
}
void rkv_dense_event(const rkv_dense* d, const int32_t* i, rkv_event_hit* hit) {
  event(d, i, hit);
}
int32_t rkv_dense_ended(const rkv_dense* d) {
  return counter(d, kEnded);
}
int32_t rkv_dense_outputs_done(const rkv_dense* d) {
  return counter(d, kOutputsDone);
}
int32_t rkv_dense_extra_evaluations(const rkv_dense* d) {
  return counter(d, kExtra);
}

rkv_ddense* rkv_ddense_create(rkv_dintegrator* it) {
  return create<rkv_ddense>(it);
}
void rkv_ddense_destroy(rkv_ddense* d) {
  delete d;
}
void rkv_ddense_set_output(rkv_ddense* d, const double* x, const int32_t* n, double* y,
                           double* yprime) {
  set_output(d, x, n, y, yprime);
}
void rkv_ddense_set_events(rkv_ddense* d, const rkv_devent* events, const int32_t* m,
                           const rkv_event_settings* settings) {
  set_events(d, events, m, settings);
}
void rkv_ddense_clear_events(rkv_ddense* d) {
  clear_events(d);
}
int32_t rkv_ddense_ivprk(rkv_ddense* d, int32_t* ido, const int32_t* neq, double* x,
                         const double* xend, const double* tol, double* param, double* y) {
  return ivprk(d, ido, neq, x, xend, tol, param, y);
}
int32_t rkv_ddense_event_count(const rkv_ddense* d) {
  return counter(d, kEventCount);
}
void rkv_ddense_event(const rkv_ddense* d, const int32_t* i, rkv_devent_hit* hit) {
  event(d, i, hit);
}
int32_t rkv_ddense_ended(const rkv_ddense* d) {
  return counter(d, kEnded);
}
int32_t rkv_ddense_outputs_done(const rkv_ddense* d) {
  return counter(d, kOutputsDone);
}
int32_t rkv_ddense_extra_evaluations(const rkv_ddense* d) {
  return counter(d, kExtra);
}

}  // extern "C"
