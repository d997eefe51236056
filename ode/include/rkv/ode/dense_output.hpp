// Output points and events on top of an rkv::Integrator (rkv::DenseOutput)
// or an rkv::DoubleIntegrator (rkv::DoubleDenseOutput, the same layer with
// its reals, events and records in double): values at any x
// between the steps, and the points where event functions change sign,
// both from the continuous extension of the solver's steps (order 5,
// continuous with its first derivative across steps).
//
// The steps are exactly those the integrator takes without them: X, Y and
// PARAM(31..35) at each XEND are the same bits. f at a step's end, which the
// extension needs, is the next step's first stage anyway and is passed on
// (except after the last step of a call, as the caller may change Y before
// the next); a step that needs a value strictly between its ends costs one
// more evaluation of the right-hand side. Both are counted by
// extra_evaluations(), not in PARAM(35). Event functions are evaluated at
// the start of each call (the caller may have changed Y), at every step's
// end, and while a sign change is located. A step hook (set_step_hook)
// receives each accepted step's extension as a record that
// step_record_value() evaluates later, the same bits as an output point.
//
//   rkv::Integrator it(rhs);
//   rkv::DenseOutput dense(it);
//   dense.set_events(events, 2);                   // watched until cleared
//   dense.set_output(xout, nout, yout);            // for the next interval
//   dense.integrate(ido, neq, x, xend, tol, param, y);
//   while (ido == rkv::kIdoEvents) {               // events in the last step
//     for (std::int32_t i = 0; i < dense.event_count(); ++i) use(dense.event(i));
//     if (dense.ended()) break;                    // a terminal event: x, y are there
//     ido = 2;
//     dense.integrate(ido, neq, x, xend, tol, param, y);
//   }
//
// Reports (through the error family, under the name IVPEV): an output point
// outside [X, XEND] or out of order, an empty event list, event settings
// that cannot locate anything, an event function returning NaN, a call that
// continues after a terminal event (IDO = 1 included), a call or a change of
// the lists made while a call of this object is in progress (from an event
// function or the right-hand side, or from another thread; code 9), a call
// after the integrator's integration is gone (code 10).
//
// Lifetime: the object works through the integration the integrator owns,
// not the Integrator object: moving the integrator (into a std::vector that
// grows, say) is harmless. When the integrator is destroyed or assigned to,
// the next call is refused (code 10); the object itself may outlive it.
// Destroying the object while a call of it is in progress ends the process
// at once with a message on standard error.
//
// Exceptions: as Integrator::integrate. An exception from the right-hand
// side or an event function leaves integrate() unchanged; the names pushed
// are popped, the in-use flags released, the observer detached from the
// integrator, and the integration stays open at its last accepted point
// (IDO = 2 with the same XEND goes on, IDO = 3 closes). Output points not
// yet given their values get them when the integration goes on.
//
// Threads: one call at a time per object. While it runs, a direct call of
// the same integrator from another thread is refused (IVPRK, code 11) and
// sees nothing of this layer, and the other way round.
#pragma once

#include <cstdint>
#include <memory>

#include "rkv/ode/events.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/step_record.hpp"

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

// IDO on return when events were located in the last step taken. The
// integration goes on with IDO = 2 and the same XEND, over the same steps.
inline constexpr std::int32_t kIdoEvents = 7;

template <class Real>
class BasicDenseOutput {
 public:
  // Works through the integration `integrator` owns (followed through moves
  // of the integrator; refused once it is gone).
  explicit BasicDenseOutput(BasicIntegrator<Real>& integrator);
  ~BasicDenseOutput();
  BasicDenseOutput(const BasicDenseOutput&) = delete;
  BasicDenseOutput& operator=(const BasicDenseOutput&) = delete;

  // Output points for the interval of the next call: x[0..n-1] within
  // [X, XEND], ordered in the direction of integration (repeats allowed).
  // The values y(x[k]) go to y[k*NEQ ..], and y'(x[k]) to yprime likewise
  // unless it is null. The arrays are used until XEND is reached; a later
  // interval has no output points unless it is given some.
  void set_output(const Real* x, std::int32_t n, Real* y, Real* yprime = nullptr);

  // The event functions to watch from the next step on (m of them, at least
  // one; copied). They stay in force until cleared or replaced.
  void set_events(const BasicEvent<Real>* events, std::int32_t m,
                  const EventSettings& settings = {});
  void clear_events();

  // The continuous extension of every accepted step from the next one on,
  // handed to hook(context, NEQ, record) after the step's output points
  // (step_record.hpp; the record is the layer's, copy what is to be kept);
  // a null hook stops it. In force until replaced. Each step then gets its
  // extra stage (one more evaluation, in extra_evaluations()); the steps
  // are unchanged.
  void set_step_hook(BasicStepHook<Real> hook, void* context = nullptr);

  // The IDO protocol of Integrator::integrate, and IDO = kIdoEvents on return
  // when events were located in the last step (X and Y are then at the
  // step's end, or at the terminal event when one ended the integration).
  // Returns the outcome of the call, as Integrator::integrate does (this
  // layer's own reports included).
  std::int32_t integrate(std::int32_t& ido, const std::int32_t& neq, Real& x, const Real& xend,
                         const Real& tol, Real* param, Real* y);

  // The events located in the last step, in the order of x, up to and
  // including the first terminal one (index 0 .. event_count() - 1; any
  // other index gets a record with index 0, x NaN and null values).
  [[nodiscard]] std::int32_t event_count() const;
  [[nodiscard]] const BasicEventHit<Real>& event(std::int32_t i) const;
  // A terminal event ended the integration; only IDO = 3 may follow.
  [[nodiscard]] bool ended() const;
  // Output points of the current list that have their values (points
  // beyond a terminal event get none).
  [[nodiscard]] std::int32_t outputs_done() const;
  // Right-hand-side evaluations made by this layer since IDO = 1, beyond
  // the solver's own (not in PARAM(35)).
  [[nodiscard]] std::int32_t extra_evaluations() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Over an Integrator (float), and over a DoubleIntegrator.
using DenseOutput = BasicDenseOutput<float>;
using DoubleDenseOutput = BasicDenseOutput<double>;

extern template class BasicDenseOutput<float>;
extern template class BasicDenseOutput<double>;

}  // namespace rkv

#pragma GCC visibility pop
