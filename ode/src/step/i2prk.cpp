// The integrator behind IVPRK (its entry I2PRK is in front/i2prk_entry.cpp)
// and the integrator objects. The status protocol (IDO 1 to 6), the
// start-up, and the stepping loop with its step-size control; the Verner
// step and the accept pass are in verner.cpp, the settings and statistics
// in settings.cpp.
//
// The loop makes one pass per step attempt, in three phases:
//   loop_head  1-2  evaluation and step limits   5  HMIN must not exceed HMAX
//              3    k1 = f(X, Y) unless retrying 6  step-size choice from h, E
//              4    default HMIN, first attempt  7  pause before the step (IDO 4)
//   attempt    8    step geometry towards XEND  10  verdict: accept (5), reject (6)
//              9    Verner step, error measure E 11 pause after the attempt
//   decide     12   the decision
// A pause returns to the caller, whose next call resumes at step 8 (IDO 4)
// or step 12 (IDO 5 or 6); the state records which pause waits for an
// answer and refuses any other. An instance with an accept observer shows it
// each accepted step before Y is overwritten; the observer may end the call
// there (IDO 7) or hand the next k1 to the loop head. The loop allocates
// nothing, and is compiled once per storage type (float, double) and form
// of the right-hand side.
#include <cmath>
#include <cstddef>

#include "front/instance.hpp"
#include "reports/error_points.hpp"
#include "rkv/errors/call_scope.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/errors/user_code.hpp"
#include "rkv/ode/ivprk.hpp"
#include "rkv/ode/param.hpp"
#include "step/isa.hpp"
#include "step/kernels.hpp"
#include "step/loop_call.hpp"
#include "step/settings.hpp"
#include "step/solver_state.hpp"
#include "step/step_control.hpp"
#include "step/user_calls.hpp"
#include "step/verner_body.hpp"
#include "step/work_columns.hpp"

namespace rkv::ode {
namespace {

constexpr std::int32_t kOne = 1;
constexpr std::int32_t kLastSetting = 11;  // PARAM entries 1..11 must not be negative

// Start-up of an IDO = 1 call with its argument checks. Returns whether the
// stepping loop is to be entered.
template <class Real, class Rhs>
bool start_up(BasicSolverState<Real>& s, const Call<Real, Rhs>& c, const Real* entries) {
  if (c.neq < 1) post_report(s, ErrorPoint::kNeq, {c.neq});
  // A NaN tolerance is refused as well.
  if (!(c.tol > Real{0})) post_report(s, ErrorPoint::kTol, {c.tol});
  // A non-finite end point would otherwise surface as a default HMIN of
  // infinity or as a tolerance that "may be too small".
  if (!std::isfinite(c.x)) post_report(s, ErrorPoint::kXNotFinite, {c.x});
  if (!std::isfinite(c.xend)) post_report(s, ErrorPoint::kXendNotFinite, {c.xend});
  if (error_posted()) return false;
  if (inorm_refused(param::get(entries, param::kInorm))) {
    post_report(s, ErrorPoint::kInorm, {entries[param::kInorm - 1]});
  }
  load_constants(s);
  set_defaults(s);
  for (std::int32_t i = 1; i <= kLastSetting; ++i) {
    const Real entry = param::get(entries, i);
    if (entry < Real{0}) {
      post_report(s, ErrorPoint::kNegativeEntry, {i, entries[i - 1]});
    } else if (std::isnan(entry)) {
      // Would silently select the default.
      post_report(s, ErrorPoint::kNanEntry, {i, entries[i - 1]});
    }
  }
  // The first non-finite element only: one report, not NEQ of them.
  for (std::int32_t i = 0; i < c.neq; ++i) {
    if (!std::isfinite(c.y[i])) {
      post_report(s, ErrorPoint::kYNotFinite, {i + 1, c.y[i]});
      break;
    }
  }
  if (c.norm.tolerances != nullptr) check_tolerances(s, *c.norm.tolerances, c.neq, c.y);
  if (error_posted()) return false;

  Real* wmax = column(c, Column::kMaxAbsY);
  for (std::int32_t i = 0; i < c.neq; ++i) wmax[i] = std::fabs(c.y[i]);
  read_settings(s, entries);
  s.error = Real{0};
  s.h = initial_magnitude(s.settings.initial_step, s.settings.hmax, start_tolerance(c));
  s.interval_complete = 0;
  s.last_end = c.x;
  s.rejections = 0;
  return true;
}

// Steps 1 to 7, the loop head: limits, k1, HMIN, the step size and the
// pause before the step. Returns whether the attempt follows; otherwise the
// call ends here (a limit, an error, or the pause).
template <class Real, class Rhs>
RKV_ALWAYS_INLINE bool loop_head(BasicSolverState<Real>& s, const Call<Real, Rhs>& c) {
  const BasicSettings<Real>& t = s.settings;
  // After a rejection k1 is reused: the attempt costs 7 evaluations.
  const std::int32_t cost = c.ido == 6 ? 7 : 8;
  if (t.max_evals > 0 &&
      static_cast<std::int64_t>(s.evaluations) + cost > static_cast<std::int64_t>(t.max_evals)) {
    post_report(s, ErrorPoint::kEvaluationLimit,
                {saturating_add(s.evaluations, cost), t.max_evals});
    return false;
  }
  if (t.max_steps > 0 && s.accepted >= t.max_steps) {
    post_report(s, ErrorPoint::kStepLimit, {t.max_steps});
    return false;
  }
  if (c.ido != 6) {
    if (s.k1_ready != 0) {
      // An observer already evaluated f(X, Y) into the k1 column.
      s.k1_ready = 0;
      s.evaluations = saturating_add(s.evaluations, 1);
    } else if (!call_rhs(s, c.rhs, c.neq, c.x, c.y, column(c, Column::kK1))) {
      post_report(s, ErrorPoint::kUserCode);
      return false;
    }
  }
  if (s.settings.hmin == Real{0}) {
    s.settings.hmin = default_hmin(c.x, c.xend, s.eps, s.tiny);
  }
  if (t.hmin > t.hmax) {
    post_report(s, ErrorPoint::kHminAboveHmax, {t.hmin, t.hmax});
    return false;
  }
  s.h = choose_step(s.h, s.error, c.tol, s.rejections, t.hmin, t.hmax);
  if (t.pause_before != 0) {
    c.ido = 4;
    s.pause = Pause::kBeforeStep;
    return false;
  }
  return true;
}

// Steps 8 to 11, the attempt: geometry, the Verner step, the solver's
// verdict in IDO (5 accept, 6 reject) and the pause after the attempt.
// Returns whether the decision follows.
template <class Real, class Rhs>
RKV_ALWAYS_INLINE bool attempt(BasicSolverState<Real>& s, const Call<Real, Rhs>& c) {
  const StepGeometry<Real> g = step_geometry(c.x, c.xend, s.h);
  s.xnew = g.xnew;
  s.step = g.step;
  s.h = g.h;
  s.xstart = c.x;
  if (!stepping::attempt_step(s, c.neq, c.rhs, c.norm, c.y, c.wk)) {
    post_report(s, ErrorPoint::kUserCode);
    return false;
  }
  c.ido = static_cast<double>(s.error) <= static_cast<double>(c.tol) ? 5 : 6;
  if (s.settings.pause_after != 0) {
    // Show the candidate at XNEW in Y while X stays; swapped back on resume.
    V1VSWAP(c.neq, c.y, kOne, column(c, Column::kCandidate), kOne);
    s.shown_neq = c.neq;
    s.pause = Pause::kAfterAttempt;
    return false;
  }
  return true;
}

// Shows the accepted step to the instance's observer, if any, as user code.
// Returns false when a serious error was posted meanwhile (the step is then
// abandoned); `stop` receives the observer's wish to end the call.
template <class Real, class Rhs>
RKV_ALWAYS_INLINE bool show_observer(BasicSolverState<Real>& s, const Call<Real, Rhs>& c,
                                     bool& stop) {
  stop = false;
  if (c.observer == nullptr) return true;
  Real* k1 = column(c, Column::kK1);
  const Real* candidate = column(c, Column::kCandidate);
  const BasicStepView<Real> view{c.neq, c.x, s.xnew, s.step, c.y, candidate, c.wk, k1, &s.k1_ready};
  ErrorState& e = E1ERRSTATE();
  (void)E1UON(e);
  stop = c.observer->on_accept(c.observer->self, view);
  E1UOFF(e);
  if (!N1RSER(e)) return true;
  s.k1_ready = 0;
  post_report(s, ErrorPoint::kUserCode);
  return false;
}

// Step 12, the decision, on the solver's own verdict or the caller's answer
// in IDO. Returns whether the loop goes on with the next step.
template <class Real, class Rhs>
RKV_ALWAYS_INLINE bool decide(BasicSolverState<Real>& s, const Call<Real, Rhs>& c) {
  if (c.ido != 5) {
    s.rejections = saturating_add(s.rejections, 1);
    // Written as "not above" so that a NaN magnitude (from a non-finite X or
    // XEND) ends the call here instead of retrying for ever.
    if (!(s.h > s.settings.hmin)) {
      post_report(s, ErrorPoint::kToleranceUnmet, {c.tol});
      return false;
    }
    return true;
  }
  bool stop = false;
  if (!show_observer(s, c, stop)) return false;
  c.x = s.xnew;
  stepping::accept_loop(static_cast<std::size_t>(c.neq), column(c, Column::kCandidate), c.y,
                        column(c, Column::kMaxAbsY));
  s.accepted = saturating_add(s.accepted, 1);
  s.rejections = 0;
  if (c.x == c.xend) {
    s.last_end = c.xend;
    c.ido = 2;
    s.interval_complete = 1;
    return false;
  }
  if (stop) {
    c.ido = kStoppedAfterStep;
    return false;
  }
  return true;
}

// The stepping loop, entered at its head or resumed after a pause.
template <class Real, class Rhs>
RKV_ALWAYS_INLINE void step_loop_body(BasicSolverState<Real>& s, const Call<Real, Rhs>& c,
                                      Resume at) {
  for (;;) {
    if (at == Resume::kLoopHead && !loop_head(s, c)) return;
    if (at != Resume::kDecision && !attempt(s, c)) return;
    if (!decide(s, c)) return;
    at = Resume::kLoopHead;
  }
}

// The loop with the step and the accept pass inlined, compiled once per
// vector instruction set (isa.hpp): one dispatch per call, none per step.
template <class Real, class Rhs>
RKV_TARGET_AVX512 void step_loop_avx512(BasicSolverState<Real>& s, const Call<Real, Rhs>& c,
                                        Resume at) {
  step_loop_body(s, c, at);
}

template <class Real, class Rhs>
RKV_TARGET_AVX2 void step_loop_avx2(BasicSolverState<Real>& s, const Call<Real, Rhs>& c,
                                    Resume at) {
  step_loop_body(s, c, at);
}

template <class Real, class Rhs>
void step_loop_baseline(BasicSolverState<Real>& s, const Call<Real, Rhs>& c, Resume at) {
  step_loop_body(s, c, at);
}

template <class Real, class Rhs>
void step_loop(BasicSolverState<Real>& s, const Call<Real, Rhs>& c, Resume at) {
  dispatch(step_loop_avx512<Real, Rhs>, step_loop_avx2<Real, Rhs>, step_loop_baseline<Real, Rhs>, s,
           c, at);
}

// Puts the last accepted point back into Y while Y shows the candidate of a
// pause after an attempt; the candidate returns to its column, which lies
// where the exchange's count put it, but Y holds only the NEQ of this call,
// so nothing is written beyond it: an answer (5 or 6, whose NEQ the front
// end has checked against the workspace) gets back the elements its Y has;
// a closing call, whose NEQ nobody checks, gets Y back only when its NEQ is
// the one the candidate was shown with, and otherwise Y is left as it is.
enum class Restore { kAnswer, kClose };

template <class Real, class Rhs>
void restore_accepted_point(BasicSolverState<Real>& s, const Call<Real, Rhs>& c,
                            Restore why = Restore::kAnswer) {
  if (s.shown_neq < 1 || c.wk == nullptr) {
    s.shown_neq = 0;
    return;
  }
  Real* shown = column(c.wk, static_cast<std::size_t>(s.shown_neq), Column::kCandidate);
  std::int32_t count = c.neq < s.shown_neq ? c.neq : s.shown_neq;
  if (why == Restore::kClose && c.neq != s.shown_neq) count = 0;
  if (count > 0) V1VSWAP(count, c.y, kOne, shown, kOne);
  s.shown_neq = 0;
}

// Whether IDO (2, 4, 5 or 6) is an answer the pending pause admits: 4 after
// a pause before a step, 5 or 6 after a pause after an attempt, 2 when none
// is pending. Any other is refused with the state unchanged and Y showing
// the last accepted point.
template <class Real, class Rhs>
bool answer_admitted(BasicSolverState<Real>& s, const Call<Real, Rhs>& c) {
  switch (s.pause) {
    case Pause::kBeforeStep:
      if (c.ido == 4) return true;
      post_report(s, ErrorPoint::kAnswerBeforeStep, {c.ido});
      return false;
    case Pause::kAfterAttempt:
      if (c.ido == 5 || c.ido == 6) return true;
      restore_accepted_point(s, c);
      post_report(s, ErrorPoint::kAnswerAfterAttempt, {c.ido});
      return false;
    default:
      if (c.ido == 2) return true;
      post_report(s, ErrorPoint::kNoPause, {c.ido});
      return false;
  }
}

// A call with IDO 2, 4, 5 or 6 on an open integration: the answer checked
// against the pending pause, then the loop resumed where the pause left it.
template <class Real, class Rhs>
void resume(BasicSolverState<Real>& s, const Call<Real, Rhs>& c) {
  // NEQ is checked at start-up only; a later call must not make the loops
  // run over a negative count.
  if (c.neq < 1) {
    post_report(s, ErrorPoint::kNeq, {c.neq});
    return;
  }
  if (!answer_admitted(s, c)) return;
  s.pause = Pause::kNone;
  if (c.ido == 4) {
    step_loop(s, c, Resume::kAttempt);
  } else if (c.ido != 2) {
    restore_accepted_point(s, c);
    step_loop(s, c, Resume::kDecision);
  } else if (s.interval_complete != 0 && c.x != s.last_end) {
    post_report(s, ErrorPoint::kXChanged, {c.x});
  } else if (s.interval_complete != 0 && c.xend == s.last_end) {
    post_report(s, ErrorPoint::kXendUnchanged, {c.xend});
  } else {
    s.interval_complete = 0;
    step_loop(s, c, Resume::kLoopHead);
  }
}

// Everything between the integrator's entry and its statistics: the status
// protocol, IDO 1 to 6.
template <class Real, class Rhs>
void follow_ido(BasicSolverState<Real>& s, const Call<Real, Rhs>& c, const Real* entries) {
  if (c.ido < 1 || c.ido > 6) {
    post_report(s, ErrorPoint::kIdoRange, {c.ido});
  } else if (c.ido == 1) {
    if (s.initialised != 0) {
      post_report(s, ErrorPoint::kRepeatedStart);
      return;
    }
    s.initialised = 1;
    s.pause = Pause::kNone;
    s.shown_neq = 0;
    s.k1_ready = 0;
    if (start_up(s, c, entries)) step_loop(s, c, Resume::kLoopHead);
  } else if (s.initialised == 0) {
    // 4, 5 and 6 are refused like 2 and 3 when nothing is open: they would
    // resume with a workspace that does not exist.
    post_report(s, ErrorPoint::kNotInitialised, {c.ido});
  } else if (c.ido == 3) {
    restore_accepted_point(s, c, Restore::kClose);
    s.pause = Pause::kNone;
    s.k1_ready = 0;
    s.initialised = 0;
  } else {
    resume(s, c);
  }
}

}  // namespace

// One call of the integrator on an instance: the name pushed, the protocol
// followed, the statistics written to PARAM.
template <class Real, class Rhs>
void i2prk_call(BasicInstance<Real>& in, std::int32_t& ido, std::int32_t neq, const Rhs& rhs,
                Real& x, const Real& xend, const Real& tol, Real* param, Real* y,
                const BasicNorm<Real>& norm, Real* wk) {
  E1PSH(kIntegratorName);
  BasicSolverState<Real>& s = in.state;
  begin_call(s);
  const Call<Real, Rhs> c{ido, neq, rhs, x, xend, tol, y, norm, wk, in.observer};
  follow_ido(s, c, param);
  write_statistics(s, param);
  E1POP(kIntegratorName);
}

// Both storage types, each with the three forms of the right-hand side.
// The macro argument names a type, which cannot stand in parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define RKV_I2PRK_CALL(Real, Rhs)                                                              \
  template void i2prk_call<Real, Rhs<Real>>(BasicInstance<Real>&, std::int32_t&, std::int32_t, \
                                            const Rhs<Real>&, Real&, const Real&, const Real&, \
                                            Real*, Real*, const BasicNorm<Real>&, Real*);
// NOLINTEND(bugprone-macro-parentheses)
RKV_I2PRK_CALL(float, PlainRhsOf)
RKV_I2PRK_CALL(float, ContextRhsOf)
RKV_I2PRK_CALL(float, PointerRhsOf)
RKV_I2PRK_CALL(double, PlainRhsOf)
RKV_I2PRK_CALL(double, ContextRhsOf)
RKV_I2PRK_CALL(double, PointerRhsOf)
#undef RKV_I2PRK_CALL

}  // namespace rkv::ode
