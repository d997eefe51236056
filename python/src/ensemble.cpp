// Worker threads over the members of an ensemble (see ensemble.hpp). Each
// worker turns its own error attributes off (a new thread starts with the
// initial ones, which would stop the process on a FATAL error) and takes the
// next member from a shared counter.
#include "ensemble.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "integrator.hpp"
#include "outcome.hpp"
#include "rhs.hpp"
#include "rkv/ode/param.hpp"

namespace rkv::python {
namespace {

template <class Real>
struct Members {
  CompiledRhs f;
  void* user_data;
  std::int32_t n;
  Real t0, t1, tol;
  double rtol;
  const Real* atol;  // atol_count entries; none: PARAM's INORM
  std::int32_t atol_count;
  const Real* param;
  Real* y;  // (M, N), holding y0 on entry
  double* x;
  std::int32_t* type;
  std::int32_t* code;
  std::string* message;
  std::int32_t* evaluations;
};

template <class Real>
void run_member(const Members<Real>& m, std::int64_t k) {
  Rhs<Real> rhs;
  rhs.compiled = m.f;
  rhs.user_data = m.user_data;
  rhs.prepare(m.n);
  rkv::BasicIntegrator<Real> it(&call_compiled<Real>, &rhs);
  if (m.atol_count > 0) apply_tolerances<Real>(it, m.rtol, m.atol, m.atol_count);
  std::vector<Real> param(m.param, m.param + rkv::param::kSize);
  Real* y = m.y + k * m.n;
  Real x = m.t0;
  std::int32_t ido = 1;
  const std::int32_t worst = it.integrate(ido, m.n, x, m.t1, m.tol, param.data(), y);
  Outcome o = read_outcome();
  o.type = worst;
  ido = 3;
  it.integrate(ido, m.n, x, m.t1, m.tol, param.data(), y);
  m.x[k] = static_cast<double>(x);
  m.type[k] = o.type;
  m.code[k] = o.code;
  m.message[k] = std::move(o.message);
  m.evaluations[k] = static_cast<std::int32_t>(param[rkv::param::kEvaluations - 1]);
}

// Runs every member on up to `threads` threads, the calling one included (a
// thread that cannot be started leaves its share to the others).
template <class Real>
void run_all(const Members<Real>& m, std::int64_t count, int threads) {
  std::atomic<std::int64_t> next{0};
  std::exception_ptr failure;
  std::mutex failure_lock;
  auto work = [&] {
    try {
      SETERRATTR(kAllTypes, kAttrOff, kAttrOff);
      for (std::int64_t k = next++; k < count; k = next++) run_member(m, k);
    } catch (...) {  // e.g. no memory for a workspace: reported to the caller
      const std::lock_guard<std::mutex> hold(failure_lock);
      if (!failure) failure = std::current_exception();
      next = count;
    }
  };
  std::vector<std::thread> pool;
  const auto n = std::min(static_cast<std::int64_t>(std::max(1, threads)), count);
  pool.reserve(static_cast<std::size_t>(std::max<std::int64_t>(n, 1)));
  for (std::int64_t i = 1; i < n; ++i) {
    try {
      pool.emplace_back(work);
    } catch (const std::system_error&) {
      break;
    }
  }
  {
    QuietErrors quiet;  // the calling thread works too
    work();
  }
  for (auto& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace

template <class Real>
py::tuple ensemble(std::uintptr_t address, std::uintptr_t user_data, double t0, double t1,
                   Array<Real> y0, double tol, double rtol, Array<Real> atol, Array<Real> param,
                   int threads) {
  if (address == 0) throw py::value_error("the compiled right-hand side is a null pointer");
  if (y0.ndim() != 2) throw py::value_error("y0 must be a 2-D array (members, components)");
  if (param.size() != rkv::param::kSize) throw py::value_error("param must have 50 entries");
  if (atol.ndim() > 1) throw py::value_error("atol must be a scalar or a 1-D array");
  const auto count = static_cast<std::int64_t>(y0.shape(0));
  const auto n = static_cast<std::int32_t>(y0.shape(1));
  py::array_t<Real> y({count, static_cast<std::int64_t>(n)});
  std::copy(y0.data(), y0.data() + y0.size(), y.mutable_data());
  py::array_t<double> x(count);
  py::array_t<std::int32_t> type(count), code(count), evaluations(count);
  std::vector<std::string> message(static_cast<std::size_t>(count));
  const Members<Real> m{reinterpret_cast<CompiledRhs>(address),
                        reinterpret_cast<void*>(user_data),
                        n,
                        static_cast<Real>(t0),
                        static_cast<Real>(t1),
                        static_cast<Real>(tol),
                        rtol,
                        atol.data(),
                        static_cast<std::int32_t>(atol.size()),
                        param.data(),
                        y.mutable_data(),
                        x.mutable_data(),
                        type.mutable_data(),
                        code.mutable_data(),
                        message.data(),
                        evaluations.mutable_data()};
  {
    py::gil_scoped_release release;
    run_all(m, count, threads);
  }
  py::list messages;
  for (const std::string& text : message) messages.append(py::str(text));
  return py::make_tuple(y, x, type, code, messages, evaluations);
}

template py::tuple ensemble<float>(std::uintptr_t, std::uintptr_t, double, double, Array<float>,
                                   double, double, Array<float>, Array<float>, int);
template py::tuple ensemble<double>(std::uintptr_t, std::uintptr_t, double, double, Array<double>,
                                    double, double, Array<double>, Array<double>, int);

}  // namespace rkv::python
