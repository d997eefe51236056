// The work of the output-point and event layer after each accepted step:
// values at the output points that the step covers, and the sign changes of
// the event functions located on the step's continuous extension (extension.hpp).
//
// It computes f at the step's end only when the step needs the extension or
// events are watched, and hands it on as the next step's first stage when the
// loop goes straight on, so the steps and their evaluation count stay as they
// are without it; the extra stage is evaluated only in a step that needs a
// value between its ends. Evaluations beyond the solver's own are counted
// here, not among the solver's.
//
// Buffers are sized when an integration is opened or the event list is set,
// never while stepping. Over the storage type `Real` of the integrator.
#pragma once

#include <cstdint>
#include <vector>

#include "dense/extension.hpp"
#include "front/instance.hpp"
#include "rkv/ode/events.hpp"
#include "rkv/ode/step_record.hpp"

namespace rkv::ode {

// x lies in the closed interval from a to b (either order); false for a NaN.
template <class Real>
inline bool between(Real x, Real a, Real b) {
  return a <= b ? (a <= x && x <= b) : (b <= x && x <= a);
}

enum class TrackFailure : std::int32_t {
  kNone = 0,
  kEventNaN,  // an event function returned NaN
  kUserCode,  // user code posted a serious error (the post explains it)
};

template <class Real>
class BasicTracker {
 public:
  using Event = BasicEvent<Real>;
  using EventHit = BasicEventHit<Real>;
  using StepView = BasicStepView<Real>;

  // A new integration of NEQ (>= 1) equations of the instance `in` (whose
  // own right-hand side the extension evaluates): buffers sized, event
  // values at the start taken from the first step, results and counts
  // forgotten (the output list stays). False when the storage cannot be had.
  bool open(std::int32_t neq, const BasicInstance<Real>& in);

  // The events to watch (m >= 1) from the next step on. Their values at the
  // start of the next step are taken afresh. False when the storage cannot
  // be had; the list in force then stays.
  bool set_events(const Event* events, std::int32_t m, const EventSettings& settings);
  void clear_events();
  [[nodiscard]] std::int32_t event_count() const {
    return static_cast<std::int32_t>(events_.size());
  }

  // Output points x[0..n-1], ordered in the direction of integration, with
  // values written to y (n rows of NEQ) and, unless null, derivatives to yp.
  void set_output(const Real* x, std::int32_t n, Real* y, Real* yp);
  void clear_output();
  [[nodiscard]] std::int32_t outputs_done() const { return out_done_; }
  [[nodiscard]] std::int32_t outputs_total() const { return out_n_; }

  // Each accepted step's record handed to `hook` (null: none), from the
  // next step on; the extra stage is evaluated in every step then.
  void set_step_hook(BasicStepHook<Real> hook, void* context) {
    hook_ = hook;
    hook_context_ = context;
  }
  [[nodiscard]] bool recording() const { return hook_ != nullptr; }

  // At the start of each call, with its XEND: no events, no failure yet.
  // The event values at the start of the call's first step are taken afresh,
  // as between calls the caller may have changed Y.
  void begin_call(Real xend) {
    xend_ = xend;
    hits_.clear();
    failure_ = TrackFailure::kNone;
    have_g0_ = false;
  }

  // Called after each accepted step; true when the call is to stop after it
  // (events were located or a failure was met).
  bool on_accept(const StepView& s);

  // The events located in the last step, in the order of x (up to and
  // including the first terminal one).
  [[nodiscard]] std::int32_t hit_count() const { return static_cast<std::int32_t>(hits_.size()); }
  [[nodiscard]] const EventHit& hit(std::int32_t i) const {
    return hits_[static_cast<std::size_t>(i)];
  }
  [[nodiscard]] TrackFailure failure() const { return failure_; }
  [[nodiscard]] std::int32_t failure_index() const { return failure_index_; }
  [[nodiscard]] Real failure_x() const { return failure_x_; }

  // The extra stage, and f at the end of a step that ends the call.
  [[nodiscard]] std::int32_t extra_evaluations() const { return extra_evaluations_; }
  [[nodiscard]] std::int32_t event_evaluations() const { return event_evaluations_; }

 private:
  bool ensure_end_derivative();
  bool ensure_extra_stage();
  bool value(Real x, Real* y, Real* yp);
  bool event_value(std::size_t k, Real x, const Real* y, const Real* yp, Real& g);
  bool locate(std::size_t k, Real& x);
  bool track_events(const StepView& s, Real& limit);
  bool add_hit(std::size_t k, Real step);
  bool write_outputs(Real x0, Real limit);
  bool fail(TrackFailure why, std::int32_t index, Real x);
  bool evaluate(Real x, const Real* y, Real* yp);
  bool record_step();

  std::int32_t neq_ = 0;
  const BasicInstance<Real>* instance_ = nullptr;
  std::vector<Real> k9_, k10_, arg_, y_, yp_, hit_y_, hit_yp_, record_;
  BasicStepHook<Real> hook_ = nullptr;
  void* hook_context_ = nullptr;

  std::vector<Event> events_;
  EventSettings settings_{};
  std::vector<Real> g0_, g1_;
  bool have_g0_ = false;

  const Real* out_x_ = nullptr;
  std::int32_t out_n_ = 0;
  std::int32_t out_done_ = 0;
  Real* out_y_ = nullptr;
  Real* out_yp_ = nullptr;

  Real xend_ = 0;  // of the current call
  BasicDenseStep<Real> d_{};
  bool have_k9_ = false;
  bool have_k10_ = false;

  std::vector<EventHit> hits_;
  TrackFailure failure_ = TrackFailure::kNone;
  std::int32_t failure_index_ = 0;
  Real failure_x_ = 0;
  std::int32_t extra_evaluations_ = 0;
  std::int32_t event_evaluations_ = 0;
};

using Tracker = BasicTracker<float>;
extern template class BasicTracker<float>;
extern template class BasicTracker<double>;

}  // namespace rkv::ode
