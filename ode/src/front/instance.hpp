// A solver instance: everything one integration owns. The solver state, the
// workspace, the right-hand side given at construction, the in-use flag that
// refuses a second call while one is in progress, and an optional observer
// of the accepted steps, and the anchor through which a DenseOutput finds
// the instance (its pointee is cleared when the instance is destroyed).
//
// IVPRK and a direct call of I2PRK use the calling thread's default
// instance, whose right-hand side is the one passed with each call; every
// rkv::Integrator owns an instance of its own. Both run the same front end
// and integrator, so on the same inputs they give the same bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "front/in_use.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/ivprk.hpp"
#include "step/solver_state.hpp"
#include "step/tolerances.hpp"
#include "step/user_calls.hpp"
#include "step/work_columns.hpp"

namespace rkv::ode {

// One accepted step, seen before Y is overwritten.
template <class Real>
struct BasicStepView {
  std::int32_t neq;
  Real x0, x1;             // start and end of the step (x1 = x0 + step, as stored)
  Real step;               // signed step H
  const Real* y0;          // Y at x0 (the caller's Y array)
  const Real* y1;          // the accepted solution at x1 (the candidate column)
  const Real* wk;          // the workspace (step/work_columns.hpp): k1 and k3..k8 of this
                           // step, the error vector over k2, the running max |y|
  Real* k1_next;           // column k1: an observer may write f(x1, y1) here (after it is
                           // done with k1) and set *k1_ready = 1; the next loop head then
  std::int32_t* k1_ready;  // takes it as its k1 instead of calling f (still counted as
                           // one evaluation at that moment, so PARAM(35) is unchanged).

  const Real* column(Column c) const { return ode::column(wk, static_cast<std::size_t>(neq), c); }
};
using StepView = BasicStepView<float>;

// Called after each accepted step, bracketed as user code. Returning true
// ends the call once the step is accepted: IDO = 7 on return ("stopped after
// a step"); the next call with IDO = 2 and the same XEND goes on exactly as
// if nothing happened. When the step reached XEND the call ends with IDO = 2
// as always. A serious error posted meanwhile abandons the step, as one
// posted from the right-hand side does.
template <class Real>
struct BasicAcceptObserver {
  bool (*on_accept)(void* self, const BasicStepView<Real>& view);
  void* self;
};
using AcceptObserver = BasicAcceptObserver<float>;

// IDO on return after an observer asked to stop.
inline constexpr std::int32_t kStoppedAfterStep = 7;

// The form of the right-hand side an instance was made with.
enum class RhsKind : std::int32_t {
  kPerCall,  // IVPRK's: the plain function passed with each call
  kPlain,
  kContext,
  kPointer,
};

template <class Real>
struct BasicInstance {
  BasicInstance() = default;
  ~BasicInstance();  // releases the workspace and an owned context
  BasicInstance(const BasicInstance&) = delete;
  BasicInstance& operator=(const BasicInstance&) = delete;

  BasicSolverState<Real> state{};
  BasicWorkspace<Real> workspace{};
  RhsKind kind = RhsKind::kPerCall;
  RhsFn<Real> plain = nullptr;
  RhsContextFn<Real> with_context = nullptr;
  RhsPointerFn<Real> with_pointers = nullptr;
  void* context = nullptr;
  void (*release_context)(void*) = nullptr;  // set when the instance owns `context`
  InUseFlag in_use{0};
  // nullptr for IVPRK's default instance: one predictable branch per step.
  // Attached and detached only by a caller that holds `in_use`.
  const BasicAcceptObserver<Real>* observer = nullptr;
  // Made by every integrator object (none for the default instance); points
  // back at this instance until its destruction.
  std::shared_ptr<BasicInstance*> anchor;
  // An integrator object's tolerances and its own error norm, in place of
  // INORM; changed only while no integration is open.
  Tolerances<Real> tolerances;
  UserNorm<Real> user_norm;
};
using Instance = BasicInstance<float>;

// Calls f with the instance's own right-hand side (an Integrator's), in the
// form it was given: the solver's loops are compiled per form, and a single
// evaluation outside them costs the same one indirect call.
template <class Real, class F>
decltype(auto) with_own_rhs(const BasicInstance<Real>& in, F&& f) {
  switch (in.kind) {
    case RhsKind::kContext:
      return f(ContextRhsOf<Real>{in.with_context, in.context});
    case RhsKind::kPointer:
      return f(PointerRhsOf<Real>{in.with_pointers, in.context});
    default:
      return f(PlainRhsOf<Real>{in.plain});
  }
}

// The calling thread's default instance (created empty on first use,
// released when the thread ends).
Instance& default_instance();

// The integrator I2PRK on an instance, for a caller that holds its in-use
// flag.
template <class Real, class Rhs>
void i2prk_call(BasicInstance<Real>& in, std::int32_t& ido, std::int32_t neq, const Rhs& rhs,
                Real& x, const Real& xend, const Real& tol, Real* param, Real* y,
                const BasicNorm<Real>& norm, Real* wk);

// A whole call of an instance made with its own right-hand side (an
// Integrator): the in-use flag, then the front end with that right-hand side.
// A null right-hand side is refused (IVPRK, TERMINAL).
template <class Real>
void integrator_call(BasicInstance<Real>& in, std::int32_t& ido, const std::int32_t& neq, Real& x,
                     const Real& xend, const Real& tol, Real* param, Real* y);
// The same for a caller that already holds the instance's in-use flag.
template <class Real>
void integrator_call_held(BasicInstance<Real>& in, std::int32_t& ido, const std::int32_t& neq,
                          Real& x, const Real& xend, const Real& tol, Real* param, Real* y);

// Refusals of a whole call, each posted under IVPRK's name: the instance is
// in use by another call; the integrator was moved from; an assignment to or
// from an integrator whose call is in progress.
void refuse_in_use();
void refuse_moved_from();
void refuse_assignment_in_use();
// Refusals of a change of an integrator's tolerances or error norm: an
// integration is open; the copy of `count` tolerances cannot be stored.
void refuse_set_while_open();
void refuse_tolerance_storage(std::int32_t count);

}  // namespace rkv::ode
