// The ensemble integrator in lanes (rkv/ode/lane_ensemble.hpp): the
// stepping loop of I2PRK run on a block of W members at once, compiled once
// per vector instruction set with its own width, and the threads on top.
//
// One pass of the loop is one step attempt of every lane that holds a
// member, in the phases of the scalar loop: the loop head (limits, k1,
// HMIN, the step-size choice and the geometry: scalar per lane, with the
// choice's power computed for the whole block and certified per lane,
// lane_root6.hpp), the Verner stages and the error norm (vector over the
// lanes), the decision (the verdict per lane, Y and max|y| taken over by a
// select). A lane that retries a rejected step is evaluated with the rest
// of its block when they need k1, but keeps its own k1 and the evaluation
// is not counted. A lane whose member ends (XEND reached or an error)
// takes the next member before the next pass.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "lanes/lane_attempt.hpp"
#include "lanes/lane_block.hpp"
#include "lanes/lane_root6.hpp"
#include "lanes/lane_step.hpp"
#include "rkv/ode/lane_ensemble.hpp"
#include "step/isa.hpp"
#include "step/step_control.hpp"

namespace rkv::ode {
namespace {

// Fills idle lanes and applies the loop head's limits. Returns whether any
// lane holds a member.
template <class Real, int W>
bool fill_and_limit(LaneBlockState<Real, W>& b, LaneFeed<Real>& f) {
  bool any = false;
  for (int l = 0; l < W; ++l) {
    for (;;) {
      if (b.member[l] < 0 && !start_member(b, l, f)) break;
      const BasicSolverState<Real>& s = b.s[l];
      const BasicSettings<Real>& t = s.settings;
      const std::int32_t cost = b.fresh_k1[l] ? 8 : 7;
      if (t.max_evals > 0 && static_cast<std::int64_t>(s.evaluations) + cost >
                                 static_cast<std::int64_t>(t.max_evals)) {
        finish_member(b, l, f, ErrorPoint::kEvaluationLimit);
        continue;
      }
      if (t.max_steps > 0 && s.accepted >= t.max_steps) {
        finish_member(b, l, f, ErrorPoint::kStepLimit);
        continue;
      }
      any = true;
      break;
    }
    b.attempting[l] = b.member[l] >= 0;
  }
  return any;
}

// k1 of the lanes that start a step, from the argument column where the
// block was evaluated; a retrying lane keeps the k1 of its step, as the
// scalar run does (evaluated again, it could differ: the right-hand side
// may have turned a switch of its member during the rejected attempt).
template <class Real, int W>
RKV_ALWAYS_INLINE void take_fresh_k1(LaneBlockState<Real, W>& b) {
  lanes::take_where(b.fresh_k1, b.arg, b.k[1], static_cast<std::size_t>(b.neq));
}

// The power F::root6(TOL/E) of each lane whose step-size choice takes it
// (lane_root6.hpp); nothing to do where no lane takes one.
template <class Real, int W>
RKV_ALWAYS_INLINE void step_powers(const LaneBlockState<Real, W>& b, Real tol, double (&q)[W],
                                   double (&root)[W]) {
  Real e[W];
  Real h[W];
  bool takes[W];
  bool any = false;
  for (int l = 0; l < W; ++l) {
    const BasicSolverState<Real>& s = b.s[l];
    e[l] = s.error;
    h[l] = s.h;
    takes[l] = b.attempting[l] && s.rejections < 2 &&
               !(static_cast<double>(s.error) * RealFormat<Real>::kGrowthLimit <=
                 static_cast<double>(tol));
    any = any || takes[l];
    q[l] = 0.0;
    root[l] = 0.0;
  }
  if (!any) return;
  lanes::Vec<Real, W> ev;
  std::memcpy(&ev, e, sizeof ev);
  const lanes::Vec<double, W> quotient =
      static_cast<double>(tol) / __builtin_convertvector(ev, lanes::Vec<double, W>);
  std::memcpy(q, &quotient, sizeof q);
  lanes::lane_root6(q, h, takes, root);
}

// k1 where a lane needs it, then HMIN, the step-size choice and the
// geometry per lane; h and x receive the lanes' signed steps and starts.
template <class Real, int W>
RKV_ALWAYS_INLINE void loop_head(LaneBlockState<Real, W>& b, LaneFeed<Real>& f,
                                 LaneBlockFunction<Real> fn, void* context, lanes::Wide<W>& h,
                                 lanes::Wide<W>& x) {
  bool need = false;
  bool keep = false;  // some lane retries: its k1 must stay as the scalar run keeps it
  for (int l = 0; l < W; ++l) {
    need = need || (b.attempting[l] && b.fresh_k1[l]);
    keep = keep || (b.attempting[l] && !b.fresh_k1[l]);
  }
  if (need) {
    for (int l = 0; l < W; ++l) b.x.v[l] = b.xcur[l];
    lanes::call_block(b, fn, context, keep ? b.arg : b.k[1], b.y);
    if (keep) take_fresh_k1(b);
  }
  double q[W];  // TOL/E
  double root[W];
  step_powers(b, f.problem.tol, q, root);
  for (int l = 0; l < W; ++l) {
    h.v[l] = 0.0;
    x.v[l] = 0.0;
    if (!b.attempting[l]) continue;
    BasicSolverState<Real>& s = b.s[l];
    if (b.fresh_k1[l]) s.evaluations = count_one(s.evaluations);
    b.fresh_k1[l] = false;
    BasicSettings<Real>& t = s.settings;
    if (t.hmin == Real{0}) t.hmin = default_hmin(b.xcur[l], b.xend[l], s.eps, s.tiny);
    if (t.hmin > t.hmax) {
      finish_member(b, l, f, ErrorPoint::kHminAboveHmax);
      continue;
    }
    const auto root6 = [&q, &root, l](double v) {
      return v == q[l] ? root[l] : RealFormat<Real>::root6(v);
    };
    s.h = choose_step(s.h, s.error, f.problem.tol, s.rejections, t.hmin, t.hmax, root6);
    const StepGeometry<Real> g = step_geometry(b.xcur[l], b.xend[l], s.h);
    s.xnew = g.xnew;
    s.step = g.step;
    s.h = g.h;
    s.xstart = b.xcur[l];
    h.v[l] = static_cast<double>(s.step);
    x.v[l] = static_cast<double>(s.xstart);
  }
}

// The verdict and the decision per lane; Y and max|y| of the accepted
// lanes take the candidate.
template <class Real, int W>
RKV_ALWAYS_INLINE void decide(LaneBlockState<Real, W>& b, LaneFeed<Real>& f) {
  Real enorm[W];
  lanes::error_norms(b, enorm);
  bool accept[W];
  for (int l = 0; l < W; ++l) {
    accept[l] = false;
    if (!b.attempting[l]) continue;
    BasicSolverState<Real>& s = b.s[l];
    s.evaluations = saturating_add(s.evaluations, 7);
    s.enorm = enorm[l];
    s.error = static_cast<Real>(static_cast<double>(s.h) * static_cast<double>(s.enorm) *
                                static_cast<double>(s.settings.scale));
    accept[l] = static_cast<double>(s.error) <= static_cast<double>(f.problem.tol);
  }
  lanes::take_accepted(b, accept);
  for (int l = 0; l < W; ++l) {
    if (!b.attempting[l]) continue;
    BasicSolverState<Real>& s = b.s[l];
    if (!accept[l]) {
      s.rejections = saturating_add(s.rejections, 1);
      if (!(s.h > s.settings.hmin)) finish_member(b, l, f, ErrorPoint::kToleranceUnmet);
      continue;
    }
    b.xcur[l] = s.xnew;
    s.accepted = saturating_add(s.accepted, 1);
    s.rejections = 0;
    b.fresh_k1[l] = true;
    if (b.xcur[l] == b.xend[l]) finish_member(b, l, f, ErrorPoint::kNone);
  }
}

// One block's loop until the feed runs dry.
template <class Real, int W>
RKV_ALWAYS_INLINE void block_loop(LaneFeed<Real>& f, LaneBlockFunction<Real> fn, void* context) {
  // A block that cannot have its columns leaves its members to the others.
  std::optional<LaneBlockState<Real, W>> holder;
  try {
    holder.emplace(f.problem.neq, f.problem.npar);
  } catch (const std::bad_alloc&) {
    f.no_storage.store(true);
    return;
  }
  LaneBlockState<Real, W>& b = *holder;
  lanes::Wide<W> h{};
  lanes::Wide<W> x{};
  while (fill_and_limit(b, f)) {
    loop_head(b, f, fn, context, h, x);
    lanes::verner(b, fn, context, h, x);
    decide(b, f);
  }
}

template <class Real>
RKV_TARGET_AVX512 void block_loop_avx512(LaneFeed<Real>& f, const LaneRhs<Real>& rhs) {
  block_loop<Real, kLaneWidths[2]>(f, rhs.block[2], rhs.context);
}
template <class Real>
RKV_TARGET_AVX2 void block_loop_avx2(LaneFeed<Real>& f, const LaneRhs<Real>& rhs) {
  block_loop<Real, kLaneWidths[1]>(f, rhs.block[1], rhs.context);
}
template <class Real>
void block_loop_baseline(LaneFeed<Real>& f, const LaneRhs<Real>& rhs) {
  block_loop<Real, kLaneWidths[0]>(f, rhs.block[0], rhs.context);
}

template <class Real>
void work(LaneFeed<Real>& f, const LaneRhs<Real>& rhs) {
  dispatch(block_loop_avx512<Real>, block_loop_avx2<Real>, block_loop_baseline<Real>, f, rhs);
}

template <class Real>
bool refused(const LaneProblem<Real>& p, const LaneRhs<Real>& rhs, const LaneResults<Real>& r) {
  if (p.members < 0 || p.neq < 1 || p.npar < 0) return true;
  if (p.param_stride != 0 && p.param_stride != param::kSize) return true;
  if (p.members == 0) return false;
  if (p.x0 == nullptr || p.xend == nullptr || p.y0 == nullptr || r.y == nullptr) return true;
  if (p.npar > 0 && p.parameters == nullptr) return true;
  return rhs.block[0] == nullptr || rhs.block[1] == nullptr || rhs.block[2] == nullptr;
}

// The worst error type, or kLanesNoStorage when members were left undone
// because no block could allocate its columns.
template <class Real>
std::int32_t outcome(const LaneFeed<Real>& f) {
  if (f.no_storage.load() && f.finished.load() < f.problem.members) return kLanesNoStorage;
  return f.worst.load();
}

}  // namespace

template <class Real>
std::int32_t run_lanes(const LaneProblem<Real>& problem, const LaneRhs<Real>& rhs,
                       const LaneResults<Real>& results, std::int32_t threads) {
  if (refused(problem, rhs, results)) return kLanesRefused;
  LaneFeed<Real> f{problem, results};
  if (threads < 1)
    threads = static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency()));
  if (threads == 1) {
    work(f, rhs);
    return outcome(f);
  }
  std::exception_ptr first;
  std::mutex guard;
  std::vector<std::thread> pool;
  pool.reserve(static_cast<std::size_t>(threads));
  const auto worker = [&] {
    try {
      work(f, rhs);
    } catch (...) {
      f.abandoned.store(true);
      const std::lock_guard<std::mutex> lock(guard);
      if (!first) first = std::current_exception();
    }
  };
  // The calling thread works as well; a thread that cannot be started
  // leaves its share to the others.
  for (std::int32_t t = 1; t < threads; ++t) {
    try {
      pool.emplace_back(worker);
    } catch (const std::system_error&) {
      break;
    }
  }
  worker();
  for (std::thread& t : pool) t.join();
  if (first) std::rethrow_exception(first);
  return outcome(f);
}

template std::int32_t run_lanes<float>(const LaneProblem<float>&, const LaneRhs<float>&,
                                       const LaneResults<float>&, std::int32_t);
template std::int32_t run_lanes<double>(const LaneProblem<double>&, const LaneRhs<double>&,
                                        const LaneResults<double>&, std::int32_t);

}  // namespace rkv::ode
