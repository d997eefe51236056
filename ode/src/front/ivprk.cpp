// IVPRK: the front end of the solver. Checks IDO, owns the workspace of
// 10*NEQ reals (requested on IDO = 1, released after IDO = 3) and hands
// everything to the integrator I2PRK together with the error norm. The same
// front end serves IVPRK, on the calling thread's default instance, and
// every integrator object, float or double, on its own instance.
#include <atomic>
#include <cstdlib>

#include "front/aligned_memory.hpp"
#include "front/huge_pages.hpp"
#include "front/instance.hpp"
#include "front/workspace_testing.hpp"
#include "reports/error_points.hpp"
#include "rkv/errors/call_scope.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/ode/ivprk.hpp"
#include "step/solver_state.hpp"

namespace rkv {
namespace ode {
namespace {

// A test seam, set before any integration starts.
std::atomic<WorkspaceGate> g_gate{nullptr};

// Constant-initialised; the destructor releases a workspace still held
// when the thread ends.
thread_local Instance t_default;

// The one allocation of the solver. Fails when memory is exhausted and when
// a workspace is still held. Zero-filled, so that no element is ever read
// before it was written, whatever the caller does after a failed start, and
// starting on a cache line (aligned_memory.hpp).
template <class Real>
bool acquire(BasicWorkspace<Real>& ws, std::int32_t neq) {
  if (ws.data != nullptr) return false;
  const std::size_t count = static_cast<std::size_t>(neq) * static_cast<std::size_t>(kWorkColumns);
  const WorkspaceGate gate = g_gate.load(std::memory_order_relaxed);
  if (gate != nullptr && !gate(count)) return false;
  void* block = nullptr;
  Real* p = calloc_cache_aligned<Real>(count, block);
  if (p == nullptr) return false;
  advise_huge_pages(p, count * sizeof(Real));
  ws.data = p;
  ws.size = count;
  ws.block = block;
  return true;
}

// Releasing when nothing is held is not an error.
template <class Real>
void release(BasicWorkspace<Real>& ws) {
  std::free(ws.block);
  ws.block = nullptr;
  ws.data = nullptr;
  ws.size = 0;
}

// Whether the held workspace has the 10*NEQ reals a call with this NEQ uses.
template <class Real>
bool fits(const BasicWorkspace<Real>& ws, std::int32_t neq) {
  return neq >= 1 &&
         static_cast<std::size_t>(neq) * static_cast<std::size_t>(kWorkColumns) <= ws.size;
}

}  // namespace

template <class Real>
BasicInstance<Real>::~BasicInstance() {
  if (anchor) *anchor = nullptr;
  release(workspace);
  user_norm.reset();
  if (release_context != nullptr) release_context(context);
}

template struct BasicInstance<float>;
template struct BasicInstance<double>;

Instance& default_instance() {
  return t_default;
}

SolverState& solver_state() {
  return t_default.state;
}

Workspace& front_end_workspace() {
  return t_default.workspace;
}

void set_workspace_gate(WorkspaceGate gate) {
  g_gate.store(gate, std::memory_order_relaxed);
}

namespace {

// The front end on an instance, for a caller that holds its in-use flag;
// `rhs` is the instance's right-hand side (or IVPRK's argument).
template <class Real, class Rhs>
void front_end(BasicInstance<Real>& in, std::int32_t& ido, std::int32_t neq, const Rhs& rhs,
               Real& x, const Real& xend, const Real& tol, Real* param, Real* y) {
  BasicWorkspace<Real>& ws = in.workspace;
  BasicSolverState<Real>& s = in.state;
  // The instance's own norm, with its settings: what I2ERRNRM computes for
  // the default instance.
  const UserNorm<Real>* hook = in.user_norm.call != nullptr ? &in.user_norm : nullptr;
  const Tolerances<Real>* tolerances =
      hook == nullptr && in.tolerances.kind != NormKind::kNone ? &in.tolerances : nullptr;
  const BasicNorm<Real> norm{nullptr, &s.settings, tolerances, hook};
  begin_call(s);
  if (ido < 1 || ido > 6) {
    post_report(s, ErrorPoint::kFrontIdoRange, {ido});
  } else if (ido == 1) {
    if (neq < 1) {
      post_report(s, ErrorPoint::kFrontNeq, {neq});
    } else if (!acquire(ws, neq)) {
      post_report(s, ErrorPoint::kFrontStorage, {neq});
    } else {
      i2prk_call(in, ido, neq, rhs, x, xend, tol, param, y, norm, ws.data);
    }
  } else if (ido != 3 && s.initialised != 0 && ws.data == nullptr) {
    // An integration opened by a direct call of the integrator, with a
    // workspace this front end does not hold: nothing to resume it with.
    post_report(s, ErrorPoint::kFrontNotInitialised, {ido});
  } else if (ido != 3 && ws.data != nullptr && !fits(ws, neq)) {
    // NEQ changed since IDO = 1: the held workspace is too small for it.
    if (neq < 1) {
      post_report(s, ErrorPoint::kFrontNeq, {neq});
    } else {
      post_report(s, ErrorPoint::kFrontStorage, {neq});
    }
  } else {
    // Without a held workspace the integrator refuses IDO 2, 4, 5 and 6
    // (nothing is open) before it could touch one; IDO = 3 never touches it.
    i2prk_call(in, ido, neq, rhs, x, xend, tol, param, y, norm, ws.data);
  }
}

// Everything of one call from the entry to the way out, for a caller that
// holds the in-use flag. NEQ sizes the workspace and every loop: it is taken
// once, so that a caller's variable changed during the call (from the
// right-hand side) cannot make a loop run past the workspace or Y.
template <class Real, class Rhs>
void ivprk_held_call(BasicInstance<Real>& in, std::int32_t& ido, const std::int32_t& neq,
                     const Rhs& rhs, Real& x, const Real& xend, const Real& tol, Real* param,
                     Real* y) {
  E1PSH(kFrontName);
  front_end(in, ido, std::int32_t{neq}, rhs, x, xend, tol, param, y);
  E1POP(kFrontName);
  if (ido == 3) release(in.workspace);
}

template <class Real, class Rhs>
void ivprk_call(BasicInstance<Real>& in, std::int32_t& ido, const std::int32_t& neq, const Rhs& rhs,
                Real& x, const Real& xend, const Real& tol, Real* param, Real* y) {
  const InUse busy(in.in_use);
  if (!busy.held()) {
    // Refused before anything of the call in progress is read or written:
    // neither the workspace nor PARAM is touched.
    refuse_in_use();
    return;
  }
  ivprk_held_call(in, ido, neq, rhs, x, xend, tol, param, y);
}

// Whether the instance's own right-hand side is a function at all.
template <class Real>
bool has_own_rhs(const BasicInstance<Real>& in) {
  switch (in.kind) {
    case RhsKind::kContext:
      return in.with_context != nullptr;
    case RhsKind::kPointer:
      return in.with_pointers != nullptr;
    default:
      return in.plain != nullptr;
  }
}

// Posts one of the refusals of a whole call under IVPRK's name.
void refuse(ErrorPoint point) {
  E1PSH(kFrontName);
  post_report(point);
  E1POP(kFrontName);
}

}  // namespace

void refuse_in_use() {
  refuse(ErrorPoint::kFrontInUse);
}

void refuse_moved_from() {
  refuse(ErrorPoint::kFrontMovedFrom);
}

void refuse_assignment_in_use() {
  refuse(ErrorPoint::kFrontAssignInUse);
}

void refuse_set_while_open() {
  refuse(ErrorPoint::kFrontSetWhileOpen);
}

void refuse_tolerance_storage(std::int32_t count) {
  E1PSH(kFrontName);
  post_report(ErrorPoint::kFrontStorage, {count});
  E1POP(kFrontName);
}

template <class Real>
void integrator_call(BasicInstance<Real>& in, std::int32_t& ido, const std::int32_t& neq, Real& x,
                     const Real& xend, const Real& tol, Real* param, Real* y) {
  if (!has_own_rhs(in)) {
    refuse(ErrorPoint::kFrontNoRhs);
    return;
  }
  with_own_rhs(in, [&](const auto& rhs) { ivprk_call(in, ido, neq, rhs, x, xend, tol, param, y); });
}

template <class Real>
void integrator_call_held(BasicInstance<Real>& in, std::int32_t& ido, const std::int32_t& neq,
                          Real& x, const Real& xend, const Real& tol, Real* param, Real* y) {
  if (!has_own_rhs(in)) {
    refuse(ErrorPoint::kFrontNoRhs);
    return;
  }
  with_own_rhs(
      in, [&](const auto& rhs) { ivprk_held_call(in, ido, neq, rhs, x, xend, tol, param, y); });
}

// The macro argument names a type, which cannot stand in parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define RKV_INTEGRATOR_CALL(Real)                                                                \
  template void integrator_call<Real>(BasicInstance<Real>&, std::int32_t&, const std::int32_t&,  \
                                      Real&, const Real&, const Real&, Real*, Real*);            \
  template void integrator_call_held<Real>(BasicInstance<Real>&, std::int32_t&,                  \
                                           const std::int32_t&, Real&, const Real&, const Real&, \
                                           Real*, Real*);
// NOLINTEND(bugprone-macro-parentheses)
RKV_INTEGRATOR_CALL(float)
RKV_INTEGRATOR_CALL(double)
#undef RKV_INTEGRATOR_CALL

}  // namespace ode

void IVPRK(std::int32_t& ido, const std::int32_t& neq, RhsFunction fcn, float& x, const float& xend,
           const float& tol, float* param, float* y) {
  // Puts the name stack back should the right-hand side throw.
  const CallScope scope;
  ode::ivprk_call(ode::default_instance(), ido, neq, ode::PlainRhs{fcn}, x, xend, tol, param, y);
}

}  // namespace rkv
