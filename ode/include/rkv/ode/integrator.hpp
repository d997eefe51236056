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
#include "rkv/ode/owned_rhs.hpp"

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

// The norm of the weighted errors e_i / (ATOL_i + RTOL * |y_i|) when
// tolerances are set on an integrator: their maximum, or their root mean
// square sqrt(mean_i (...)^2).
enum class ToleranceNorm : std::int32_t { kMax = 1, kRms = 2 };

// A user's error norm with a context pointer (see set_error_norm).
template <class Real>
using BasicErrorNormFunction = Real (*)(void* context, std::int32_t neq, const Real* v,
                                        const Real* y0, const Real* y1, const Real* ymax);

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
      : BasicIntegrator(&ode::call_owned_rhs<Real, F>, new F(std::move(f)), &ode::delete_owned<F>) {
  }

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

  // Tolerances in place of INORM (PARAM(10), then unused): the error norm
  // of an attempt is the maximum (or the root mean square, `norm`) of
  // |v_i| / (ATOL_i + RTOL * max(|y_i| at the step's start, |y_i| at its
  // end)), with v the error vector divided by the step H, so that
  // E = |H| * norm * PARAM(9) is the weighted norm of the local error
  // estimate. A step is accepted when E <= TOL: with TOL = 1 the tolerances
  // mean what they mean elsewhere; a smaller TOL tightens both alike. The
  // first trial step is derived from TOL * RTOL (TOL * the largest ATOL_i
  // when RTOL is 0) instead of TOL.
  //
  // ATOL either one for every equation or one per equation: the `count`
  // entries of `atol` are copied by this call (nothing is kept of the
  // caller's array, nothing allocated while stepping). They are checked by
  // the next call with IDO = 1, which refuses (I2PRK, TERMINAL) an RTOL or
  // ATOL_i that is negative or NaN, a count other than NEQ, and a component
  // whose weight ATOL_i + RTOL*|y_i| is 0 at the start. They can be set,
  // changed or cleared only while no integration is open (before IDO = 1
  // or after IDO = 3); otherwise, and on a call of a moved-from integrator
  // or one in use, the call is refused and nothing changes. Each returns
  // the outcome as integrate() does.
  std::int32_t set_tolerances(Real rtol, Real atol, ToleranceNorm norm = ToleranceNorm::kMax);
  std::int32_t set_tolerances(Real rtol, const Real* atol, std::int32_t count,
                              ToleranceNorm norm = ToleranceNorm::kMax);
  std::int32_t clear_tolerances();

  // A norm of the caller's own in place of the built-in ones (INORM and
  // the tolerances, which are then not used). Called exactly once per step
  // attempt, after the seven evaluations of the attempt, as
  //   enorm = norm(neq, v, y0, y1, ymax)
  // with v the error vector divided by the step H, y0 the solution at the
  // step's start, y1 the candidate at its end and ymax the running maximum
  // of |y| over the accepted points (NEQ entries each, read-only, valid
  // during the call only). E = |H| * enorm * PARAM(9) is compared with TOL;
  // a NaN rejects the attempt. It is user code as the right-hand side is:
  // bracketed as such for the error family (a serious error posted from it
  // ends the call), an exception passes through integrate() unchanged. Its
  // cost is one indirect call per attempt. Every process of a distributed
  // run that makes the same calls calls it at the same points, so it may
  // make a collective reduction over the processes' parts of the vectors.
  // The callable form is moved into the integrator; set and cleared under
  // the same rules as the tolerances.
  std::int32_t set_error_norm(BasicErrorNormFunction<Real> fcn, void* context);
  template <class F>
  requires std::is_invocable_r_v<Real, F&, std::int32_t, const Real*, const Real*, const Real*,
                                 const Real*>
      std::int32_t set_error_norm(F f) {
    return set_error_norm_owned(&norm_owned<F>, new F(std::move(f)), &ode::delete_owned<F>);
  }
  std::int32_t clear_error_norm();

 private:
  // Takes ownership of `owned` (released at once when refused).
  std::int32_t set_error_norm_owned(BasicErrorNormFunction<Real> fcn, void* owned,
                                    void (*release)(void*));
  template <class F>
  static Real norm_owned(void* f, std::int32_t neq, const Real* v, const Real* y0, const Real* y1,
                         const Real* ymax) {
    return (*static_cast<F*>(f))(neq, v, y0, y1, ymax);
  }

  // Takes ownership of `owned`, released with `release` (also when the
  // construction fails).
  BasicIntegrator(BasicRhsContextFunction<Real> fcn, void* owned, void (*release)(void*));

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
