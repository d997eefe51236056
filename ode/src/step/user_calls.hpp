// The one place through which the integrator calls the user's right-hand
// side and the error-norm routine. Each call is bracketed as by E1USR("ON")
// and E1USR("OFF"), so that library routines called from that code report as if
// the user's program had called them; a right-hand side call counts as an
// evaluation as soon as it is made. The result is false when an error of
// type 4 (FATAL) or worse has reached the integrator's level meanwhile: the
// integrator then ends the call at once, without a message of its own.
//
// The right-hand side comes in three forms (a plain function as IVPRK takes
// it, a function with a context pointer, the same with pointer arguments as
// the C interface passes them). The loops are compiled once per form, so
// each evaluation is exactly one indirect call, whatever the form.
#pragma once

#include <cstdint>

#include "rkv/errors/state.hpp"
#include "rkv/errors/user_code.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/ivprk.hpp"
#include "step/solver_state.hpp"
#include "step/step_control.hpp"
#include "step/tolerances.hpp"

namespace rkv::ode {

// The right-hand side and norm routine types over the storage type; for
// float they are IVPRK's RhsFunction, RhsContextFunction,
// RhsPointerFunction and NormFunction.
template <class Real>
using RhsFn = void (*)(const std::int32_t& neq, const Real& x, const Real* y, Real* yprime);
template <class Real>
using RhsContextFn = void (*)(void* context, const std::int32_t& neq, const Real& x, const Real* y,
                              Real* yprime);
template <class Real>
using RhsPointerFn = void (*)(void* context, const std::int32_t* neq, const Real* x, const Real* y,
                              Real* yprime);
template <class Real>
using NormFn = void (*)(const std::int32_t& neq, const Real* v, const Real* y, const Real* w,
                        Real& enorm);

template <class Real>
struct PlainRhsOf {
  using real_type = Real;
  RhsFn<Real> f;
  void operator()(const std::int32_t& neq, const Real& x, const Real* y, Real* yp) const {
    f(neq, x, y, yp);
  }
};

template <class Real>
struct ContextRhsOf {
  using real_type = Real;
  RhsContextFn<Real> f;
  void* context;
  void operator()(const std::int32_t& neq, const Real& x, const Real* y, Real* yp) const {
    f(context, neq, x, y, yp);
  }
};

template <class Real>
struct PointerRhsOf {
  using real_type = Real;
  RhsPointerFn<Real> f;
  void* context;
  void operator()(const std::int32_t& neq, const Real& x, const Real* y, Real* yp) const {
    f(context, &neq, &x, y, yp);
  }
};

using PlainRhs = PlainRhsOf<float>;
using ContextRhs = ContextRhsOf<float>;
using PointerRhs = PointerRhsOf<float>;

// I2ERRNRM with the settings given rather than those of the calling
// thread's default instance.
template <class Real>
void error_norm(const BasicSettings<Real>& settings, const std::int32_t& neq, const Real* v,
                const Real* y, const Real* w, Real& enorm);

// The norm routine of a call: the caller's routine (I2PRK called directly),
// or the solver's own with the settings of the instance (`own`): a user's
// norm given to an integrator object (`hook`) when there is one, else the
// weighted norm of its tolerances (`tolerances`, set only when there is no
// hook), else the INORM norm of the settings. Y1 is the candidate at the
// attempt's end.
template <class Real>
struct BasicNorm {
  NormFn<Real> user;
  const BasicSettings<Real>* own;
  const Tolerances<Real>* tolerances = nullptr;
  const UserNorm<Real>* hook = nullptr;
  void operator()(const std::int32_t& neq, const Real* v, const Real* y, const Real* y1,
                  const Real* w, Real& enorm) const {
    if (own == nullptr) {
      user(neq, v, y, w, enorm);
    } else if (hook != nullptr) {
      enorm = hook->call(hook->self, neq, v, y, y1, w);
    } else if (tolerances != nullptr) {
      enorm = weighted_norm(*tolerances, neq, v, y, y1);
    } else {
      error_norm(*own, neq, v, y, w, enorm);
    }
  }
};
using Norm = BasicNorm<float>;

// `e` is the error record, E1ERRSTATE(), fetched once by a caller that
// makes several calls.
template <class Real, class Rhs>
inline bool call_rhs(ErrorState& e, BasicSolverState<Real>& s, const Rhs& rhs,
                     const std::int32_t& neq, const Real& x, const Real* y, Real* ydot) {
  (void)E1UON(e);
  rhs(neq, x, y, ydot);
  E1UOFF(e);
  s.evaluations = count_one(s.evaluations);
  return !N1RSER(e);
}

template <class Real, class Rhs>
inline bool call_rhs(BasicSolverState<Real>& s, const Rhs& rhs, const std::int32_t& neq,
                     const Real& x, const Real* y, Real* ydot) {
  return call_rhs(E1ERRSTATE(), s, rhs, neq, x, y, ydot);
}

template <class Real>
inline bool call_norm(ErrorState& e, const BasicNorm<Real>& norm, const std::int32_t& neq,
                      const Real* v, const Real* y, const Real* y1, const Real* w, Real& enorm) {
  (void)E1UON(e);
  norm(neq, v, y, y1, w, enorm);
  E1UOFF(e);
  return !N1RSER(e);
}

}  // namespace rkv::ode
