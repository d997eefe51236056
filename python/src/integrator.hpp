// rkv._rkv.Integrator32 (and its kin per real type): an rkv integrator over
// NumPy arrays, driven by the IDO protocol. Y and PARAM are updated in place;
// each call returns (ido, x, type, code, message), the last three being the
// error the call left (type 0: none), which the Python layer turns into
// rkv.Error or a warning. With a compiled right-hand side the interpreter
// lock is released for the whole call.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "outcome.hpp"
#include "rhs.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/param.hpp"

namespace rkv::python {

namespace py = pybind11;

// RTOL and ATOL (one, or one per equation) on a solver in place of INORM;
// an empty ATOL clears them. RTOL is rounded to the storage type. Returns
// the call's outcome (see outcome.hpp).
template <class Real>
Outcome apply_tolerances(rkv::BasicIntegrator<Real>& it, double rtol, const Real* atol,
                         std::int32_t count) {
  QuietErrors quiet;
  Outcome o;
  if (count == 0) {
    o.type = it.clear_tolerances();
  } else if (count == 1) {  // one ATOL for every equation
    o.type = it.set_tolerances(static_cast<Real>(rtol), atol[0]);
  } else {
    o.type = it.set_tolerances(static_cast<Real>(rtol), atol, count);
  }
  const std::int32_t type = o.type;
  o = read_outcome();
  o.type = type;
  return o;
}

// A 1-D C-contiguous writeable array of Real, or a TypeError naming `what`.
template <class Real>
Real* writable_vector(py::array& a, const char* what) {
  const bool ok = a.dtype().is(py::dtype::of<Real>()) && a.ndim() == 1 && a.writeable() &&
                  (a.flags() & py::array::c_style) != 0;
  if (!ok) {
    throw py::type_error(std::string(what) + " must be a writeable contiguous 1-D array of " +
                         std::string(py::str(py::dtype::of<Real>())));
  }
  return static_cast<Real*>(a.mutable_data());
}

// Marks a call in progress on `flag` for its lifetime, unless one already
// was (a call made from within another, or from another thread): then the
// flag stays as that call leaves it. `first` tells which.
class InProgress {
 public:
  explicit InProgress(std::atomic<bool>& flag) : flag_(flag), first_(!flag.exchange(true)) {}
  InProgress(const InProgress&) = delete;
  InProgress& operator=(const InProgress&) = delete;
  ~InProgress() {
    if (first_) flag_ = false;
  }
  [[nodiscard]] bool first() const { return first_; }

 private:
  std::atomic<bool>& flag_;
  bool first_;
};

// The arguments of one IDO call from Python: PARAM and Y as the solver
// takes them (checked as writable_vector does, PARAM with its 50 entries),
// NEQ from Y, X, XEND and TOL rounded to the storage type.
template <class Real>
struct CallArguments {
  Real* param;
  Real* y;
  std::int32_t neq;
  Real x;
  Real xend;
  Real tol;

  CallArguments(double x0, double xend0, double tol0, py::array& param_array, py::array& y_array)
      : param(writable_vector<Real>(param_array, "param")),
        y(writable_vector<Real>(y_array, "y")),
        neq(static_cast<std::int32_t>(y_array.size())),
        x(static_cast<Real>(x0)),
        xend(static_cast<Real>(xend0)),
        tol(static_cast<Real>(tol0)) {
    if (param_array.size() != rkv::param::kSize) {
      throw py::value_error("param must have 50 entries");
    }
  }
};

template <class Real>
class Integrator {
 public:
  explicit Integrator(py::object fun) : rhs_(make_python(std::move(fun))), it_(nullptr) {
    it_ = std::make_unique<rkv::BasicIntegrator<Real>>(&call_python<Real>, rhs_.get());
  }
  Integrator(std::uintptr_t address, std::uintptr_t user_data)
      : rhs_(make_compiled(address, user_data)), it_(nullptr) {
    it_ = std::make_unique<rkv::BasicIntegrator<Real>>(&call_compiled<Real>, rhs_.get());
  }

  bool compiled() const { return rhs_->compiled != nullptr; }

  // Tolerances for the next integration (refused while one is open).
  py::tuple set_tolerances(double rtol,
                           py::array_t<Real, py::array::c_style | py::array::forcecast> atol) {
    if (atol.ndim() > 1) throw py::value_error("atol must be a scalar or a 1-D array");
    const auto o =
        apply_tolerances<Real>(*it_, rtol, atol.data(), static_cast<std::int32_t>(atol.size()));
    return py::make_tuple(o.type, o.code, o.message);
  }
  // X as the last call left it, also when that call raised.
  double x() const { return x_; }

  py::tuple integrate(std::int32_t ido, double x, double xend, double tol, py::array param,
                      py::array y) {
    CallArguments<Real> a(x, xend, tol, param, y);
    const Outcome o =
        run(a.neq, false, a.x, [&] { return call(ido, a.neq, a.x, a.xend, a.tol, a.param, a.y); });
    return py::make_tuple(ido, static_cast<double>(a.x), o.type, o.code, o.message);
  }

  // The solver, for a layer that works through it (dense.hpp).
  rkv::BasicIntegrator<Real>& solver() { return *it_; }

  // Runs `body` (a call of the solver, or of a layer over it, for NEQ
  // equations) with the errors quiet and, for a compiled right-hand side
  // unless `keep_lock`, the interpreter lock released; body returns the
  // call's Outcome. X (which body updates) is kept also when body throws:
  // an exception of the right-hand side leaves it at the last accepted point.
  template <class Body>
  Outcome run(std::int32_t neq, bool keep_lock, const Real& x, Body&& body) {
    // A call made while another is in progress (another thread, with the
    // lock released) must not resize the buffers in use: the solver refuses
    // it before any evaluation.
    const InProgress busy(busy_);
    if (busy.first()) rhs_->prepare(neq);
    Outcome o;
    try {
      QuietErrors quiet;
      if (compiled() && !keep_lock) {
        py::gil_scoped_release release;
        o = body();
      } else {
        o = body();
      }
    } catch (...) {
      x_ = static_cast<double>(x);
      throw;
    }
    x_ = static_cast<double>(x);
    return o;
  }

 private:
  Outcome call(std::int32_t& ido, std::int32_t neq, Real& x, Real xend, Real tol, Real* p,
               Real* y) {
    const std::int32_t worst = it_->integrate(ido, neq, x, xend, tol, p, y);
    Outcome o = read_outcome();
    o.type = worst;
    return o;
  }

  static std::unique_ptr<Rhs<Real>> make_python(py::object fun) {
    if (!PyCallable_Check(fun.ptr())) throw py::type_error("fun must be callable");
    auto r = std::make_unique<Rhs<Real>>();
    r->fun = std::move(fun);
    return r;
  }
  static std::unique_ptr<Rhs<Real>> make_compiled(std::uintptr_t address, std::uintptr_t data) {
    if (address == 0) throw py::value_error("the compiled right-hand side is a null pointer");
    auto r = std::make_unique<Rhs<Real>>();
    r->fun = py::none();
    r->compiled = reinterpret_cast<CompiledRhs>(address);
    r->user_data = reinterpret_cast<void*>(data);
    return r;
  }

  std::unique_ptr<Rhs<Real>> rhs_;  // before the solver, whose context it is
  std::unique_ptr<rkv::BasicIntegrator<Real>> it_;
  double x_ = 0.0;
  std::atomic<bool> busy_{false};
};

}  // namespace rkv::python
