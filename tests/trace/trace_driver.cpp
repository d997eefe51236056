// Golden-trace driver: runs a fixed set of integrations through IVPRK and
// prints, per solver call, IDO on entry and on return and the bit patterns of
// X, Y and PARAM(31..35), together with any report the library prints. Its
// output must be identical, byte for byte, from every compiler, optimisation
// level and processor.
//
// Errors are traced too: the driver runs every integration from inside a
// library level of its own and switches the stop attributes off, so a FATAL
// or TERMINAL report is printed and the run goes on; the type recorded at the
// driver's level is traced and then cleared.
//
//   trace_driver [--isa=baseline|avx2|avx512] [--via=ivprk|plain|context|callable|c]
//                [--real=double]
// --isa narrows the vector instruction set of the solver's loops (where the
// processor has the one named); --via runs the integrations through one
// integrator object instead of IVPRK, made with a plain function, with a
// context function, with a callable, or through the C handle. The one
// object keeps its state from one integration to the next as IVPRK's
// instance does (PARAM(31) before the first attempt still shows the last
// step of the previous integration). The traces must not change either way.
// --real=double runs the same scenarios (their data widened from float)
// through a DoubleIntegrator (made with the plain function unless --via
// names the context or callable form), plus scenarios with RTOL and ATOL;
// those traces have their own golden file.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "rkv/errors/post.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/errors/state.hpp"
#include "rkv/host/units.hpp"
#include "rkv/integrator.h"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/ivprk.hpp"
#include "rkv/ode/param.hpp"
#include "step/isa.hpp"
#include "step/isa_testing.hpp"

namespace {

using rkv::param::get;
using rkv::param::set;

constexpr std::int32_t kMaxNeq = 3;

// Everything goes through the host's console unit, so that the library's
// reports and the trace lines interleave in the order they happen.
void emit(const std::string& line) {
  rkv::host::write_record(rkv::host::kStdoutUnit, line);
}

std::string hex(float v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08x", static_cast<unsigned>(std::bit_cast<std::uint32_t>(v)));
  return buf;
}

std::string hex(double v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%016llx",
                static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(v)));
  return buf;
}

// ---- right-hand sides -------------------------------------------------------
// Written once over the storage type: evaluated in double, rounded once.

// A value of the mathematical library's sin or cos. Those are not correctly
// rounded, and their last bit may differ from one library (or one of its
// variants) to the next; the float scenarios round it away with the rest of
// the formula, the double ones round it to float here, so that the traces
// follow the solver rather than the library.
template <class R>
double libm(double v) {
  if constexpr (std::is_same_v<R, float>) {
    return v;
  } else {
    return static_cast<double>(static_cast<float>(v));
  }
}

template <class R>
void decay(const std::int32_t&, const R&, const R* y, R* yp) {
  yp[0] = static_cast<R>(-static_cast<double>(y[0]));
}

template <class R>
void growth_in_x(const std::int32_t&, const R& x, const R* y, R* yp) {
  yp[0] = static_cast<R>(static_cast<double>(x) * static_cast<double>(y[0]));
}

template <class R>
void oscillator(const std::int32_t&, const R&, const R* y, R* yp) {
  yp[0] = y[1];
  yp[1] = -y[0];
}

// A damped pendulum.
template <class R>
void pendulum(const std::int32_t&, const R&, const R* y, R* yp) {
  yp[0] = y[1];
  yp[1] = static_cast<R>(-0.1 * static_cast<double>(y[1]) -
                         libm<R>(std::sin(static_cast<double>(y[0]))));
}

// The Lorenz system, a chaotic three-equation case.
template <class R>
void lorenz(const std::int32_t&, const R&, const R* y, R* yp) {
  const double a = y[0], b = y[1], c = y[2];
  yp[0] = static_cast<R>(10.0 * (b - a));
  yp[1] = static_cast<R>(a * (28.0 - c) - b);
  yp[2] = static_cast<R>(a * b - 8.0 / 3.0 * c);
}

// A component that is large at first and then decays, next to a small one:
// the INORM = 3 weights keep the memory of the large value.
template <class R>
void fading(const std::int32_t&, const R&, const R* y, R* yp) {
  yp[0] = static_cast<R>(-5.0 * static_cast<double>(y[0]));
  yp[1] = static_cast<R>(static_cast<double>(y[0]) * 0.01 - static_cast<double>(y[1]));
}

// A stiff scalar problem: y' = -1000 (y - cos x).
template <class R>
void stiff(const std::int32_t&, const R& x, const R* y, R* yp) {
  yp[0] = static_cast<R>(-1000.0 *
                         (static_cast<double>(y[0]) - libm<R>(std::cos(static_cast<double>(x)))));
}

// The right-hand side of a scenario in both storage types.
struct Rhs {
  rkv::BasicRhsFunction<float> f;
  rkv::BasicRhsFunction<double> d;
  template <class R>
  [[nodiscard]] rkv::BasicRhsFunction<R> of() const {
    if constexpr (std::is_same_v<R, float>) {
      return f;
    } else {
      return d;
    }
  }
};
#define RKV_BOTH(fn)      \
  Rhs {                   \
    fn<float>, fn<double> \
  }

// ---- the solver of one integration -----------------------------------------

enum class Via { kIvprk, kPlain, kContext, kCallable, kC };
Via g_via = Via::kIvprk;
bool g_double = false;  // --real=double: the scenarios through DoubleIntegrator

bool via_from_name(const char* name, Via& via) {
  const std::pair<const char*, Via> names[] = {{"ivprk", Via::kIvprk},
                                               {"plain", Via::kPlain},
                                               {"context", Via::kContext},
                                               {"callable", Via::kCallable},
                                               {"c", Via::kC}};
  for (const auto& [n, v] : names) {
    if (std::strcmp(name, n) == 0) {
      via = v;
      return true;
    }
  }
  return false;
}

// The right-hand side of the integration being traced.
template <class R>
rkv::BasicRhsFunction<R> g_rhs = nullptr;

template <class R>
void plain_rhs(const std::int32_t& n, const R& x, const R* y, R* yp) {
  g_rhs<R>(n, x, y, yp);
}

template <class R>
void context_rhs(void* f, const std::int32_t& n, const R& x, const R* y, R* yp) {
  (*static_cast<rkv::BasicRhsFunction<R>*>(f))(n, x, y, yp);
}

void c_rhs(void* f, const std::int32_t* n, const float* x, const float* y, float* yp) {
  (*static_cast<rkv::RhsFunction*>(f))(*n, *x, y, yp);
}

// IVPRK, or the one integrator of the form g_via names; its right-hand side
// is g_rhs, reached through the context where the form has one. A double
// solver is always an integrator object (IVPRK and the C handle are float).
template <class R>
class Solver {
 public:
  Solver() {
    switch (g_via) {
      case Via::kContext:
        it_.emplace(context_rhs<R>, static_cast<void*>(&g_rhs<R>));
        break;
      case Via::kCallable:
        it_.emplace([f = &g_rhs<R>](const std::int32_t& n, const R& x, const R* y, R* yp) {
          (*f)(n, x, y, yp);
        });
        break;
      case Via::kC:
        if constexpr (std::is_same_v<R, float>) {
          handle_ = rkv_integrator_create(c_rhs, &g_rhs<float>);
          break;
        }
        [[fallthrough]];
      case Via::kPlain:
        it_.emplace(plain_rhs<R>);
        break;
      default:
        if constexpr (!std::is_same_v<R, float>) it_.emplace(plain_rhs<R>);
        break;
    }
  }
  ~Solver() { rkv_integrator_destroy(handle_); }
  Solver(const Solver&) = delete;
  Solver& operator=(const Solver&) = delete;

  // Tolerances for the next integration (none when rtol and atol are 0).
  void tolerances(double rtol, double atol) {
    if (!it_) return;
    if (rtol == 0.0 && atol == 0.0) {
      it_->clear_tolerances();
    } else {
      it_->set_tolerances(static_cast<R>(rtol), static_cast<R>(atol));
    }
  }

  void call(std::int32_t& ido, std::int32_t neq, R& x, R xend, R tol, R* prm, R* y) {
    if constexpr (std::is_same_v<R, float>) {
      if (handle_ != nullptr) {
        rkv_integrator_ivprk(handle_, &ido, &neq, &x, &xend, &tol, prm, y);
        return;
      }
      if (!it_) {
        rkv::IVPRK(ido, neq, g_rhs<float>, x, xend, tol, prm, y);
        return;
      }
    }
    it_->integrate(ido, neq, x, xend, tol, prm, y);
  }

 private:
  std::optional<rkv::BasicIntegrator<R>> it_;
  rkv_integrator* handle_ = nullptr;
};

// ---- one traced integration -----------------------------------------------

struct Integration {
  const char* name;
  Rhs f;
  std::int32_t neq;
  float x0;
  std::vector<float> y0;
  std::vector<float> ends;                      // successive XEND values
  std::vector<std::pair<int, float>> settings;  // PARAM(i) = v
  float tol;
  int veto_every = 0;               // answer 6 to every n-th IDO = 5 pause
  int extra_calls_after_error = 0;  // further IDO = 2 calls after an error
  double rtol = 0.0;                // tolerances set on the integrator (TOL a factor)
  double atol = 0.0;
};

// Traces one call; returns the error type the call left at the driver's
// level (0 when none). An error is then reported by popping the driver's own
// level (its caller is user code, so the report is printed; the stop
// attributes are off) and the level is pushed again.
template <class R>
std::int32_t trace_call(const char* what, std::int32_t ido_in, std::int32_t ido, R x, const R* y,
                        std::int32_t neq, const R* prm) {
  char head[64];
  std::snprintf(head, sizeof head, "%s ido %d->%d x ", what, static_cast<int>(ido_in),
                static_cast<int>(ido));
  std::string line(head);
  line.append(hex(x)).append(" y");
  for (std::int32_t i = 0; i < neq; ++i) line.append(" ").append(hex(y[i]));
  line.append(" p");
  for (std::int32_t i = rkv::param::kLastStep; i <= rkv::param::kEvaluations; ++i) {
    line.append(" ").append(hex(get(prm, i)));
  }
  const std::int32_t own = 0;
  const std::int32_t type = rkv::N1RTY(own);
  if (type != 0) line.append(" error-type ").append(std::to_string(type));
  emit(line);
  if (type != 0) {
    rkv::E1POP("TRACE");
    rkv::E1PSH("TRACE");
  }
  return type;
}

// The scenario's data are floats; a double run takes them widened exactly.
template <class R>
void run(Solver<R>& solver, const Integration& in) {
  emit(std::string("== ").append(in.name));
  R x = in.x0;
  R y[kMaxNeq] = {};
  for (std::size_t i = 0; i < in.y0.size(); ++i) y[i] = in.y0[i];
  R prm[rkv::param::kSize] = {};
  for (const auto& [i, v] : in.settings) set(prm, i, static_cast<R>(v));
  std::int32_t ido = 1;
  int pauses = 0;
  g_rhs<R> = in.f.of<R>();
  solver.tolerances(in.rtol, in.atol);
  const R tol = in.tol;
  for (const float xend_in : in.ends) {
    const R xend = xend_in;
    std::int32_t error = 0;
    for (int guard = 0; guard < 10000; ++guard) {
      const std::int32_t ido_in = ido;
      solver.call(ido, in.neq, x, xend, tol, prm, y);
      error = trace_call("call", ido_in, ido, x, y, in.neq, prm);
      if (error != 0) break;
      if (ido == 5 && in.veto_every > 0 && (++pauses % in.veto_every) == 0) {
        ido = 6;
        continue;
      }
      if (ido == 4 || ido == 5 || ido == 6) continue;
      break;
    }
    if (error != 0) {
      // The integration stays open: further calls meet the same condition.
      for (int k = 0; k < in.extra_calls_after_error; ++k) {
        std::int32_t again = 2;
        solver.call(again, in.neq, x, xend, tol, prm, y);
        trace_call("again", 2, again, x, y, in.neq, prm);
      }
      break;
    }
  }
  std::int32_t close = 3;
  solver.call(close, in.neq, x, x, tol, prm, y);
  trace_call("close", 3, close, x, y, in.neq, prm);
}

template <class R>
void run_all() {
  using P = std::pair<int, float>;
  std::vector<Integration> cases = {
      {"decay, INORM 0, four intervals",
       RKV_BOTH(decay),
       1,
       0.0f,
       {1.0f},
       {0.5f, 1.0f, 1.5f, 2.0f},
       {},
       1e-6f},
      {"decay backwards", RKV_BOTH(decay), 1, 2.0f, {0.1353353f}, {1.5f, 1.0f, 0.0f}, {}, 1e-6f},
      {"growth in x, initial step and HMAX",
       RKV_BOTH(growth_in_x),
       1,
       0.0f,
       {1.0f},
       {1.0f, 2.0f},
       {P{1, 0.01f}, P{3, 0.25f}},
       1e-5f},
      {"oscillator, INORM 1",
       RKV_BOTH(oscillator),
       2,
       0.0f,
       {1.0f, 0.0f},
       {1.0f, 2.0f, 3.0f},
       {P{10, 1.0f}},
       1e-5f},
      {"pendulum, INORM 2 with lower bound 0.01",
       RKV_BOTH(pendulum),
       2,
       0.0f,
       {2.0f, 0.0f},
       {2.0f, 4.0f},
       {P{10, 2.0f}, P{11, 0.01f}},
       1e-4f},
      {"fading, INORM 3",
       RKV_BOTH(fading),
       2,
       0.0f,
       {100.0f, 0.0f},
       {1.0f, 3.0f},
       {P{10, 3.0f}},
       1e-5f},
      {"lorenz, scale factor 2",
       RKV_BOTH(lorenz),
       3,
       0.0f,
       {1.0f, 1.0f, 1.0f},
       {0.5f, 1.0f},
       {P{9, 2.0f}},
       1e-4f},
      {"oscillator, pause before each step",
       RKV_BOTH(oscillator),
       2,
       0.0f,
       {0.0f, 1.0f},
       {0.3f},
       {P{7, 1.0f}},
       1e-4f},
      {"oscillator, pause after each attempt, every third passing attempt vetoed",
       RKV_BOTH(oscillator),
       2,
       0.0f,
       {0.0f, 1.0f},
       {0.6f},
       {P{7, 1.0f}, P{8, 1.0f}},
       1e-4f,
       3},
      {"decay, step limit 12",
       RKV_BOTH(decay),
       1,
       0.0f,
       {1.0f},
       {0.5f, 5.0f},
       {P{4, 12.0f}},
       1e-7f,
       0,
       2},
      {"decay, evaluation limit 60",
       RKV_BOTH(decay),
       1,
       0.0f,
       {1.0f},
       {5.0f},
       {P{5, 60.0f}},
       1e-7f,
       0,
       1},
      {"stiff, step limit 300",
       RKV_BOTH(stiff),
       1,
       0.0f,
       {0.0f},
       {1.0f, 3.0f},
       {P{4, 300.0f}},
       1e-4f,
       0,
       1},
      {"decay, HMIN above HMAX",
       RKV_BOTH(decay),
       1,
       0.0f,
       {1.0f},
       {1.0f},
       {P{2, 0.5f}, P{3, 0.1f}},
       1e-6f,
       0,
       1},
      {"stiff, HMIN too large for TOL",
       RKV_BOTH(stiff),
       1,
       0.0f,
       {0.0f},
       {1.0f},
       {P{2, 0.05f}},
       1e-6f,
       0,
       1},
      {"zero-length interval", RKV_BOTH(decay), 1, 1.0f, {1.0f}, {1.0f, 2.0f}, {}, 1e-6f},
  };
  if constexpr (std::is_same_v<R, double>) {
    // Tolerances as RTOL and ATOL, TOL = 1; the maximum norm.
    cases.push_back({"lorenz, RTOL 1e-9 and ATOL 1e-12",
                     RKV_BOTH(lorenz),
                     3,
                     0.0f,
                     {1.0f, 1.0f, 1.0f},
                     {0.5f, 1.0f},
                     {},
                     1.0f,
                     0,
                     0,
                     1e-9,
                     1e-12});
    cases.push_back({"fading, RTOL 1e-8 and ATOL 1e-10",
                     RKV_BOTH(fading),
                     2,
                     0.0f,
                     {100.0f, 0.0f},
                     {1.0f, 3.0f},
                     {},
                     1.0f,
                     0,
                     0,
                     1e-8,
                     1e-10});
  }
  Solver<R> solver;
  for (const Integration& in : cases) run(solver, in);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    rkv::ode::Isa isa = rkv::ode::Isa::kBaseline;
    if (std::strncmp(a, "--isa=", 6) == 0 && rkv::ode::isa_from_name(a + 6, isa)) {
      rkv::ode::select_isa_for_testing(isa);
    } else if (std::strcmp(a, "--real=double") == 0) {
      g_double = true;
    } else if (std::strncmp(a, "--via=", 6) != 0 || !via_from_name(a + 6, g_via)) {
      std::fprintf(stderr, "trace_driver: unknown argument %s\n", a);
      return 2;
    }
  }
  // Reports are printed but never stop the run; the driver's own level makes
  // every solver call a call from library code.
  rkv::ErrorState& st = rkv::E1ERRSTATE();
  for (std::int32_t t = 1; t <= rkv::kErrorTypes; ++t) st.stop_attr(t) = 0;
  rkv::E1PSH("TRACE");
  if (g_double) {
    run_all<double>();
  } else {
    run_all<float>();
  }
  rkv::E1POP("TRACE");
  rkv::host::close_all();
  return 0;
}
