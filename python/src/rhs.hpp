// The right-hand sides the module drives: a Python callable f(t, y), called
// with the interpreter lock held, or a compiled function called directly.
//
// One signature of compiled function serves every dtype:
//   void f(int32_t n, double t, const double* y, double* dydt, void* user_data)
// The float path widens t and y exactly and rounds dydt to float once when
// it is stored, as the solver does with its own arithmetic; the double path
// hands the solver's own arrays to the function. The buffers are
// sized before each call of the solver, so an evaluation allocates nothing.
//
// An exception raised by a Python callable (KeyboardInterrupt included, from
// the check for signals before each evaluation) leaves as a C++ exception
// (pybind11's error_already_set) through the solver, which passes it on
// unchanged with the integration left open at its last accepted point; the
// module's boundary hands it back to Python as the same exception.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace rkv::python {

namespace py = pybind11;

using CompiledRhs = void (*)(std::int32_t n, double t, const double* y, double* dydt,
                             void* user_data);

template <class Real>
struct Rhs {
  py::object fun;  // None for a compiled right-hand side
  CompiledRhs compiled = nullptr;
  void* user_data = nullptr;
  std::vector<double> y;     // the state, widened
  std::vector<double> dydt;  // the compiled function's result

  void prepare(std::int32_t n) {
    if (y.size() < static_cast<std::size_t>(n)) {
      y.resize(static_cast<std::size_t>(n));
      dydt.resize(static_cast<std::size_t>(n));
    }
  }
};

template <class Real>
void call_compiled(void* context, const std::int32_t& n, const Real& x, const Real* y,
                   Real* yprime) {
  auto& r = *static_cast<Rhs<Real>*>(context);
  if constexpr (std::is_same_v<Real, double>) {  // the solver's own arrays, no copies
    r.compiled(n, x, y, yprime, r.user_data);
    return;
  }
  for (std::int32_t i = 0; i < n; ++i) r.y[static_cast<std::size_t>(i)] = static_cast<double>(y[i]);
  r.compiled(n, static_cast<double>(x), r.y.data(), r.dydt.data(), r.user_data);
  for (std::int32_t i = 0; i < n; ++i)
    yprime[i] = static_cast<Real>(r.dydt[static_cast<std::size_t>(i)]);
}

// f(t, y) with y a fresh float64 array of n values; the result must have n.
template <class Real>
void call_python_once(Rhs<Real>& r, std::int32_t n, Real x, const Real* y, Real* yprime) {
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  py::array_t<double> ya(n);
  double* yd = ya.mutable_data();
  for (std::int32_t i = 0; i < n; ++i) yd[i] = static_cast<double>(y[i]);
  py::object result = r.fun(static_cast<double>(x), ya);
  auto out = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(result);
  if (!out) throw py::error_already_set();
  if (out.size() != n) {
    throw py::value_error("the right-hand side returned " + std::to_string(out.size()) +
                          " values for a system of " + std::to_string(n));
  }
  const double* od = out.data();
  for (std::int32_t i = 0; i < n; ++i) yprime[i] = static_cast<Real>(od[i]);
}

template <class Real>
void call_python(void* context, const std::int32_t& n, const Real& x, const Real* y, Real* yprime) {
  call_python_once(*static_cast<Rhs<Real>*>(context), n, x, y, yprime);
}

}  // namespace rkv::python
