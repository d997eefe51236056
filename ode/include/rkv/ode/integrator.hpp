// rkv::Integrator and rkv::DoubleIntegrator: an integration that owns its
// solver state and workspace, driven by the IDO protocol of IVPRK
// (ivprk.hpp) with the same checks, reports, PARAM settings and statistics;
// the float one bit for bit as IVPRK, the double one the same solver with
// its reals stored and evaluated in double. Any number of
// integrators can be open at once, each on its own thread or several on one;
// IVPRK itself is the per-thread default integrator with a plain function.
//
// The right-hand side is given once, at construction: a plain function, a
// function with a context pointer, or any callable f(neq, x, y, yprime)
// (copied once; no allocation per call). Each evaluation costs one indirect
// call, as with IVPRK.
//
// One integrator serves one call at a time: a call made while a call of the
// same integrator is in progress (from its right-hand side, or from another
// thread) is refused with IVPRK's "already in use" TERMINAL error.
//
// Exceptions: an exception thrown by the right-hand side (or by anything it
// calls) leaves integrate() unchanged. On the way out every routine name the
// call pushed is popped, the in-use flag and any attachment are released,
// and the integration stays open at its last accepted point (X and Y as the
// last accepted step left them): the next call may go on with IDO = 2 and
// the same XEND, or close with IDO = 3. The integrator itself never throws.
//
// Lifetime: moving an integrator moves its integration (a DenseOutput over
// it follows). A call of a moved-from integrator, and of one made with a
// null function, is refused with a TERMINAL report (IVPRK, codes 22 and 21).
// Assigning to or from an integrator while a call of it is in progress is
// refused (TERMINAL, code 23) and changes neither. Destroying an integrator
// while a call of it is in progress (from its right-hand side or another
// thread) cannot be refused: the process ends at once with a message on
// standard error.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

#include "rkv/ode/ivprk.hpp"

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

// The right-hand side over the storage type: writes YPRIME(1..NEQ) = f(X, Y).
template <class Real>
using BasicRhsFunction = void (*)(const std::int32_t& neq, const Real& x, const Real* y,
                                  Real* yprime);
// The same with a context pointer.
template <class Real>
using BasicRhsContextFunction = void (*)(void* context, const std::int32_t& neq, const Real& x,
                                         const Real* y, Real* yprime);
// The same with every argument by pointer, as the C interface passes them.
template <class Real>
using BasicRhsPointerFunction = void (*)(void* context, const std::int32_t* neq, const Real* x,
                                         const Real* y, Real* yprime);

// Right-hand side with a context pointer: writes YPRIME(1..NEQ) = f(X, Y).
using RhsContextFunction = BasicRhsContextFunction<float>;
// The same with every argument by pointer, as the C interface passes them.
using RhsPointerFunction = BasicRhsPointerFunction<float>;

template <class Real>
class BasicIntegrator;

namespace ode {
template <class Real>
struct BasicInstance;
struct InstanceAccess;
// The instance an integrator owns (for the solver's own layers); the
// pointer form is null for a moved-from integrator.
template <class Real>
BasicInstance<Real>& instance_of(BasicIntegrator<Real>& integrator);
template <class Real>
BasicInstance<Real>* instance_pointer(BasicIntegrator<Real>& integrator);
}  // namespace ode

// `Real` is the storage type: float (every quantity stored in single
// precision, every formula evaluated in double and rounded once where it is
// stored: IVPRK's arithmetic, bit for bit) or double (stored and evaluated
// in double). Y, X, XEND, TOL and the 50 entries of PARAM are of that type.
template <class Real>
class BasicIntegrator {
 public:
  using real_type = Real;

  explicit BasicIntegrator(BasicRhsFunction<Real> fcn);
  BasicIntegrator(BasicRhsContextFunction<Real> fcn, void* context);
  BasicIntegrator(BasicRhsPointerFunction<Real> fcn, void* context);
  // Any callable taking (const int32_t& neq, const Real& x, const Real* y,
  // Real* yprime); it is moved into the integrator once.
  template <class F>
  requires(!std::is_same_v<std::remove_cvref_t<F>, BasicIntegrator> &&
           std::is_invocable_v<F&, const std::int32_t&, const Real&, const Real*,
                               Real*>) explicit BasicIntegrator(F f)
      : BasicIntegrator(&call_owned<F>, new F(std::move(f)), &delete_owned<F>) {}

  // Releases the workspace (whether or not IDO = 3 was called).
  ~BasicIntegrator();
  // A moved-from integrator may only be destroyed or assigned to; a call of
  // it is refused with a report.
  BasicIntegrator(BasicIntegrator&& other) noexcept;
  BasicIntegrator& operator=(BasicIntegrator&& other) noexcept;
  BasicIntegrator(const BasicIntegrator&) = delete;
  BasicIntegrator& operator=(const BasicIntegrator&) = delete;

  // The IDO protocol 1 to 6 exactly as IVPRK(IDO, NEQ, f, X, XEND, TOL,
  // PARAM, Y); reports name IVPRK and I2PRK as IVPRK's do (a double
  // integrator's reals printed at double precision). Returns the
  // outcome of the call: the most serious error type it posted (0 none,
  // 1 NOTE, 2 ALERT, 3 WARNING, 4 FATAL, 5 TERMINAL; the immediate types as
  // WARNING and FATAL). IDO holds the value of the moment, so with the stops
  // off a call that failed may return IDO = 2 with X short of XEND: only a
  // call whose outcome is below 4 that returns IDO = 2 has X equal to XEND
  // bit for bit.
  std::int32_t integrate(std::int32_t& ido, const std::int32_t& neq, Real& x, const Real& xend,
                         const Real& tol, Real* param, Real* y);

 private:
  // Takes ownership of `owned`, released with `release` (also when the
  // construction fails).
  BasicIntegrator(BasicRhsContextFunction<Real> fcn, void* owned, void (*release)(void*));

  template <class F>
  static void call_owned(void* f, const std::int32_t& neq, const Real& x, const Real* y,
                         Real* yprime) {
    (*static_cast<F*>(f))(neq, x, y, yprime);
  }
  template <class F>
  static void delete_owned(void* f) {
    delete static_cast<F*>(f);
  }

  friend struct ode::InstanceAccess;
  ode::BasicInstance<Real>* instance_;
};

// Today's integrator over float, and the same solver over double.
using Integrator = BasicIntegrator<float>;
using DoubleIntegrator = BasicIntegrator<double>;

extern template class BasicIntegrator<float>;
extern template class BasicIntegrator<double>;

}  // namespace rkv

#pragma GCC visibility pop
