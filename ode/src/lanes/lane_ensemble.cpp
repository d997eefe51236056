// The ensemble integrator in lanes (rkv/ode/lane_ensemble.hpp): the
// stepping loop of I2PRK run on a block of W members at once, compiled once
// per vector instruction set with its own width, and the threads on top.
//
// One pass of the loop is one step attempt of every lane that holds a
// member, in the phases of the scalar loop: the loop head (limits, k1,
// HMIN, the step-size choice and the geometry, with the choice's power
// computed for the whole block and certified per lane, lane_root6.hpp),
// the Verner stages and the error norm, the decision (the verdict, Y and
// max|y| taken over by a select). The loop head and the decision are the
// scalar routines run over the block's arrays of per-lane quantities
// (lane_block.hpp) as selects, which the compiler turns into vector code;
// what happens to a lane only now and then (a start, a limit, an end, the
// default HMIN) is done by scalar code in a pass over the block, only when
// some lane needs it. A lane that retries a rejected step is evaluated
// with the rest of its block when they need k1, but keeps its own k1 and
// the evaluation is not counted. A lane whose member ends (XEND reached or
// an error) takes the next member before the next pass.
#include <algorithm>
#include <cmath>
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
#include "lanes/lane_norm.hpp"
#include "lanes/lane_root6.hpp"
#include "lanes/lane_step.hpp"
#include "rkv/ode/lane_ensemble.hpp"
#include "step/isa.hpp"
#include "step/step_control.hpp"

namespace rkv::ode {
namespace {

// A count raised by seven, saturating at the int32 maximum as
// saturating_add does for the non-negative counts, in 32 bits.
inline std::int32_t plus_seven(std::int32_t v) {
  return v > INT32_MAX - 7 ? INT32_MAX : v + 7;
}

// Whether lane l's member meets the loop head's evaluation or step limit
// (0 or 1): evaluations + cost > max_evals, without overflow.
template <class Real, int W>
RKV_ALWAYS_INLINE std::int32_t evaluation_limit(const LaneBlockState<Real, W>& b, int l) {
  const std::int32_t cost = 7 + b.fresh_k1[l];
  return (b.max_evals[l] > 0 ? 1 : 0) & (b.evaluations[l] > b.max_evals[l] - cost ? 1 : 0);
}
template <class Real, int W>
RKV_ALWAYS_INLINE std::int32_t step_limit(const LaneBlockState<Real, W>& b, int l) {
  return (b.max_steps[l] > 0 ? 1 : 0) & (b.accepted[l] >= b.max_steps[l] ? 1 : 0);
}

// Fills the idle lanes and applies the loop head's limits, lane by lane:
// the scalar code for the lanes that need it.
template <class Real, int W>
void fill_and_limit_lanes(LaneBlockState<Real, W>& b, LaneFeed<Real>& f) {
  for (int l = 0; l < W; ++l) {
    for (;;) {
      if (b.member[l] < 0 && !start_member(b, l, f)) break;
      if (evaluation_limit(b, l) != 0) {
        finish_member(b, l, f, ErrorPoint::kEvaluationLimit);
        continue;
      }
      if (step_limit(b, l) != 0) {
        finish_member(b, l, f, ErrorPoint::kStepLimit);
        continue;
      }
      break;
    }
  }
  b.other_norms = false;
  for (int l = 0; l < W; ++l) {
    b.other_norms = b.other_norms || (b.member[l] >= 0 && (b.inorm[l] == 1 || b.inorm[l] == 3));
  }
}

// The lanes' fill and limits when some lane needs them, then which lanes
// attempt. Returns whether any does.
template <class Real, int W>
RKV_ALWAYS_INLINE bool fill_and_limit(LaneBlockState<Real, W>& b, LaneFeed<Real>& f) {
  const std::int32_t asks = b.dry ? 0 : 1;  // an idle lane may take a member
  std::int32_t seen = 0;
  for (int l = 0; l < W; ++l) {
    const std::int32_t live = b.member[l] >= 0 ? 1 : 0;
    const std::int32_t limit = evaluation_limit(b, l) | step_limit(b, l);
    seen |= (limit & live) | (asks & (live ^ 1));
  }
  if (seen != 0) fill_and_limit_lanes(b, f);
  std::int32_t any = 0;
  for (int l = 0; l < W; ++l) {
    b.attempting[l] = b.member[l] >= 0 ? 1 : 0;
    any |= b.attempting[l];
  }
  return any != 0;
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
// (lane_root6.hpp), 0 for the others. Returns whether any lane takes one.
template <class Real, int W>
RKV_ALWAYS_INLINE bool step_powers(const LaneBlockState<Real, W>& b, Real tol, double (&root)[W]) {
  std::int32_t takes[W];
  std::int32_t any = 0;
  for (int l = 0; l < W; ++l) {
    takes[l] = b.attempting[l] & (takes_power(b.error[l], tol, b.rejections[l]) ? 1 : 0);
    any |= takes[l];
    root[l] = 0.0;
  }
  if (any == 0) return false;
  lanes::Vec<Real, W> ev;
  std::memcpy(&ev, b.error, sizeof ev);
  const lanes::Vec<double, W> quotient =
      static_cast<double>(tol) / __builtin_convertvector(ev, lanes::Vec<double, W>);
  double q[W];
  std::memcpy(q, &quotient, sizeof q);
  lanes::lane_root6(q, b.h, takes, root);
  return true;
}

// HMIN's default on a member's first loop head and the check against
// HMAX, for the lanes where either applies.
template <class Real, int W>
void check_hmin(LaneBlockState<Real, W>& b, LaneFeed<Real>& f) {
  for (int l = 0; l < W; ++l) {
    if (b.attempting[l] == 0) continue;
    const BasicSolverState<Real>& s = b.s[l];
    if (b.hmin[l] == Real{0}) b.hmin[l] = default_hmin(b.xcur[l], b.xend[l], s.eps, s.tiny);
    if (b.hmin[l] > b.hmax[l]) finish_member(b, l, f, ErrorPoint::kHminAboveHmax);
  }
}

// Lane l's attempt with step size r: the geometry, evaluated in Calc
// (step_control.hpp), and its signed step and start into h and x (0 where
// the lane does not attempt, so that an idle lane is evaluated at its stale
// Y). A lane that does not attempt holds no member: what the geometry
// writes there is never read, since a member's start loads every
// per-lane quantity afresh. Every load and store is made whatever the lane
// (g++ leaves a loop scalar when one depends on a lane), so that the loops
// below become selects on vectors.
template <class Calc, class Real, int W>
RKV_ALWAYS_INLINE void take_geometry(LaneBlockState<Real, W>& b, int l, Real r, lanes::Wide<W>& h,
                                     lanes::Wide<W>& x) {
  const bool a = b.attempting[l] != 0;
  const Real xcur = b.xcur[l];
  const StepGeometry<Real> g = step_geometry<Calc, PickBySelects>(xcur, b.xend[l], r);
  b.h[l] = g.h;
  b.xnew[l] = g.xnew;
  b.step[l] = g.step;
  h.v[l] = a ? static_cast<double>(g.step) : 0.0;
  x.v[l] = a ? static_cast<double>(xcur) : 0.0;
}

// choose_step and step_geometry of every attempting lane, the scalar
// routines themselves; root holds the lanes' powers (step_powers).
template <class Real, int W>
RKV_ALWAYS_INLINE void choose_steps(LaneBlockState<Real, W>& b, Real tol, const double (&root)[W],
                                    lanes::Wide<W>& h, lanes::Wide<W>& x) {
  for (int l = 0; l < W; ++l) {
    const double power = root[l];  // where the choice takes it
    const Real r = choose_step<PickBySelects>(b.h[l], b.error[l], tol, b.rejections[l], b.hmin[l],
                                              b.hmax[l], [power](double) { return power; });
    take_geometry<double>(b, l, r, h, x);
  }
}

// The same for a pass in which no lane takes a power: each attempting lane
// doubles its step or halves it (step_powers), and the choice and the
// geometry are evaluated in the storage type, which gives their bits
// (step_control.hpp) with twice the lanes to a register for float.
template <class Real, int W>
RKV_ALWAYS_INLINE void choose_steps_without_power(LaneBlockState<Real, W>& b, lanes::Wide<W>& h,
                                                  lanes::Wide<W>& x) {
  for (int l = 0; l < W; ++l) {
    const Real hnew = doubled_or_halved<Real, PickBySelects>(b.h[l], b.rejections[l] < 2);
    take_geometry<Real>(b, l, clamped_step<Real, PickBySelects>(hnew, b.hmin[l], b.hmax[l]), h, x);
  }
}

// k1 where a lane needs it, then HMIN, the step-size choice and the
// geometry per lane; h and x receive the lanes' signed steps and starts.
template <class Real, int W>
RKV_ALWAYS_INLINE void loop_head(LaneBlockState<Real, W>& b, LaneFeed<Real>& f,
                                 LaneBlockFunction<Real> fn, void* context, lanes::Wide<W>& h,
                                 lanes::Wide<W>& x) {
  std::int32_t need = 0;
  std::int32_t keep = 0;  // some lane retries: its k1 must stay as the scalar run keeps it
  for (int l = 0; l < W; ++l) {
    need |= b.attempting[l] & b.fresh_k1[l];
    keep |= b.attempting[l] & (b.fresh_k1[l] ^ 1);
  }
  if (need != 0) {
    for (int l = 0; l < W; ++l) b.x.v[l] = b.xcur[l];
    lanes::call_block(b, fn, context, keep != 0 ? b.arg : b.k[1], b.y);
    if (keep != 0) take_fresh_k1(b);
  }
  for (int l = 0; l < W; ++l) {
    const std::int32_t a = b.attempting[l];
    const std::int32_t evaluations = b.evaluations[l];
    b.evaluations[l] = (a & b.fresh_k1[l]) != 0 ? count_one(evaluations) : evaluations;
    b.fresh_k1[l] &= a ^ 1;
  }
  // Only a member's first loop head finds HMIN unset; after it, HMIN and
  // HMAX stay as they were checked.
  if (b.started) check_hmin(b, f);
  b.started = false;
  double root[W];
  if (step_powers(b, f.problem.tol, root)) {
    choose_steps(b, f.problem.tol, root, h, x);
  } else {
    choose_steps_without_power(b, h, x);
  }
}

// The verdict of every attempting lane; Y and max|y| of the accepted lanes
// take the candidate; the counts and X as the scalar decision sets them.
// Written in every lane: a lane that does not attempt holds no member (see
// take_geometry); its acceptance is 0, so its Y, X and ends stay as they
// were.
template <class Real, int W>
RKV_ALWAYS_INLINE void decide(LaneBlockState<Real, W>& b, LaneFeed<Real>& f) {
  const double tol = static_cast<double>(f.problem.tol);
  Real enorm[W];
  lanes::error_norms(b, enorm);
  std::int32_t accept[W];
  for (int l = 0; l < W; ++l) {
    const Real error =
        static_cast<Real>(static_cast<double>(b.h[l]) * static_cast<double>(enorm[l]) *
                          static_cast<double>(b.scale[l]));
    b.evaluations[l] = plus_seven(b.evaluations[l]);
    b.enorm[l] = enorm[l];
    b.error[l] = error;
    accept[l] = b.attempting[l] & (static_cast<double>(error) <= tol ? 1 : 0);
  }
  lanes::take_accepted(b, accept);
  std::int32_t ends = 0;  // a member reaches XEND, or fails at HMIN
  for (int l = 0; l < W; ++l) {
    const std::int32_t a = b.attempting[l];
    const std::int32_t ok = accept[l];
    const std::int32_t rejections = b.rejections[l];
    const std::int32_t accepted = b.accepted[l];
    const Real xnew = b.xnew[l];
    const Real xcur = b.xcur[l];
    b.rejections[l] = ok != 0 ? 0 : count_one(rejections);
    b.accepted[l] = ok != 0 ? count_one(accepted) : accepted;
    b.xcur[l] = ok != 0 ? xnew : xcur;
    b.fresh_k1[l] |= ok;
    const std::int32_t reached = xnew == b.xend[l] ? 1 : 0;
    const std::int32_t failed = b.h[l] > b.hmin[l] ? 0 : 1;
    ends |= ok != 0 ? reached : a & failed;
  }
  if (ends == 0) return;
  for (int l = 0; l < W; ++l) {
    if (b.attempting[l] == 0) continue;
    if (accept[l] != 0 && b.xcur[l] == b.xend[l]) finish_member(b, l, f, ErrorPoint::kNone);
    if (accept[l] == 0 && !(b.h[l] > b.hmin[l])) {
      finish_member(b, l, f, ErrorPoint::kToleranceUnmet);
    }
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
