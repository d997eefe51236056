// rkv::DenseOutput: output points and events through an Integrator's accept
// observer. The layer checks its own arguments under the name IVPEV, attaches
// the observer only for calls that need it, and reports what the tracker met.
#include "rkv/ode/dense_output.hpp"

#include <cstddef>
#include <limits>

#include "dense/output_tracker.hpp"
#include "front/instance.hpp"
#include "reports/error_points.hpp"
#include "rkv/errors/stack.hpp"

namespace rkv {
namespace {

static_assert(kIdoEvents == ode::kStoppedAfterStep);

void storage_failed(std::int32_t neq, std::int32_t events) {
  ode::post_report(ode::ErrorPoint::kDenseStorage, {neq, events});
}

}  // namespace

struct DenseOutput::Impl {
  explicit Impl(Integrator& it) : integrator(it) {}

  static bool on_accept(void* self, const ode::StepView& v) {
    return static_cast<Impl*>(self)->tracker.on_accept(v);
  }

  bool check_output(float x, float xend) const;
  // After a watched run: the event report, IDO = 7 for hits in a step that
  // completed the interval, and (X, Y) moved to a terminal event.
  void report_events(std::int32_t& ido, std::int32_t neq, float& x, const float& xend, float* y);

  Integrator& integrator;
  ode::Tracker tracker;
  ode::AcceptObserver observer{&Impl::on_accept, this};
  std::int32_t neq = 0;
  bool opened = false;
  // The output list given by set_output, checked by the next call.
  const float* out_x = nullptr;
  std::int32_t out_n = 0;
  float* out_y = nullptr;
  float* out_yp = nullptr;
  bool out_fresh = false;
  // The last call reached its XEND: its output list is spent.
  bool interval_done = false;
  // Events were located in the step that reached XEND: the user saw IDO = 7,
  // and the call that follows with IDO = 2 and the same XEND has nothing to do.
  bool complete_at_events = false;
  float complete_xend = 0.0f;
  // A terminal event ended the integration at (X, Y) = the event; the solver
  // itself stands at solver_x.
  bool ended = false;
  float solver_x = 0.0f;
};

bool DenseOutput::Impl::check_output(float x, float xend) const {
  if (out_n < 0 || (out_n > 0 && (out_x == nullptr || out_y == nullptr))) {
    ode::post_report(ode::ErrorPoint::kOutputList, {out_n});
    return false;
  }
  const bool forward = xend >= x;
  for (std::int32_t k = 0; k < out_n; ++k) {
    const float v = out_x[k];
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

void DenseOutput::Impl::report_events(std::int32_t& ido, std::int32_t neq, float& x,
                                      const float& xend, float* y) {
  if (tracker.failure() == ode::TrackFailure::kEventNaN) {
    ode::post_report(ode::ErrorPoint::kEventNaN, {tracker.failure_index(), tracker.failure_x()});
  }
  const std::int32_t hits = tracker.hit_count();
  if (hits == 0) return;
  if (ido == 2) {
    complete_at_events = true;
    complete_xend = xend;
    ido = kIdoEvents;
  }
  const EventHit& last = tracker.hit(hits - 1);
  if (last.terminal) {
    ended = true;
    solver_x = x;
    x = last.x;
    for (std::size_t i = 0; i < static_cast<std::size_t>(neq); ++i) y[i] = last.y[i];
  }
}

DenseOutput::DenseOutput(Integrator& integrator) : impl_(std::make_unique<Impl>(integrator)) {}

DenseOutput::~DenseOutput() {
  ode::Instance& in = ode::instance_of(impl_->integrator);
  if (in.observer == &impl_->observer) in.observer = nullptr;
}

void DenseOutput::set_output(const float* x, std::int32_t n, float* y, float* yprime) {
  Impl& m = *impl_;
  m.out_x = x;
  m.out_n = n;
  m.out_y = y;
  m.out_yp = yprime;
  m.out_fresh = true;
}

void DenseOutput::set_events(const Event* events, std::int32_t m, const EventSettings& settings) {
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
    } else if (!impl_->tracker.set_events(events, m, settings)) {
      storage_failed(impl_->neq, m);
    }
  }
  E1POP(ode::kDenseName);
}

void DenseOutput::clear_events() {
  impl_->tracker.clear_events();
}

void DenseOutput::integrate(std::int32_t& ido, const std::int32_t& neq, float& x, const float& xend,
                            const float& tol, float* param, float* y) {
  E1PSH(ode::kDenseName);
  Impl& m = *impl_;
  ode::Instance& in = ode::instance_of(m.integrator);
  const bool repeat_end = m.complete_at_events && ido == 2 && xend == m.complete_xend;
  m.complete_at_events = false;
  m.tracker.begin_call(xend);
  if (ido == 3) {
    // Closing: the solver is shown the point it stands at.
    const float shown = x;
    if (m.ended) x = m.solver_x;
    m.integrator.integrate(ido, neq, x, xend, tol, param, y);
    if (m.ended) x = shown;
    m.ended = false;
    m.opened = false;
  } else if (m.ended && ido != 1) {
    ode::post_report(ode::ErrorPoint::kAfterTerminal, {x});
  } else if (repeat_end) {
    // The interval was completed by the step whose events the caller has seen.
  } else if (!m.out_fresh || m.check_output(x, xend)) {
    // Sized for this NEQ before the solver runs; a NEQ below 1 is left to
    // the solver's own report (the tracker then sees no step).
    if (neq >= 1 && (ido == 1 || !m.opened || neq != m.neq)) {
      m.opened = m.tracker.open(neq, in);
      m.neq = neq;
      if (!m.opened) {
        storage_failed(neq, m.tracker.event_count());
        E1POP(ode::kDenseName);
        return;
      }
    }
    if (m.out_fresh) {
      m.tracker.set_output(m.out_x, m.out_n, m.out_y, m.out_yp);
      m.out_fresh = false;
    } else if (m.interval_done) {
      m.tracker.clear_output();
    }
    const bool watch =
        m.tracker.event_count() > 0 || m.tracker.outputs_done() < m.tracker.outputs_total();
    in.observer = watch ? &m.observer : nullptr;
    m.integrator.integrate(ido, neq, x, xend, tol, param, y);
    in.observer = nullptr;
    m.interval_done = ido == 2;

    if (watch) m.report_events(ido, neq, x, xend, y);
  }
  E1POP(ode::kDenseName);
}

std::int32_t DenseOutput::event_count() const {
  return impl_->tracker.hit_count();
}

const EventHit& DenseOutput::event(std::int32_t i) const {
  // An index out of range gets an empty record (index 0, x NaN, no values).
  static const EventHit kNone{0, std::numeric_limits<float>::quiet_NaN(), false, nullptr, nullptr};
  if (i < 0 || i >= impl_->tracker.hit_count()) return kNone;
  return impl_->tracker.hit(i);
}

bool DenseOutput::ended() const {
  return impl_->ended;
}

std::int32_t DenseOutput::outputs_done() const {
  return impl_->tracker.outputs_done();
}

std::int32_t DenseOutput::extra_evaluations() const {
  return impl_->tracker.extra_evaluations();
}

}  // namespace rkv
