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
// or step 12 (IDO 5 or 6). The loop allocates nothing.
#include <bit>
#include <cmath>
#include <cstddef>

#include "calls.hpp"
#include "error_points.hpp"
#include "isa.hpp"
#include "kernels.hpp"
#include "messages.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/machine/constants.hpp"
#include "rkv/ode/ivprk.hpp"
#include "rkv/ode/param.hpp"
#include "settings.hpp"
#include "solver_state.hpp"
#include "step_control.hpp"
#include "verner.hpp"
#include "verner_table.hpp"

namespace rkv {
namespace ode {
namespace {

SolverState g_state{};

constexpr std::int32_t kOne = 1;
constexpr std::int32_t kLastSetting = 11;  // PARAM entries 1..11 must not be negative

// The arguments of one call, as the loop sees them.
struct Call {
  std::int32_t& ido;
  const std::int32_t& neq;
  RhsFunction fcn;
  float& x;
  const float& xend;
  const float& tol;
  float* y;
  NormFunction fnorm;
  float* wk;
};

enum class Resume { kLoopHead, kTakeStep, kDecide };

float* column(const Call& c, std::int32_t j) {
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
bool start_up(SolverState& s, const Call& c, const float* entries) {
  if (c.neq < 1) neq_invalid(c.neq);
  if (!(c.tol > 0.0f)) tol_invalid(c.tol);  // a NaN tolerance is refused as well
  if (error_posted()) return false;
  if (inorm_refused(param::get(entries, param::kInorm))) {
    inorm_invalid(entries[param::kInorm - 1]);
  }
  load_table_once(s);
  set_defaults(s);
  for (std::int32_t i = 1; i <= kLastSetting; ++i) {
    if (param::get(entries, i) < 0.0f) negative_entry(i, entries[i - 1]);
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
void run(SolverState& s, const Call& c, Resume at) {
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
        evaluation_limit(saturating_add(s.evaluations, cost), t.max_evals);
        return;
      }
      if (t.max_steps > 0 && s.accepted >= t.max_steps) {
        step_limit(t.max_steps);
        return;
      }
      if (c.ido != 6 && !call_rhs(s, c.fcn, c.neq, c.x, c.y, k1)) {
        user_code_failed();
        return;
      }
      if (s.settings.hmin == 0.0f) {
        s.settings.hmin = default_hmin(c.x, c.xend, s.eps, s.tiny);
      }
      if (t.hmin > t.hmax) {
        hmin_above_hmax(t.hmin, t.hmax);
        return;
      }
      s.h = choose_step(s.h, s.error, c.tol, s.rejections, t.hmin, t.hmax);
      if (t.pause_before != 0) {
        c.ido = 4;
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
      if (!verner_step(s, c.neq, c.fcn, c.fnorm, c.y, c.wk)) {
        user_code_failed();
        return;
      }
      c.ido = static_cast<double>(s.error) <= static_cast<double>(c.tol) ? 5 : 6;
      if (t.pause_after != 0) {
        // Show the candidate at XNEW in Y while X stays; swapped back on resume.
        V1VSWAP(c.neq, c.y, kOne, candidate, kOne);
        return;
      }
    }

    // The decision, on the solver's own verdict or the caller's answer.
    if (c.ido == 5) {
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
    } else {
      s.rejections = saturating_add(s.rejections, 1);
      // Written as "not above" so that a NaN magnitude (from a non-finite X or
      // XEND) ends the call here instead of retrying for ever.
      if (!(s.h > t.hmin)) {
        tolerance_unmet(c.tol);
        return;
      }
    }
    at = Resume::kLoopHead;
  }
}

// Everything between the integrator's entry and its statistics.
void integrate(SolverState& s, const Call& c, const float* entries) {
  switch (c.ido) {
    case 1:
      if (s.initialised != 0) {
        repeated_start();
        return;
      }
      s.initialised = 1;
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
        not_initialised(c.ido);
        return;
      }
      if (c.ido == 3) {
        s.initialised = 0;
        return;
      }
      // NEQ is checked at start-up only; a later call must not make the
      // loops run over a negative count.
      if (c.neq < 1) {
        neq_invalid(c.neq);
        return;
      }
      if (c.ido == 2) {
        if (s.interval_complete != 0) {
          if (c.x != s.last_end) {
            x_changed(c.x);
            return;
          }
          if (c.xend == s.last_end) {
            xend_unchanged(c.xend);
            return;
          }
        }
        s.interval_complete = 0;
        run(s, c, Resume::kLoopHead);
      } else if (c.ido == 4) {
        run(s, c, Resume::kTakeStep);
      } else {
        if (s.settings.pause_after != 0) V1VSWAP(c.neq, c.y, kOne, column(c, 9), kOne);
        run(s, c, Resume::kDecide);
      }
      return;
    default:
      ido_range(c.ido);
      return;
  }
}

}  // namespace

SolverState& solver_state() {
  return g_state;
}

}  // namespace ode

void I2PRK(std::int32_t& ido, const std::int32_t& neq, RhsFunction fcn, float& x, const float& xend,
           const float& tol, float* param, float* y, NormFunction fnorm, float* wk) {
  E1PSH(ode::kIntegratorName);
  ode::SolverState& s = ode::solver_state();
  ode::begin_call();
  const ode::Call c{ido, neq, fcn, x, xend, tol, y, fnorm, wk};
  ode::integrate(s, c, param);
  ode::write_statistics(s, param);
  E1POP(ode::kIntegratorName);
}

}  // namespace rkv
