// rkv::BasicDenseOutput (DenseOutput over float, DoubleDenseOutput over
// double): output points and events through an integrator's accept
// observer. The layer checks its own arguments under the name IVPEV, attaches
// the observer only for calls that need it, and reports what the tracker met.
//
// It keeps the instance's anchor rather than the Integrator object, so a
// moved integrator is followed and a destroyed or replaced one is refused.
// Its own in-use flag refuses changes of its lists and a second call while a
// call is in progress; the observer is attached and detached only while the
// instance's in-use flag is held, so a direct call of the integrator from
// another thread is refused and never sees it.
#include "rkv/ode/dense_output.hpp"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <type_traits>

#include "dense/output_tracker.hpp"
#include "front/instance.hpp"
#include "reports/error_points.hpp"
#include "rkv/errors/call_scope.hpp"
#include "rkv/errors/params.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/stack.hpp"

namespace rkv {
namespace {

static_assert(kIdoEvents == ode::kStoppedAfterStep);

void storage_failed(std::int32_t neq, std::int32_t events) {
  ode::post_report(ode::ErrorPoint::kDenseStorage, {neq, events});
}

// Refuses the call under IVPEV's name.
void refuse(ode::ErrorPoint point) {
  E1PSH(ode::kDenseName);
  ode::post_report(point);
  E1POP(ode::kDenseName);
}

// The observer attached for the lifetime of the guard (unwinding included).
template <class Real>
class Attached {
 public:
  Attached(ode::BasicInstance<Real>& in, const ode::BasicAcceptObserver<Real>* observer) : in_(in) {
    in_.observer = observer;
  }
  ~Attached() { in_.observer = nullptr; }
  Attached(const Attached&) = delete;
  Attached& operator=(const Attached&) = delete;

 private:
  ode::BasicInstance<Real>& in_;
};

}  // namespace

template <class Real>
struct BasicDenseOutput<Real>::Impl {
  using Instance = ode::BasicInstance<Real>;
  using StepView = ode::BasicStepView<Real>;

  explicit Impl(BasicIntegrator<Real>& it) {
    Instance* in = ode::instance_pointer(it);
    if (in != nullptr) anchor = in->anchor;
  }

  static bool on_accept(void* self, const StepView& v) {
    return static_cast<Impl*>(self)->tracker.on_accept(v);
  }

  // The instance worked through; null once it is gone.
  [[nodiscard]] Instance* instance() const { return anchor ? *anchor : nullptr; }

  bool check_output(Real x, Real xend) const;
  void call(Instance& in, std::int32_t& ido, const std::int32_t& neq, Real& x, const Real& xend,
            const Real& tol, Real* param, Real* y);
  void step_on(Instance& in, std::int32_t& ido, const std::int32_t& neq, Real& x, const Real& xend,
               const Real& tol, Real* param, Real* y);
  void report_step(std::int32_t& ido, const std::int32_t& neq, Real& x, const Real& xend, Real* y,
                   bool watch);

  std::shared_ptr<Instance*> anchor;
  // Held from the entry of a call to its way out (and by the list setters).
  ode::InUseFlag busy{0};
  ode::BasicTracker<Real> tracker;
  ode::BasicAcceptObserver<Real> observer{&Impl::on_accept, this};
  std::int32_t neq = 0;
  bool opened = false;
  // The output list given by set_output, checked by the next call.
  const Real* out_x = nullptr;
  std::int32_t out_n = 0;
  Real* out_y = nullptr;
  Real* out_yp = nullptr;
  bool out_fresh = false;
  // The last call reached its XEND: its output list is spent.
  bool interval_done = false;
  // Events were located in the step that reached XEND: the user saw IDO = 7,
  // and the call that follows with IDO = 2 and the same XEND has nothing to do.
  bool complete_at_events = false;
  Real complete_xend = 0;
  // A terminal event ended the integration at (X, Y) = the event; the solver
  // itself stands at solver_x.
  bool ended = false;
  Real solver_x = 0;
};

template <class Real>
bool BasicDenseOutput<Real>::Impl::check_output(Real x, Real xend) const {
  if (out_n < 0 || (out_n > 0 && (out_x == nullptr || out_y == nullptr))) {
    ode::post_report(ode::ErrorPoint::kOutputList, {out_n});
    return false;
  }
  const bool forward = xend >= x;
  for (std::int32_t k = 0; k < out_n; ++k) {
    const Real v = out_x[k];
    if (!ode::between(v, x, xend)) {  // also a NaN
      ode::post_report(ode::ErrorPoint::kOutputOutside, {k + 1, v, x, xend});
      return false;
    }
    if (k > 0 && (forward ? v < out_x[k - 1] : v > out_x[k - 1])) {
      ode::post_report(ode::ErrorPoint::kOutputOrder, {k + 1, v, k, out_x[k - 1]});
      return false;
    }
  }
  return true;
}

template <class Real>
BasicDenseOutput<Real>::BasicDenseOutput(BasicIntegrator<Real>& integrator)
    : impl_(std::make_unique<Impl>(integrator)) {}

template <class Real>
BasicDenseOutput<Real>::~BasicDenseOutput() {
  // The observer is attached only during a call, which cannot be refused
  // from here: a call in progress would go on in freed memory.
  if (impl_ && impl_->busy.load(std::memory_order_acquire) != 0) {
    std::fprintf(stderr,
                 "rkv::%s destroyed while a call of it is in progress.  The process ends.\n",
                 std::is_same_v<Real, float> ? "DenseOutput" : "DoubleDenseOutput");
    std::abort();
  }
}

template <class Real>
void BasicDenseOutput<Real>::set_output(const Real* x, std::int32_t n, Real* y, Real* yprime) {
  Impl& m = *impl_;
  const ode::InUse own(m.busy);
  if (!own.held()) {
    refuse(ode::ErrorPoint::kDenseInUse);
    return;
  }
  m.out_x = x;
  m.out_n = n;
  m.out_y = y;
  m.out_yp = yprime;
  m.out_fresh = true;
}

namespace {

// The settings locate a sign change; posts the refusal when not.
bool settings_usable(const EventSettings& settings) {
  if (settings.bracket_ulps < 0 || settings.bracket_ulps > kMaxBracketUlps) {
    ode::post_report(ode::ErrorPoint::kBracketUlps, {settings.bracket_ulps});
    return false;
  }
  if (settings.max_iterations < 1) {
    ode::post_report(ode::ErrorPoint::kMaxIterations, {settings.max_iterations});
    return false;
  }
  return true;
}

}  // namespace

template <class Real>
void BasicDenseOutput<Real>::set_events(const BasicEvent<Real>* events, std::int32_t m,
                                        const EventSettings& settings) {
  const ode::InUse own(impl_->busy);
  if (!own.held()) {
    refuse(ode::ErrorPoint::kDenseInUse);
    return;
  }
  E1PSH(ode::kDenseName);
  if (m < 1 || events == nullptr) {
    ode::post_report(ode::ErrorPoint::kEventsEmpty, {m});
  } else {
    std::int32_t missing = 0;
    for (std::int32_t k = 0; k < m && missing == 0; ++k) {
      if (events[k].g == nullptr) missing = k + 1;
    }
    if (missing != 0) {
      ode::post_report(ode::ErrorPoint::kEventMissing, {missing});
    } else if (settings_usable(settings) && !impl_->tracker.set_events(events, m, settings)) {
      storage_failed(impl_->neq, m);
    }
  }
  E1POP(ode::kDenseName);
}

template <class Real>
void BasicDenseOutput<Real>::set_step_hook(BasicStepHook<Real> hook, void* context) {
  const ode::InUse own(impl_->busy);
  if (!own.held()) {
    refuse(ode::ErrorPoint::kDenseInUse);
    return;
  }
  impl_->tracker.set_step_hook(hook, context);
}

template <class Real>
void BasicDenseOutput<Real>::clear_events() {
  const ode::InUse own(impl_->busy);
  if (!own.held()) {
    refuse(ode::ErrorPoint::kDenseInUse);
    return;
  }
  impl_->tracker.clear_events();
}

template <class Real>
std::int32_t BasicDenseOutput<Real>::integrate(std::int32_t& ido, const std::int32_t& neq, Real& x,
                                               const Real& xend, const Real& tol, Real* param,
                                               Real* y) {
  const CallScope scope;  // the outcome, and the name stack put back on a throw
  Impl& m = *impl_;
  E1PSH(ode::kDenseName);
  const ode::InUse own(m.busy);
  ode::BasicInstance<Real>* in = m.instance();
  if (!own.held()) {
    ode::post_report(ode::ErrorPoint::kDenseInUse);
  } else if (in == nullptr) {
    ode::post_report(ode::ErrorPoint::kIntegratorGone);
  } else {
    const ode::InUse solver(in->in_use);
    if (solver.held()) {
      m.call(*in, ido, neq, x, xend, tol, param, y);
    } else {
      ode::refuse_in_use();
    }
  }
  E1POP(ode::kDenseName);
  return scope.outcome();
}

// One call, with both in-use flags held.
template <class Real>
void BasicDenseOutput<Real>::Impl::call(Instance& in, std::int32_t& ido, const std::int32_t& n,
                                        Real& x, const Real& xend, const Real& tol, Real* param,
                                        Real* y) {
  const bool repeat_end = complete_at_events && ido == 2 && xend == complete_xend;
  complete_at_events = false;
  tracker.begin_call(xend);
  if (ido == 3) {
    // Closing: the solver is shown the point it stands at.
    const Real shown = x;
    if (ended) x = solver_x;
    ode::integrator_call_held(in, ido, n, x, xend, tol, param, y);
    if (ended) x = shown;
    ended = false;
    opened = false;
  } else if (ended) {
    ode::post_report(ode::ErrorPoint::kAfterTerminal, {x});
  } else if (repeat_end) {
    // The interval was completed by the step whose events the caller has seen.
  } else if (!out_fresh || check_output(x, xend)) {
    step_on(in, ido, n, x, xend, tol, param, y);
  }
}

// The solver's steps with the observer attached when there is anything to
// watch, then what the tracker met.
template <class Real>
void BasicDenseOutput<Real>::Impl::step_on(Instance& in, std::int32_t& ido, const std::int32_t& n,
                                           Real& x, const Real& xend, const Real& tol, Real* param,
                                           Real* y) {
  // Sized for this NEQ before the solver runs; a NEQ below 1 is left to
  // the solver's own report (the tracker then sees no step).
  if (n >= 1 && (ido == 1 || !opened || n != neq)) {
    opened = tracker.open(n, in);
    neq = n;
    if (!opened) {
      storage_failed(n, tracker.event_count());
      return;
    }
  }
  if (out_fresh) {
    tracker.set_output(out_x, out_n, out_y, out_yp);
    out_fresh = false;
  } else if (interval_done) {
    tracker.clear_output();
  }
  const bool watch = tracker.event_count() > 0 || tracker.recording() ||
                     tracker.outputs_done() < tracker.outputs_total();
  {
    const Attached<Real> attached(in, watch ? &observer : nullptr);
    ode::integrator_call_held(in, ido, n, x, xend, tol, param, y);
  }
  interval_done = ido == 2;
  report_step(ido, n, x, xend, y, watch);
}

template <class Real>
void BasicDenseOutput<Real>::Impl::report_step(std::int32_t& ido, const std::int32_t& n, Real& x,
                                               const Real& xend, Real* y, bool watch) {
  if (tracker.failure() == ode::TrackFailure::kEventNaN) {
    ode::post_report(ode::ErrorPoint::kEventNaN, {tracker.failure_index(), tracker.failure_x()});
  }
  const std::int32_t hits = tracker.hit_count();
  if (!watch || hits == 0) return;
  if (ido == 2) {
    complete_at_events = true;
    complete_xend = xend;
    ido = kIdoEvents;
  }
  const BasicEventHit<Real>& last = tracker.hit(hits - 1);
  if (last.terminal) {
    ended = true;
    solver_x = x;
    x = last.x;
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) y[i] = last.y[i];
  }
}

template <class Real>
std::int32_t BasicDenseOutput<Real>::event_count() const {
  return impl_->tracker.hit_count();
}

template <class Real>
const BasicEventHit<Real>& BasicDenseOutput<Real>::event(std::int32_t i) const {
  // An index out of range gets an empty record (index 0, x NaN, no values).
  static const BasicEventHit<Real> kNone{0, std::numeric_limits<Real>::quiet_NaN(), false, nullptr,
                                         nullptr};
  if (i < 0 || i >= impl_->tracker.hit_count()) return kNone;
  return impl_->tracker.hit(i);
}

template <class Real>
bool BasicDenseOutput<Real>::ended() const {
  return impl_->ended;
}

template <class Real>
std::int32_t BasicDenseOutput<Real>::outputs_done() const {
  return impl_->tracker.outputs_done();
}

template <class Real>
std::int32_t BasicDenseOutput<Real>::extra_evaluations() const {
  return impl_->tracker.extra_evaluations();
}

template class BasicDenseOutput<float>;
template class BasicDenseOutput<double>;

}  // namespace rkv
