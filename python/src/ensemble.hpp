// Ensembles: M members of one system with a compiled right-hand side, each
// integrated from t0 to t1 by its own integrator, spread over worker threads
// with the interpreter lock released. A member's result is the same bits as
// its run alone: the members share nothing but the read-only settings.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>

namespace rkv::python {

namespace py = pybind11;

template <class Real>
using Array = py::array_t<Real, py::array::c_style | py::array::forcecast>;

// y0 is (M, N) of Real; param has 50 entries; atol (one, or N) with rtol
// sets each member's tolerances (none: PARAM's INORM). Returns (y, x,
// type, code, message, evaluations): y (M, N) at the last accepted point,
// x (M,), and per member the error type, code and report text its
// integration left, and PARAM(35).
template <class Real>
py::tuple ensemble(std::uintptr_t address, std::uintptr_t user_data, double t0, double t1,
                   Array<Real> y0, double tol, double rtol, Array<Real> atol, Array<Real> param,
                   int threads);

}  // namespace rkv::python
