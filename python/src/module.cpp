// rkv._rkv: the compiled part of the Python package rkv. The package itself
// (python/rkv) gives the SciPy-style interface on top of these.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>

#include "dense.hpp"
#include "ensemble.hpp"
#include "integrator.hpp"

namespace py = pybind11;

namespace {

template <class Real>
void bind_integrator(py::module_& m, const char* name) {
  using I = rkv::python::Integrator<Real>;
  py::class_<I>(m, name)
      .def(py::init<py::object>(), py::arg("fun"))
      .def(py::init<std::uintptr_t, std::uintptr_t>(), py::arg("address"), py::arg("user_data") = 0)
      .def_property_readonly("compiled", &I::compiled)
      .def_property_readonly("x", &I::x)
      .def("set_tolerances", &I::set_tolerances, py::arg("rtol"), py::arg("atol"))
      .def("integrate", &I::integrate, py::arg("ido"), py::arg("x"), py::arg("xend"),
           py::arg("tol"), py::arg("param"), py::arg("y"));
}

template <class Real>
void bind_dense(py::module_& m, const char* name) {
  using D = rkv::python::Dense<Real>;
  py::class_<D>(m, name)
      .def(py::init<rkv::python::Integrator<Real>&>(), py::arg("integrator"),
           py::keep_alive<1, 2>())
      .def("set_output", &D::set_output, py::arg("x"), py::arg("y"), py::arg("yprime"))
      .def("set_events", &D::set_events, py::arg("events"))
      .def("integrate", &D::integrate, py::arg("ido"), py::arg("x"), py::arg("xend"),
           py::arg("tol"), py::arg("param"), py::arg("y"))
      .def_property_readonly("event_count", &D::event_count)
      .def("event", &D::event, py::arg("i"))
      .def_property_readonly("ended", &D::ended)
      .def_property_readonly("outputs_done", &D::outputs_done)
      .def_property_readonly("extra_evaluations", &D::extra_evaluations)
      .def("keep_steps", &D::keep_steps, py::arg("on"))
      .def("steps", &D::steps);
}

template <class Real>
void bind_ensemble(py::module_& m, const char* name) {
  m.def(name, &rkv::python::ensemble<Real>, py::arg("address"), py::arg("user_data"), py::arg("t0"),
        py::arg("t1"), py::arg("y0"), py::arg("tol"), py::arg("rtol"), py::arg("atol"),
        py::arg("param"), py::arg("threads"));
}

}  // namespace

PYBIND11_MODULE(_rkv, m) {
  m.doc() = "The rkv solver's objects over NumPy arrays (use the package rkv).";
  bind_integrator<float>(m, "Integrator32");
  bind_integrator<double>(m, "Integrator64");
  bind_dense<float>(m, "Dense32");
  bind_dense<double>(m, "Dense64");
  m.def("step_values32", &rkv::python::step_values<float>, py::arg("records"), py::arg("index"),
        py::arg("t"));
  m.def("step_values64", &rkv::python::step_values<double>, py::arg("records"), py::arg("index"),
        py::arg("t"));
  bind_ensemble<float>(m, "ensemble32");
  bind_ensemble<double>(m, "ensemble64");
}
