// I2PRK: the integrator behind IVPRK. The status protocol (IDO 1 to 6), the
// start-up, and the stepping loop with its step-size control; the Verner
// step itself is in verner.cpp, the settings and statistics in settings.cpp.
//
// The loop makes one pass per step attempt:
//   1-2  evaluation and step limits        7   pause before the step (IDO 4)
//   3    k1 = f(X, Y) unless retrying      8   step geometry towards XEND
//   4    default HMIN on the first attempt 9   Verner step, error measure E
//   5    HMIN must not exceed HMAX         10  accept (5) or reject (6)
//   6    step-size choice from h and E     11  pause after the attempt
//                                          12  the decision
// A pause returns to the caller, whose next call resumes at step 8 (IDO 4)
// or step 12 (IDO 5 or 6); the state records which pause waits for an
// answer and refuses any other. An instance with an accept observer shows it
// each accepted step before Y is overwritten; the observer may end the call
// there (IDO 7) or hand the next k1 to the loop head. The loop allocates
// nothing, and is compiled once per form of the right-hand side.
#include <bit>
#include <cmath>
#include <cstddef>

#include "front/instance.hpp"
#include "reports/error_points.hpp"
#include "reports/solver_messages.hpp"
#include "rkv/errors/call_scope.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/machine/constants.hpp"
#include "rkv/ode/ivprk.hpp"
#include "rkv/ode/param.hpp"
#include "step/isa.hpp"
#include "step/kernels.hpp"
#include "step/settings.hpp"
#include "step/solver_state.hpp"
#include "step/step_control.hpp"
#include "step/user_calls.hpp"
#include "step/verner.hpp"
#include "step/verner_table.hpp"

namespace rkv {
namespace ode {
namespace {

constexpr std::int32_t kOne = 1;
constexpr std::int32_t kLastSetting = 11;  // PARAM entries 1..11 must not be negative

// The arguments of one call, as the loop sees them.
template <class Rhs>
struct Call {
  std::int32_t& ido;
  std::int32_t neq;  // copied at entry: it sizes every loop over the workspace
  const Rhs& rhs;
  float& x;
  const float& xend;
  const float& tol;
  float* y;
  const Norm& norm;
  float* wk;
  const AcceptObserver* observer;
};

enum class Resume { kLoopHead, kTakeStep, kDecide };

template <class Rhs>
float* column(const Call<Rhs>& c, std::int32_t j) {
  return c.wk + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(c.neq);
}

// Y := candidate and column 10 := max(column 10, |Y|), elementwise, in one
// pass. The maximum is a select rather than std::fmax (a library call per
// element that keeps the loop from vectorising) and behaves as fmax does on
// a NaN: a NaN |Y_i| leaves the maximum as it was, a NaN maximum is replaced.
// The values are exact in float, so nothing is rounded here. Compiled once
// per vector instruction set (isa.hpp). The pointers are deliberately not
// __restrict: knowing that they never alias, the compiler splits the copy
// off into a library block copy, which reads the candidate a second time.
RKV_ALWAYS_INLINE void accept_loop(std::size_t n, const float* candidate, float* y, float* wmax) {
  for (std::size_t i = 0; i < n; ++i) {
    const float v = candidate[i];
    y[i] = v;
    const float a = std::fabs(v);
    const float w = wmax[i];
    wmax[i] = (a > w || w != w) ? a : w;
  }
}

RKV_TARGET_AVX512 void accept_avx512(std::size_t n, const float* candidate, float* y, float* wmax) {
  accept_loop(n, candidate, y, wmax);
}

RKV_TARGET_AVX2 void accept_avx2(std::size_t n, const float* candidate, float* y, float* wmax) {
  accept_loop(n, candidate, y, wmax);
}

void accept_baseline(std::size_t n, const float* candidate, float* y, float* wmax) {
  accept_loop(n, candidate, y, wmax);
}

void accept_candidate(std::size_t n, const float* candidate, float* y, float* wmax) {
  dispatch(accept_avx512, accept_avx2, accept_baseline, n, candidate, y, wmax);
}

// Once per program run: the coefficient table and the two machine constants.
void load_table_once(SolverState& s) {
  if (s.table_loaded != 0) return;
  for (std::size_t i = 0; i < s.table.size(); ++i) {
    s.table[i] = std::bit_cast<float>(kVernerTableBits[i]);
  }
  const std::int32_t smallest_normal = 1;
  const std::int32_t largest_spacing = 4;
  s.tiny = AMACH(smallest_normal);  // 2^-126
  s.eps = AMACH(largest_spacing);   // 2^-23, the spacing at 1
  s.table_loaded = 1;
}

// Start-up of an IDO = 1 call with its argument checks. Returns whether the
// stepping loop is to be entered.
template <class Rhs>
bool start_up(SolverState& s, const Call<Rhs>& c, const float* entries) {
  if (c.neq < 1) neq_invalid(s, c.neq);
  if (!(c.tol > 0.0f)) tol_invalid(s, c.tol);  // a NaN tolerance is refused as well
  // A non-finite end point would otherwise surface as a default HMIN of
  // infinity or as a tolerance that "may be too small".
  if (!std::isfinite(c.x)) x_not_finite(s, c.x);
  if (!std::isfinite(c.xend)) xend_not_finite(s, c.xend);
  if (error_posted()) return false;
  if (inorm_refused(param::get(entries, param::kInorm))) {
    inorm_invalid(s, entries[param::kInorm - 1]);
  }
  load_table_once(s);
  set_defaults(s);
  for (std::int32_t i = 1; i <= kLastSetting; ++i) {
    const float entry = param::get(entries, i);
    if (entry < 0.0f) {
      negative_entry(s, i, entries[i - 1]);
    } else if (std::isnan(entry)) {
      nan_entry(s, i, entries[i - 1]);  // would silently select the default
    }
  }
  // The first non-finite element only: one report, not NEQ of them.
  for (std::int32_t i = 0; i < c.neq; ++i) {
    if (!std::isfinite(c.y[i])) {
      y_not_finite(s, i + 1, c.y[i]);
      break;
    }
  }
  if (error_posted()) return false;

  float* wmax = column(c, 10);
  for (std::int32_t i = 0; i < c.neq; ++i) wmax[i] = std::fabs(c.y[i]);
  read_settings(s, entries);
  s.error = 0.0f;
  s.h = initial_magnitude(s.settings.initial_step, s.settings.hmax, c.tol);
  s.interval_complete = 0;
  s.last_end = c.x;
  s.rejections = 0;
  return true;
}

// The stepping loop, entered at its head or resumed after a pause.
template <class Rhs>
void run(SolverState& s, const Call<Rhs>& c, Resume at) {
  const Settings& t = s.settings;
  float* k1 = column(c, 1);
  float* candidate = column(c, 9);
  float* wmax = column(c, 10);
  for (;;) {
    if (at == Resume::kLoopHead) {
      // After a rejection k1 is reused: the attempt costs 7 evaluations.
      const std::int32_t cost = c.ido == 6 ? 7 : 8;
      if (t.max_evals > 0 && static_cast<std::int64_t>(s.evaluations) + cost >
                                 static_cast<std::int64_t>(t.max_evals)) {
        evaluation_limit(s, saturating_add(s.evaluations, cost), t.max_evals);
        return;
      }
      if (t.max_steps > 0 && s.accepted >= t.max_steps) {
        step_limit(s, t.max_steps);
        return;
      }
      if (c.ido != 6) {
        if (s.k1_ready != 0) {
          // An observer already evaluated f(X, Y) into column 1.
          s.k1_ready = 0;
          s.evaluations = saturating_add(s.evaluations, 1);
        } else if (!call_rhs(s, c.rhs, c.neq, c.x, c.y, k1)) {
          user_code_failed(s);
          return;
        }
      }
      if (s.settings.hmin == 0.0f) {
        s.settings.hmin = default_hmin(c.x, c.xend, s.eps, s.tiny);
      }
      if (t.hmin > t.hmax) {
        hmin_above_hmax(s, t.hmin, t.hmax);
        return;
      }
      s.h = choose_step(s.h, s.error, c.tol, s.rejections, t.hmin, t.hmax);
      if (t.pause_before != 0) {
        c.ido = 4;
        s.pause = Pause::kBeforeStep;
        return;
      }
      at = Resume::kTakeStep;
    }

    if (at == Resume::kTakeStep) {
      const StepGeometry g = step_geometry(c.x, c.xend, s.h);
      s.xnew = g.xnew;
      s.step = g.step;
      s.h = g.h;
      s.xstart = c.x;
      if (!verner_step(s, c.neq, c.rhs, c.norm, c.y, c.wk)) {
        user_code_failed(s);
        return;
      }
      c.ido = static_cast<double>(s.error) <= static_cast<double>(c.tol) ? 5 : 6;
      if (t.pause_after != 0) {
        // Show the candidate at XNEW in Y while X stays; swapped back on resume.
        V1VSWAP(c.neq, c.y, kOne, candidate, kOne);
        s.shown_neq = c.neq;
        s.pause = Pause::kAfterAttempt;
        return;
      }
    }

    // The decision, on the solver's own verdict or the caller's answer.
    if (c.ido == 5) {
      bool stop = false;
      if (c.observer != nullptr) {
        const StepView view{c.neq, c.x, s.xnew, s.step, c.y, candidate, c.wk, k1, &s.k1_ready};
        ErrorState& e = E1ERRSTATE();
        enter_user_code(e);
        stop = c.observer->on_accept(c.observer->self, view);
        leave_user_code(e);
        if (serious_error_posted(e)) {
          s.k1_ready = 0;
          user_code_failed(s);
          return;
        }
      }
      c.x = s.xnew;
      accept_candidate(static_cast<std::size_t>(c.neq), candidate, c.y, wmax);
      s.accepted = saturating_add(s.accepted, 1);
      s.rejections = 0;
      if (c.x == c.xend) {
        s.last_end = c.xend;
        c.ido = 2;
        s.interval_complete = 1;
        return;
      }
      if (stop) {
        c.ido = kStoppedAfterStep;
        return;
      }
    } else {
      s.rejections = saturating_add(s.rejections, 1);
      // Written as "not above" so that a NaN magnitude (from a non-finite X or
      // XEND) ends the call here instead of retrying for ever.
      if (!(s.h > t.hmin)) {
        tolerance_unmet(s, c.tol);
        return;
      }
    }
    at = Resume::kLoopHead;
  }
}

// Puts the last accepted point back into Y while Y shows the candidate of a
// pause after an attempt; the candidate returns to column 9. Column 9 lies
// where the exchange's count put it, but Y holds only the NEQ of this call,
// so nothing is written beyond it: an answer (5 or 6, whose NEQ the front
// end has checked against the workspace) gets back the elements its Y has;
// a closing call, whose NEQ nobody checks, gets Y back only when its NEQ is
// the one the candidate was shown with, and otherwise Y is left as it is.
enum class Restore { kAnswer, kClose };

template <class Rhs>
void restore_accepted_point(SolverState& s, const Call<Rhs>& c, Restore why = Restore::kAnswer) {
  if (s.shown_neq < 1 || c.wk == nullptr) {
    s.shown_neq = 0;
    return;
  }
  float* shown = c.wk + static_cast<std::size_t>(8) * static_cast<std::size_t>(s.shown_neq);
  std::int32_t count = c.neq < s.shown_neq ? c.neq : s.shown_neq;
  if (why == Restore::kClose && c.neq != s.shown_neq) count = 0;
  if (count > 0) V1VSWAP(count, c.y, kOne, shown, kOne);
  s.shown_neq = 0;
}

// Whether IDO (2, 4, 5 or 6) is an answer the pending pause admits: 4 after
// a pause before a step, 5 or 6 after a pause after an attempt, 2 when none
// is pending. Any other is refused with the state unchanged and Y showing
// the last accepted point.
template <class Rhs>
bool answer_admitted(SolverState& s, const Call<Rhs>& c) {
  switch (s.pause) {
    case Pause::kBeforeStep:
      if (c.ido == 4) return true;
      answer_before_step(s, c.ido);
      return false;
    case Pause::kAfterAttempt:
      if (c.ido == 5 || c.ido == 6) return true;
      restore_accepted_point(s, c);
      answer_after_attempt(s, c.ido);
      return false;
    default:
      if (c.ido == 2) return true;
      no_pause(s, c.ido);
      return false;
  }
}

// Everything between the integrator's entry and its statistics.
template <class Rhs>
void integrate(SolverState& s, const Call<Rhs>& c, const float* entries) {
  switch (c.ido) {
    case 1:
      if (s.initialised != 0) {
        repeated_start(s);
        return;
      }
      s.initialised = 1;
      s.pause = Pause::kNone;
      s.shown_neq = 0;
      s.k1_ready = 0;
      if (start_up(s, c, entries)) run(s, c, Resume::kLoopHead);
      return;
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
      // 4, 5 and 6 are refused like 2 and 3 when nothing is open: they would
      // resume with a workspace that does not exist.
      if (s.initialised == 0) {
        not_initialised(s, c.ido);
        return;
      }
      if (c.ido == 3) {
        restore_accepted_point(s, c, Restore::kClose);
        s.pause = Pause::kNone;
        s.k1_ready = 0;
        s.initialised = 0;
        return;
      }
      // NEQ is checked at start-up only; a later call must not make the
      // loops run over a negative count.
      if (c.neq < 1) {
        neq_invalid(s, c.neq);
        return;
      }
      if (!answer_admitted(s, c)) return;
      s.pause = Pause::kNone;
      if (c.ido == 2) {
        if (s.interval_complete != 0) {
          if (c.x != s.last_end) {
            x_changed(s, c.x);
            return;
          }
          if (c.xend == s.last_end) {
            xend_unchanged(s, c.xend);
            return;
          }
        }
        s.interval_complete = 0;
        run(s, c, Resume::kLoopHead);
      } else if (c.ido == 4) {
        run(s, c, Resume::kTakeStep);
      } else {
        restore_accepted_point(s, c);
        run(s, c, Resume::kDecide);
      }
      return;
    default:
      ido_range(s, c.ido);
      return;
  }
}

}  // namespace

template <class Rhs>
void integrator(Instance& in, std::int32_t& ido, std::int32_t neq, const Rhs& rhs, float& x,
                const float& xend, const float& tol, float* param, float* y, const Norm& norm,
                float* wk) {
  E1PSH(kIntegratorName);
  SolverState& s = in.state;
  begin_call(s);
  const Call<Rhs> c{ido, neq, rhs, x, xend, tol, y, norm, wk, in.observer};
  integrate(s, c, param);
  write_statistics(s, param);
  E1POP(kIntegratorName);
}

template void integrator<PlainRhs>(Instance&, std::int32_t&, std::int32_t, const PlainRhs&, float&,
                                   const float&, const float&, float*, float*, const Norm&, float*);
template void integrator<ContextRhs>(Instance&, std::int32_t&, std::int32_t, const ContextRhs&,
                                     float&, const float&, const float&, float*, float*,
                                     const Norm&, float*);
template void integrator<PointerRhs>(Instance&, std::int32_t&, std::int32_t, const PointerRhs&,
                                     float&, const float&, const float&, float*, float*,
                                     const Norm&, float*);

}  // namespace ode

void I2PRK(std::int32_t& ido, const std::int32_t& neq, RhsFunction fcn, float& x, const float& xend,
           const float& tol, float* param, float* y, NormFunction fnorm, float* wk) {
  const CallScope scope;  // puts the name stack back should user code throw
  ode::Instance& in = ode::default_instance();
  const ode::InUse busy(in.in_use);
  if (!busy.held()) {
    // Refused before anything of the call in progress is read or written,
    // PARAM included.
    E1PSH(ode::kIntegratorName);
    ode::in_use();
    E1POP(ode::kIntegratorName);
    return;
  }
  ode::integrator(in, ido, neq, ode::PlainRhs{fcn}, x, xend, tol, param, y,
                  ode::Norm{fnorm, nullptr}, wk);
}

}  // namespace rkv
