// A block of W lanes of the ensemble integrator: the lanes' columns (Y, the
// eight stages, the stage argument and candidate, the running max |y| and
// the parameters, each an array of NEQ lanes), one solver state per lane,
// and the feed that hands members out to the blocks of every thread and
// takes their results back. Internal to the library.
//
// A lane's solver state is the scalar integrator's own (BasicSolverState),
// started and read by the scalar routines, so that its settings, defaults
// and statistics are those of a scalar run by construction.
#pragma once

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "front/aligned_memory.hpp"
#include "reports/error_point.hpp"
#include "reports/report_table.hpp"
#include "rkv/ode/lane.hpp"
#include "rkv/ode/lane_ensemble.hpp"
#include "rkv/ode/param.hpp"
#include "step/settings.hpp"
#include "step/solver_state.hpp"
#include "step/step_control.hpp"

namespace rkv::ode {

// Members handed out one at a time to whichever block asks (so that blocks
// and threads stay busy whatever the members' lengths), and the worst
// error type of those finished.
template <class Real>
struct LaneFeed {
  const LaneProblem<Real>& problem;
  const LaneResults<Real>& results;
  std::atomic<std::int32_t> next{0};
  std::atomic<std::int32_t> worst{0};
  std::atomic<bool> abandoned{false};   // an exception left some thread
  std::atomic<bool> no_storage{false};  // a block could not allocate its columns
  std::atomic<std::int32_t> finished{0};

  // The next member's index, or -1 when there is none (or all is abandoned).
  // A block stops asking once it is told -1 (LaneBlockState::dry), but
  // the count is read first all the same: it never runs past the member
  // count by more than one ask per block, and cannot wrap round.
  std::int32_t take() {
    if (abandoned.load(std::memory_order_relaxed)) return -1;
    if (next.load(std::memory_order_relaxed) >= problem.members) return -1;
    const std::int32_t m = next.fetch_add(1, std::memory_order_relaxed);
    return m < problem.members ? m : -1;
  }
  const Real* param_of(std::int32_t m) const {
    return problem.param == nullptr
               ? nullptr
               : problem.param +
                     static_cast<std::size_t>(m) * static_cast<std::size_t>(problem.param_stride);
  }
};

template <class Real, int W>
struct LaneBlockState {
  using L = Lane<Real, W>;
  using D = Lane<double, W>;
  std::int32_t neq;
  std::int32_t npar;
  // The columns, starting on a cache line: a block's loads and stores are
  // whole registers, up to 64 bytes, and from a 16-byte start every one of
  // them would straddle two lines.
  struct Release {
    void operator()(void* p) const { ::operator delete (p, std::align_val_t{kCacheLine}); }
  };
  std::unique_ptr<L[], Release> storage;
  L* y;
  L* k[9];  // k[1..8]: the stages; k[2] holds the error vector after the candidate
  L* arg;   // the stage argument, then the candidate
  L* wmax;  // the running maximum of |y|
  L* par;   // the members' parameters
  // Float storage only: Y and k1 to k8 widened to double once each per
  // attempt, for the sums that read them up to eight times (a widening is
  // exact, so the sums are the same). Empty for double storage, whose sums
  // read y and k themselves.
  std::unique_ptr<D[], Release> wide_storage;
  D* wide_y = nullptr;
  D* wide_k[9] = {};
  L x{};  // the abscissa handed to the right-hand side
  // The offsets c H of the stages' abscissae X + c H (lanes::stage_offset)
  // and the signed steps they were formed for; all zero at first, which is
  // what steps of +0 give.
  D offset_step{};
  D offsets[5]{};
  BasicSolverState<Real> s[W]{};
  Real xcur[W]{};            // X of each lane's member
  Real xend[W]{};            // its XEND
  std::int32_t member[W]{};  // -1: idle
  // Flags as 0 or 1 in 32 bits, the width of the lanes' comparisons.
  std::int32_t fresh_k1[W]{};    // k1 is to be evaluated at the loop head
  std::int32_t attempting[W]{};  // takes part in the attempt under way
  // The quantities of each lane's solver state that every pass reads or
  // writes, held here one array per quantity, so that the loop head and
  // the decision run over the lanes in vector registers rather than
  // through W solver states of a few hundred bytes each. They are the
  // solver state's own while a member runs (load_control after its start,
  // store_control before its results are written).
  Real h[W]{};      // magnitude of the next / last trial step
  Real step[W]{};   // signed step of the last attempt
  Real xnew[W]{};   // end point of the last attempt
  Real error[W]{};  // error measure E of the last attempt
  Real enorm[W]{};  // norm of the last error vector
  Real hmin[W]{};   // the settings', 0 until the first loop head sets it
  Real hmax[W]{};
  Real scale[W]{};
  Real bound[W]{};  // lower bound of the relative norm's divisor: 1, or PARAM(11)
  std::int32_t rejections[W]{};
  std::int32_t accepted[W]{};
  std::int32_t evaluations[W]{};
  std::int32_t max_steps[W]{};
  std::int32_t max_evals[W]{};
  std::int32_t inorm[W]{};
  bool dry = false;  // the feed had no member for this block: it never will again
  // A member started since the last loop head, whose HMIN is still to be
  // defaulted and checked against HMAX; and some member lane has INORM 1 or
  // 3 (found when the lanes are filled; a member that ends later leaves it
  // set, which costs only a look). A pass looks at neither lane by lane
  // otherwise.
  bool started = false;
  bool other_norms = false;

  static constexpr bool kWidens = sizeof(Real) < sizeof(double);

  // `count` zero columns of C; throws std::bad_alloc as a vector would.
  template <class C>
  static C* columns(std::size_t count) {
    if (count > SIZE_MAX / sizeof(C)) throw std::bad_alloc();
    void* p = ::operator new (count * sizeof(C), std::align_val_t{kCacheLine});
    std::memset(p, 0, count * sizeof(C));
    return static_cast<C*>(p);
  }

  LaneBlockState(std::int32_t n, std::int32_t np)
      : neq(n),
        npar(np),
        storage(columns<L>(11 * static_cast<std::size_t>(n) +
                           static_cast<std::size_t>(np > 0 ? np : 1))),
        wide_storage(kWidens ? columns<D>(9 * static_cast<std::size_t>(n)) : nullptr) {
    const std::size_t un = static_cast<std::size_t>(n);
    y = storage.get();
    k[0] = nullptr;
    for (std::size_t j = 1; j <= 8; ++j) k[j] = y + j * un;
    arg = y + 9 * un;
    wmax = y + 10 * un;
    par = y + 11 * un;
    if (kWidens) {
      wide_y = wide_storage.get();
      for (std::size_t j = 1; j <= 8; ++j) wide_k[j] = wide_y + j * un;
    }
    for (int l = 0; l < W; ++l) {
      member[l] = -1;
      bound[l] = Real{1};
      load_constants(s[l]);
    }
  }
};

// f(entry of lane l, the solver state's field) for each quantity a pass
// writes: the one list that load_control and store_control both follow.
template <class Real, int W, class F>
void each_written(LaneBlockState<Real, W>& b, int l, F f) {
  BasicSolverState<Real>& s = b.s[l];
  f(b.h[l], s.h);
  f(b.step[l], s.step);
  f(b.xnew[l], s.xnew);
  f(b.error[l], s.error);
  f(b.enorm[l], s.enorm);
  f(b.hmin[l], s.settings.hmin);
  f(b.rejections[l], s.rejections);
  f(b.accepted[l], s.accepted);
  f(b.evaluations[l], s.evaluations);
}

// Lane l's per-pass quantities from its solver state, and back.
template <class Real, int W>
void load_control(LaneBlockState<Real, W>& b, int l) {
  each_written(b, l, [](auto& entry, const auto& field) { entry = field; });
  const BasicSettings<Real>& t = b.s[l].settings;
  b.hmax[l] = t.hmax;
  b.scale[l] = t.scale;
  b.bound[l] = t.inorm == 2 ? t.floor : Real{1};
  b.max_steps[l] = t.max_steps;
  b.max_evals[l] = t.max_evals;
  b.inorm[l] = t.inorm;
}

template <class Real, int W>
void store_control(LaneBlockState<Real, W>& b, int l) {
  each_written(b, l, [](const auto& entry, auto& field) { field = entry; });
}

// The start-up checks of a scalar IDO = 1 call on one member: the point
// the scalar call ends with (the last one it posts), kNone when it steps.
// `defaults_set` tells whether the defaults were set before a refusal.
template <class Real>
ErrorPoint member_refusal(const LaneProblem<Real>& p, const Real* prm, Real x0, Real xend,
                          const Real* y0, bool& defaults_set) {
  ErrorPoint last = ErrorPoint::kNone;
  defaults_set = false;
  if (!(p.tol > Real{0})) last = ErrorPoint::kTol;
  if (!std::isfinite(x0)) last = ErrorPoint::kXNotFinite;
  if (!std::isfinite(xend)) last = ErrorPoint::kXendNotFinite;
  if (last != ErrorPoint::kNone) return last;
  const auto entry = [prm](std::int32_t i) { return prm == nullptr ? Real{0} : prm[i - 1]; };
  if (inorm_refused(static_cast<double>(entry(param::kInorm)))) last = ErrorPoint::kInorm;
  defaults_set = true;
  for (std::int32_t i = 1; i <= 11; ++i) {
    if (entry(i) < Real{0}) {
      last = ErrorPoint::kNegativeEntry;
    } else if (std::isnan(entry(i))) {
      last = ErrorPoint::kNanEntry;
    }
  }
  for (std::int32_t i = 0; i < p.neq; ++i) {
    if (!std::isfinite(y0[i])) {
      last = ErrorPoint::kYNotFinite;
      break;
    }
  }
  return last;
}

// Writes lane l's member's results and frees the lane.
template <class Real, int W>
void finish_member(LaneBlockState<Real, W>& b, int l, LaneFeed<Real>& f, ErrorPoint point) {
  const std::size_t m = static_cast<std::size_t>(b.member[l]);
  const std::size_t n = static_cast<std::size_t>(b.neq);
  const LaneResults<Real>& r = f.results;
  store_control(b, l);
  for (std::size_t i = 0; i < n; ++i) r.y[m * n + i] = b.y[i].v[l];
  if (r.x != nullptr) r.x[m] = b.xcur[l];
  if (r.statistics != nullptr) {
    Real prm[param::kSize] = {};
    write_statistics(b.s[l], prm);
    for (std::size_t j = 0; j < 5; ++j) r.statistics[m * 5 + j] = prm[param::kLastStep - 1 + j];
  }
  const Report& rep = kReports[static_cast<std::size_t>(point)];
  if (r.error_type != nullptr) r.error_type[m] = rep.type;
  if (r.error_code != nullptr) r.error_code[m] = rep.code;
  std::int32_t w = f.worst.load(std::memory_order_relaxed);
  while (rep.type > w && !f.worst.compare_exchange_weak(w, rep.type)) {
  }
  f.finished.fetch_add(1, std::memory_order_relaxed);
  b.member[l] = -1;
  b.attempting[l] = 0;
}

// Puts the next member into idle lane l and starts it as IDO = 1 would;
// a member refused at start-up is finished at once and the next one taken.
// Returns whether the lane holds a member.
template <class Real, int W>
bool start_member(LaneBlockState<Real, W>& b, int l, LaneFeed<Real>& f) {
  const LaneProblem<Real>& p = f.problem;
  const std::size_t n = static_cast<std::size_t>(b.neq);
  if (b.dry) return false;
  for (;;) {
    const std::int32_t m = f.take();
    if (m < 0) {
      b.dry = true;
      return false;
    }
    const std::size_t um = static_cast<std::size_t>(m);
    const Real* y0 = p.y0 + um * n;
    const Real* prm = f.param_of(m);
    BasicSolverState<Real>& s = b.s[l];
    s = BasicSolverState<Real>{};  // a fresh integrator's state
    load_constants(s);
    b.member[l] = m;
    b.xcur[l] = p.x0[um];
    b.xend[l] = p.xend[um];
    for (std::size_t i = 0; i < n; ++i) b.y[i].v[l] = y0[i];
    bool defaults_set = false;
    const ErrorPoint refusal = member_refusal(p, prm, b.xcur[l], b.xend[l], y0, defaults_set);
    if (defaults_set) set_defaults(s);
    load_control(b, l);
    if (refusal != ErrorPoint::kNone) {
      finish_member(b, l, f, refusal);
      continue;
    }
    const Real zeros[param::kSize] = {};
    read_settings(s, prm == nullptr ? zeros : prm);
    for (std::size_t i = 0; i < n; ++i) b.wmax[i].v[l] = std::fabs(y0[i]);
    for (std::int32_t j = 0; j < p.npar; ++j) {
      b.par[j].v[l] =
          p.parameters[um * static_cast<std::size_t>(p.npar) + static_cast<std::size_t>(j)];
    }
    s.error = Real{0};
    s.h = initial_magnitude(s.settings.initial_step, s.settings.hmax, p.tol);
    load_control(b, l);
    b.fresh_k1[l] = 1;
    b.started = true;
    return true;
  }
}

}  // namespace rkv::ode
