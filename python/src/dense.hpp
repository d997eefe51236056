// rkv._rkv.Dense32 (and Dense64): the output-point and event layer
// (rkv::BasicDenseOutput) over one of the module's integrators, driven by
// the same IDO protocol. Output points come as NumPy arrays that the object
// keeps alive until the next set_output; event functions are Python
// callables g(t, y) returning a real, watched for the crossings the caller
// names. Each call returns (ido, x, type, code, message) as
// Integrator.integrate does.
//
// With keep_steps(True) every accepted step's record (rkv/ode/step_record.hpp)
// is kept, as rows of an array that steps() returns; step_values evaluates
// such rows with the layer's own arithmetic, the same bits as output points.
//
// Event functions run with the interpreter lock held: with events in force
// the lock is kept for the whole call, also with a compiled right-hand side
// (which then still runs without Python). An exception raised by an event
// function passes through the layer like one of the right-hand side: the
// integration stays open at its last accepted point.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "integrator.hpp"
#include "outcome.hpp"
#include "rkv/ode/dense_output.hpp"
#include "rkv/ode/events.hpp"
#include "rkv/ode/step_record.hpp"

namespace rkv::python {

namespace py = pybind11;

// g(t, y) for y a fresh float64 array of the NEQ values; the result as a
// real of the storage type (NaN is the layer's to refuse).
template <class Real>
Real call_event(void* context, const std::int32_t& n, const Real& x, const Real* y,
                const Real* /*yprime*/) {
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  py::array_t<double> ya(n);
  double* yd = ya.mutable_data();
  for (std::int32_t i = 0; i < n; ++i) yd[i] = static_cast<double>(y[i]);
  const py::object r = (*static_cast<py::object*>(context))(static_cast<double>(x), ya);
  const double v = PyFloat_AsDouble(r.ptr());
  if (v == -1.0 && PyErr_Occurred() != nullptr) throw py::error_already_set();
  return static_cast<Real>(v);
}

// A row of `a` (which must hold `n` reals) as a new float64 array; None for
// a null row.
template <class Real>
py::object copy_row(const Real* a, std::int32_t n) {
  if (a == nullptr) return py::none();
  py::array_t<Real> r(n);
  Real* d = r.mutable_data();
  for (std::int32_t i = 0; i < n; ++i) d[i] = a[i];
  return py::reinterpret_borrow<py::object>(r);
}

// The hook of keep_steps: each record appended to the rows (no Python: it
// runs without the interpreter lock for a compiled right-hand side).
template <class Real>
void keep_record(void* rows, const std::int32_t& neq, const Real* record) {
  auto& v = *static_cast<std::vector<Real>*>(rows);
  v.insert(v.end(), record, record + step_record_size(neq));
}

// y(t[j]) (rows of NEQ) from records[index[j]], for records an (S, size)
// array of steps of NEQ equations; without the interpreter lock.
template <class Real>
py::array_t<Real> step_values(const py::array_t<Real, py::array::c_style>& records,
                              const py::array_t<std::int64_t, py::array::c_style>& index,
                              const py::array_t<Real, py::array::c_style>& t) {
  if (records.ndim() != 2 || index.ndim() != 1 || t.ndim() != 1 || index.size() != t.size()) {
    throw py::value_error("records must be 2-D, index and t 1-D of the same length");
  }
  const auto size = static_cast<std::int64_t>(records.shape(1));
  const auto neq = static_cast<std::int32_t>((size - kStepRecordHead) / kStepRecordColumns);
  if (neq < 1 || step_record_size(neq) != size) throw py::value_error("not a record's width");
  const std::int64_t steps = records.shape(0);
  const std::int64_t m = t.size();
  const std::int64_t* k = index.data();
  for (std::int64_t j = 0; j < m; ++j) {
    if (k[j] < 0 || k[j] >= steps) throw py::index_error("a step index out of range");
  }
  py::array_t<Real> out({m, static_cast<std::int64_t>(neq)});
  Real* y = out.mutable_data();
  const Real* rows = records.data();
  const Real* x = t.data();
  {
    const py::gil_scoped_release unlocked;
    for (std::int64_t j = 0; j < m; ++j) {
      step_record_value(neq, rows + k[j] * size, x[j], y + j * neq, static_cast<Real*>(nullptr));
    }
  }
  return out;
}

template <class Real>
class Dense {
 public:
  explicit Dense(Integrator<Real>& owner) : owner_(owner), layer_(owner.solver()) {}

  // Output points for the next interval: x (n), y (n * NEQ), yprime (n *
  // NEQ, or None), kept alive here until replaced.
  void set_output(py::array x, py::array y, const py::object& yprime) {
    refuse_while_running();  // before the arrays in use are let go
    Real* xs = writable_vector<Real>(x, "x");
    Real* ys = writable_vector<Real>(y, "y");
    Real* yps = nullptr;
    if (!yprime.is_none()) {
      auto a = py::reinterpret_borrow<py::array>(yprime);
      yps = writable_vector<Real>(a, "yprime");
      if (a.size() != y.size()) throw py::value_error("yprime must have the size of y");
    }
    const auto n = static_cast<std::int32_t>(x.size());
    out_ = py::make_tuple(x, y, yprime);
    QuietErrors quiet;
    layer_.set_output(xs, n, ys, yps);
  }

  // The events to watch: a list of (g, crossing 0/1/2, terminal). Returns
  // the outcome; a refused list leaves the one in force.
  py::tuple set_events(const py::list& events) {
    auto calls = std::make_unique<std::vector<py::object>>();
    std::vector<BasicEvent<Real>> list;
    for (const py::handle e : events) {
      const auto t = py::reinterpret_borrow<py::tuple>(e);
      calls->push_back(py::reinterpret_borrow<py::object>(t[0]));
    }
    for (std::size_t k = 0; k < calls->size(); ++k) {
      const auto t = py::reinterpret_borrow<py::tuple>(events[k]);
      list.push_back({&call_event<Real>, &(*calls)[k], static_cast<Crossing>(t[1].cast<int>()),
                      t[2].cast<bool>()});
    }
    QuietErrors quiet;
    layer_.set_events(list.data(), static_cast<std::int32_t>(list.size()));
    Outcome o = read_outcome();
    if (o.type < 4) calls_ = std::move(calls);  // the contexts of the list in force
    return py::make_tuple(o.type, o.code, o.message);
  }

  py::tuple integrate(std::int32_t ido, double x, double xend, double tol, py::array param,
                      py::array y) {
    CallArguments<Real> a(x, xend, tol, param, y);
    neq_ = a.neq;
    const InProgress running(running_);
    const bool keep_lock = calls_ != nullptr && !calls_->empty();
    const Outcome o = owner_.run(a.neq, keep_lock, a.x, [&] {
      const std::int32_t worst = layer_.integrate(ido, a.neq, a.x, a.xend, a.tol, a.param, a.y);
      Outcome r = read_outcome();
      r.type = worst;
      return r;
    });
    return py::make_tuple(ido, static_cast<double>(a.x), o.type, o.code, o.message);
  }

  // Keeps each accepted step's record from the next step on (the rows kept
  // so far forgotten), or stops keeping them.
  void keep_steps(bool on) {
    refuse_while_running();  // the hook may be appending to the rows
    rows_.clear();
    QuietErrors quiet;
    if (on) {
      layer_.set_step_hook(&keep_record<Real>, &rows_);
    } else {
      layer_.set_step_hook(nullptr);
    }
  }
  // The records kept, one step a row.
  [[nodiscard]] py::array_t<Real> steps() const {
    refuse_while_running();
    const auto size = static_cast<std::size_t>(step_record_size(neq_ < 1 ? 1 : neq_));
    const std::size_t count = rows_.size() / size;
    py::array_t<Real> a({count, size});
    std::copy(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(count * size),
              a.mutable_data());
    return a;
  }

  [[nodiscard]] std::int32_t event_count() const { return layer_.event_count(); }
  // (index, x, y, yprime) of the i-th event located in the last step.
  [[nodiscard]] py::tuple event(std::int32_t i) const {
    const BasicEventHit<Real>& h = layer_.event(i);
    return py::make_tuple(h.index, static_cast<double>(h.x), copy_row(h.y, neq_),
                          copy_row(h.yprime, neq_));
  }
  [[nodiscard]] bool ended() const { return layer_.ended(); }
  [[nodiscard]] std::int32_t outputs_done() const { return layer_.outputs_done(); }
  [[nodiscard]] std::int32_t extra_evaluations() const { return layer_.extra_evaluations(); }

 private:
  // The output arrays and the rows are in use while a call runs (from the
  // right-hand side, or another thread with the lock released).
  void refuse_while_running() const {
    if (running_.load()) throw std::runtime_error("a call of this dense layer is in progress");
  }

  Integrator<Real>& owner_;  // kept alive by the binding
  rkv::BasicDenseOutput<Real> layer_;
  std::unique_ptr<std::vector<py::object>> calls_;  // the event functions in force
  py::tuple out_;                                   // the output arrays in use
  std::vector<Real> rows_;                          // the steps' records kept
  std::int32_t neq_ = 0;
  std::atomic<bool> running_{false};
};

}  // namespace rkv::python
