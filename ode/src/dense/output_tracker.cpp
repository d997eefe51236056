// Output points and event location after each accepted step.
//
// A sign change of g_k between the step's ends (g(x0) nonzero, g(x1) of the
// other sign or zero) is an event in that step; a zero at the step's end thus
// belongs to the step that reaches it and is not seen again by the next one,
// which starts from it. Sign changes that return within one step are not seen.
#include "dense/output_tracker.hpp"

#include <bit>
#include <cmath>
#include <new>

#include "rkv/errors/state.hpp"
#include "rkv/errors/user_code.hpp"
#include "step/real_format.hpp"
#include "step/user_calls.hpp"

namespace rkv::ode {
namespace {

std::size_t sz(std::int32_t n) {
  return static_cast<std::size_t>(n);
}

// Position of v on the ordered line of numbers of its format (+0 and -0
// coincide), so that the difference of two positions counts the numbers
// between them.
template <class Real>
std::int64_t position(Real v) {
  using Bits = typename RealFormat<Real>::Bits;
  const Bits b = std::bit_cast<Bits>(v);
  const auto magnitude = static_cast<std::int64_t>(b & RealFormat<Real>::kMagnitude);
  return (b & ~RealFormat<Real>::kMagnitude) != 0 ? -magnitude : magnitude;
}

// The count of numbers between a and b. Unsigned: for double, positions of
// opposite signs lie up to 2^64 apart.
template <class Real>
std::uint64_t ulps_between(Real a, Real b) {
  const std::int64_t pa = position(a);
  const std::int64_t pb = position(b);
  const auto mag = [](std::int64_t p) { return static_cast<std::uint64_t>(p < 0 ? -p : p); };
  if ((pa < 0) != (pb < 0)) return mag(pa) + mag(pb);
  return pa < pb ? mag(pb - pa) : mag(pa - pb);
}

template <class Real>
bool strictly_between(Real x, Real a, Real b) {
  return a <= b ? (a < x && x < b) : (b < x && x < a);
}

// Runs user code (the right-hand side, an event function) marked as such at
// the current level, as the solver marks its own calls, and restores the
// mark the level had (the solver may be running this layer as user code
// already). False when a serious error was posted meanwhile.
template <class F>
bool user_call(F&& f) {
  ErrorState& e = E1ERRSTATE();
  const std::int32_t saved = E1UON(e);
  f();
  E1UOFF(e, saved);
  return !N1RSER(e);
}

template <class Real>
bool is_crossing(Crossing c, Real g0, Real g1) {
  const bool rising = g0 < Real{0} && g1 >= Real{0};
  const bool falling = g0 > Real{0} && g1 <= Real{0};
  switch (c) {
    case Crossing::kRising:
      return rising;
    case Crossing::kFalling:
      return falling;
    case Crossing::kEither:
      break;
  }
  return rising || falling;
}

}  // namespace

template <class Real>
bool BasicTracker<Real>::open(std::int32_t neq, const BasicInstance<Real>& in) {
  // Sized in full before anything changes: a failed request leaves the
  // tracker closed (it then ignores every step).
  neq_ = 0;
  instance_ = &in;
  const std::size_t n = sz(neq);
  try {
    for (std::vector<Real>* v : {&k9_, &k10_, &arg_, &y_, &yp_}) v->assign(n, Real{0});
    hit_y_.assign(n * events_.size(), Real{0});
    hit_yp_.assign(n * events_.size(), Real{0});
    record_.assign(static_cast<std::size_t>(step_record_size(neq)), Real{0});
  } catch (const std::bad_alloc&) {
    return false;
  }
  neq_ = neq;
  have_g0_ = false;
  hits_.clear();
  failure_ = TrackFailure::kNone;
  extra_evaluations_ = 0;
  event_evaluations_ = 0;
  return true;
}

template <class Real>
bool BasicTracker<Real>::set_events(const Event* events, std::int32_t m,
                                    const EventSettings& settings) {
  try {
    std::vector<Event> list(events, events + m);
    std::vector<Real> g0(sz(m), Real{0});
    std::vector<Real> g1(sz(m), Real{0});
    std::vector<Real> hy(sz(neq_) * sz(m), Real{0});
    std::vector<Real> hyp(sz(neq_) * sz(m), Real{0});
    std::vector<EventHit> hits;
    hits.reserve(sz(m));
    events_.swap(list);
    g0_.swap(g0);
    g1_.swap(g1);
    hit_y_.swap(hy);
    hit_yp_.swap(hyp);
    hits_.swap(hits);
  } catch (const std::bad_alloc&) {
    return false;  // the list in force stays
  }
  settings_ = settings;
  have_g0_ = false;
  return true;
}

template <class Real>
void BasicTracker<Real>::clear_events() {
  events_.clear();
  hits_.clear();
  have_g0_ = false;
}

template <class Real>
void BasicTracker<Real>::set_output(const Real* x, std::int32_t n, Real* y, Real* yp) {
  out_x_ = x;
  out_n_ = n;
  out_done_ = 0;
  out_y_ = y;
  out_yp_ = yp;
}

template <class Real>
void BasicTracker<Real>::clear_output() {
  set_output(nullptr, 0, nullptr, nullptr);
}

template <class Real>
bool BasicTracker<Real>::fail(TrackFailure why, std::int32_t index, Real x) {
  failure_ = why;
  failure_index_ = index;
  failure_x_ = x;
  // The next step takes the event values at its start afresh: the bracket
  // of a sign change must lie inside one step.
  have_g0_ = false;
  return false;
}

// One evaluation of the integrator's own right-hand side, as user code.
template <class Real>
bool BasicTracker<Real>::evaluate(Real x, const Real* y, Real* yp) {
  return user_call(
      [&] { with_own_rhs(*instance_, [&](const auto& rhs) { rhs(neq_, x, y, yp); }); });
}

// f(x1, y1), the extension's derivative at the step's end and the next
// step's first stage.
template <class Real>
bool BasicTracker<Real>::ensure_end_derivative() {
  if (have_k9_) return true;
  if (!evaluate(d_.x1, d_.y1, k9_.data())) {
    return fail(TrackFailure::kUserCode, 0, d_.x1);
  }
  have_k9_ = true;
  return true;
}

template <class Real>
bool BasicTracker<Real>::ensure_extra_stage() {
  if (have_k10_) return true;
  if (!ensure_end_derivative()) return false;
  dense_extra_argument(d_, arg_.data());
  const Real xe = dense_extra_abscissa(d_);
  extra_evaluations_ += 1;
  if (!evaluate(xe, arg_.data(), k10_.data())) {
    return fail(TrackFailure::kUserCode, 0, xe);
  }
  d_.k[kDenseStageCount - 1] = k10_.data();
  have_k10_ = true;
  return true;
}

// The extension at x (inside the step): the ends need no extra stage.
template <class Real>
bool BasicTracker<Real>::value(Real x, Real* y, Real* yp) {
  const bool at_end = x == d_.x1;
  const bool at_start = x == d_.x0 || d_.step == Real{0};
  if (at_end && yp != nullptr && !ensure_end_derivative()) return false;
  if (!at_end && !at_start && !ensure_extra_stage()) return false;
  dense_value(d_, x, y, yp);
  return true;
}

template <class Real>
bool BasicTracker<Real>::event_value(std::size_t k, Real x, const Real* y, const Real* yp,
                                     Real& g) {
  event_evaluations_ += 1;
  const auto index = static_cast<std::int32_t>(k) + 1;
  if (!user_call([&] { g = events_[k].g(events_[k].context, neq_, x, y, yp); })) {
    return fail(TrackFailure::kUserCode, index, x);
  }
  if (std::isnan(g)) return fail(TrackFailure::kEventNaN, index, x);
  return true;
}

// Shrinks the bracket [x0, x1] of the sign change of g_k: a keeps the sign of
// g at the step's start, b the other sign (or zero). Illinois steps, with a
// bisection whenever three steps have not halved the bracket.
template <class Real>
bool BasicTracker<Real>::locate(std::size_t k, Real& x) {
  Real a = d_.x0;
  Real b = d_.x1;
  double ga = static_cast<double>(g0_[k]);
  double gb = static_cast<double>(g1_[k]);
  std::int32_t kept = 0;  // +1: a was kept last time, -1: b was kept
  std::int32_t cycle = 0;
  std::uint64_t cycle_start = ulps_between(a, b);
  for (std::int32_t it = 0; it < settings_.max_iterations && gb != 0.0; ++it) {
    const std::uint64_t width = ulps_between(a, b);
    if (width <= static_cast<std::uint64_t>(settings_.bracket_ulps)) break;
    bool bisect = false;
    if (++cycle == 3) {
      bisect = width > cycle_start / 2;  // 2 * width > cycle_start, without the overflow
      cycle = 0;
      cycle_start = width;
    }
    Real xm = static_cast<Real>(static_cast<double>(b) -
                                gb * (static_cast<double>(b) - static_cast<double>(a)) / (gb - ga));
    if (bisect || !strictly_between(xm, a, b)) {
      xm = static_cast<Real>((static_cast<double>(a) + static_cast<double>(b)) * 0.5);
      if (!strictly_between(xm, a, b)) break;
    }
    if (!value(xm, y_.data(), yp_.data())) return false;
    Real gm = Real{0};
    if (!event_value(k, xm, y_.data(), yp_.data(), gm)) return false;
    const double g = static_cast<double>(gm);
    if (g == 0.0 || (g > 0.0) == (gb > 0.0)) {
      b = xm;
      gb = g;
      if (kept == 1) ga *= 0.5;
      kept = 1;
    } else {
      a = xm;
      ga = g;
      if (kept == -1) gb *= 0.5;
      kept = -1;
    }
  }
  x = b;
  return true;
}

// Event k changes sign over the step: its root, the solution there, and a
// hit kept in the order of x along the step, ties by index (insertion: the
// list is short and has its room reserved).
template <class Real>
bool BasicTracker<Real>::add_hit(std::size_t k, Real step) {
  const std::size_t n = sz(neq_);
  Real x = d_.x1;
  if (!locate(k, x)) return false;
  Real* y = hit_y_.data() + k * n;
  Real* yp = hit_yp_.data() + k * n;
  if (!value(x, y, yp)) return false;
  EventHit h{static_cast<std::int32_t>(k) + 1, x, events_[k].terminal, y, yp};
  std::size_t at = hits_.size();
  hits_.push_back(h);
  while (at > 0 && (step > Real{0} ? hits_[at - 1].x > x : hits_[at - 1].x < x)) {
    hits_[at] = hits_[at - 1];
    --at;
  }
  hits_[at] = h;
  return true;
}

// The events of the step: g at both ends, the hits, and the list cut after
// the first terminal one, whose x becomes the `limit` of the output points.
template <class Real>
bool BasicTracker<Real>::track_events(const StepView& s, Real& limit) {
  bool ok = ensure_end_derivative();
  for (std::size_t k = 0; ok && !have_g0_ && k < events_.size(); ++k) {
    ok = event_value(k, s.x0, s.y0, s.column(Column::kK1), g0_[k]);
  }
  for (std::size_t k = 0; ok && k < events_.size(); ++k) {
    ok = event_value(k, s.x1, s.y1, k9_.data(), g1_[k]);
  }
  for (std::size_t k = 0; ok && k < events_.size(); ++k) {
    if (is_crossing(events_[k].crossing, g0_[k], g1_[k])) ok = add_hit(k, s.step);
  }
  if (!ok) return false;
  for (std::size_t i = 0; i < hits_.size(); ++i) {
    if (hits_[i].terminal) {
      hits_.resize(i + 1);
      limit = hits_[i].x;
      break;
    }
  }
  g0_.swap(g1_);
  have_g0_ = true;
  return true;
}

// The output points from x0 up to `limit` not yet written.
template <class Real>
bool BasicTracker<Real>::write_outputs(Real x0, Real limit) {
  const std::size_t n = sz(neq_);
  bool ok = true;
  while (ok && out_done_ < out_n_ && between(out_x_[out_done_], x0, limit)) {
    const std::size_t row = sz(out_done_) * n;
    ok = value(out_x_[out_done_], out_y_ + row, out_yp_ == nullptr ? nullptr : out_yp_ + row);
    if (ok) out_done_ += 1;
  }
  return ok;
}

// The step's record, k10 included, handed to the hook as user code.
template <class Real>
bool BasicTracker<Real>::record_step() {
  if (!ensure_extra_stage()) return false;
  dense_record(d_, record_.data());
  if (!user_call([&] { hook_(hook_context_, neq_, record_.data()); })) {
    return fail(TrackFailure::kUserCode, 0, d_.x1);
  }
  return true;
}

template <class Real>
bool BasicTracker<Real>::on_accept(const StepView& s) {
  hits_.clear();
  if (s.neq != neq_) return false;  // sized for another NEQ: the caller re-opens first
  const std::size_t n = sz(neq_);
  failure_ = TrackFailure::kNone;
  have_k9_ = false;
  have_k10_ = false;
  d_ = BasicDenseStep<Real>{
      neq_,
      s.x0,
      s.x1,
      s.step,
      s.y0,
      s.y1,
      {s.column(Column::kK1), s.column(stage_column(3)), s.column(stage_column(4)),
       s.column(stage_column(5)), s.column(stage_column(6)), s.column(stage_column(7)),
       s.column(stage_column(8)), k9_.data(), nullptr}};

  Real limit = s.x1;  // output points up to here
  bool ok = events_.empty() || track_events(s, limit);
  ok = ok && write_outputs(s.x0, limit);
  ok = ok && (hook_ == nullptr || record_step());

  if (!ok) hits_.clear();  // a failure ends the step's report; the post says why
  // f(x1, y1) becomes the next step's first stage only when the loop goes
  // straight on: after a step that ends the call the caller may change Y (or
  // the model) before going on, so the next call evaluates it afresh, and
  // this evaluation counts as an extra one.
  const bool stop = !hits_.empty() || failure_ != TrackFailure::kNone;
  if (have_k9_ && !stop && s.x1 != xend_) {
    for (std::size_t i = 0; i < n; ++i) s.k1_next[i] = k9_[i];
    *s.k1_ready = 1;
  } else if (have_k9_) {
    extra_evaluations_ += 1;
  }
  return stop;
}

template class BasicTracker<float>;
template class BasicTracker<double>;

}  // namespace rkv::ode
