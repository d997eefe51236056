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
// --isa narrows the vector instruction set of the solver's loops (where the
// processor has the one named); --via runs the integrations through one
// integrator object instead of IVPRK, made with a plain function, with a
// context function, with a callable, or through the C handle. The one
// object keeps its state from one integration to the next as IVPRK's
// instance does (PARAM(31) before the first attempt still shows the last
// step of the previous integration). The traces must not change either way.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
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

// ---- right-hand sides -------------------------------------------------------

void decay(const std::int32_t&, const float&, const float* y, float* yp) {
  yp[0] = static_cast<float>(-static_cast<double>(y[0]));
}

void growth_in_x(const std::int32_t&, const float& x, const float* y, float* yp) {
  yp[0] = static_cast<float>(static_cast<double>(x) * static_cast<double>(y[0]));
}

void oscillator(const std::int32_t&, const float&, const float* y, float* yp) {
  yp[0] = y[1];
  yp[1] = -y[0];
}

// A damped pendulum.
void pendulum(const std::int32_t&, const float&, const float* y, float* yp) {
  yp[0] = y[1];
  yp[1] =
      static_cast<float>(-0.1 * static_cast<double>(y[1]) - std::sin(static_cast<double>(y[0])));
}

// The Lorenz system, a chaotic three-equation case.
void lorenz(const std::int32_t&, const float&, const float* y, float* yp) {
  const double a = y[0], b = y[1], c = y[2];
  yp[0] = static_cast<float>(10.0 * (b - a));
  yp[1] = static_cast<float>(a * (28.0 - c) - b);
  yp[2] = static_cast<float>(a * b - 8.0 / 3.0 * c);
}

// A component that is large at first and then decays, next to a small one:
// the INORM = 3 weights keep the memory of the large value.
void fading(const std::int32_t&, const float&, const float* y, float* yp) {
  yp[0] = static_cast<float>(-5.0 * static_cast<double>(y[0]));
  yp[1] = static_cast<float>(static_cast<double>(y[0]) * 0.01 - static_cast<double>(y[1]));
}

// A stiff scalar problem: y' = -1000 (y - cos x).
void stiff(const std::int32_t&, const float& x, const float* y, float* yp) {
  yp[0] =
      static_cast<float>(-1000.0 * (static_cast<double>(y[0]) - std::cos(static_cast<double>(x))));
}

// ---- the solver of one integration -----------------------------------------

enum class Via { kIvprk, kPlain, kContext, kCallable, kC };
Via g_via = Via::kIvprk;

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
rkv::RhsFunction g_rhs = nullptr;

void plain_rhs(const std::int32_t& n, const float& x, const float* y, float* yp) {
  g_rhs(n, x, y, yp);
}

void context_rhs(void* f, const std::int32_t& n, const float& x, const float* y, float* yp) {
  (*static_cast<rkv::RhsFunction*>(f))(n, x, y, yp);
}

void c_rhs(void* f, const std::int32_t* n, const float* x, const float* y, float* yp) {
  (*static_cast<rkv::RhsFunction*>(f))(*n, *x, y, yp);
}

// IVPRK, or the one integrator of the form g_via names; its right-hand side
// is g_rhs, reached through the context where the form has one.
class Solver {
 public:
  Solver() {
    switch (g_via) {
      case Via::kPlain:
        it_.emplace(plain_rhs);
        break;
      case Via::kContext:
        it_.emplace(context_rhs, static_cast<void*>(&g_rhs));
        break;
      case Via::kCallable:
        it_.emplace([f = &g_rhs](const std::int32_t& n, const float& x, const float* y, float* yp) {
          (*f)(n, x, y, yp);
        });
        break;
      case Via::kC:
        handle_ = rkv_integrator_create(c_rhs, &g_rhs);
        break;
      default:
        break;
    }
  }
  ~Solver() { rkv_integrator_destroy(handle_); }
  Solver(const Solver&) = delete;
  Solver& operator=(const Solver&) = delete;

  void call(std::int32_t& ido, std::int32_t neq, float& x, float xend, float tol, float* prm,
            float* y) {
    if (handle_ != nullptr) {
      rkv_integrator_ivprk(handle_, &ido, &neq, &x, &xend, &tol, prm, y);
    } else if (it_) {
      it_->integrate(ido, neq, x, xend, tol, prm, y);
    } else {
      rkv::IVPRK(ido, neq, g_rhs, x, xend, tol, prm, y);
    }
  }

 private:
  std::optional<rkv::Integrator> it_;
  rkv_integrator* handle_ = nullptr;
};

// ---- one traced integration -----------------------------------------------

struct Integration {
  const char* name;
  rkv::RhsFunction f;
  std::int32_t neq;
  float x0;
  std::vector<float> y0;
  std::vector<float> ends;                      // successive XEND values
  std::vector<std::pair<int, float>> settings;  // PARAM(i) = v
  float tol;
  int veto_every = 0;               // answer 6 to every n-th IDO = 5 pause
  int extra_calls_after_error = 0;  // further IDO = 2 calls after an error
};

// Traces one call; returns the error type the call left at the driver's
// level (0 when none). An error is then reported by popping the driver's own
// level (its caller is user code, so the report is printed; the stop
// attributes are off) and the level is pushed again.
std::int32_t trace_call(const char* what, std::int32_t ido_in, std::int32_t ido, float x,
                        const float* y, std::int32_t neq, const float* prm) {
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

void run(Solver& solver, const Integration& in) {
  emit(std::string("== ").append(in.name));
  float x = in.x0;
  float y[kMaxNeq] = {};
  for (std::size_t i = 0; i < in.y0.size(); ++i) y[i] = in.y0[i];
  float prm[rkv::param::kSize] = {};
  for (const auto& [i, v] : in.settings) set(prm, i, v);
  std::int32_t ido = 1;
  int pauses = 0;
  g_rhs = in.f;
  for (const float xend : in.ends) {
    std::int32_t error = 0;
    for (int guard = 0; guard < 10000; ++guard) {
      const std::int32_t ido_in = ido;
      solver.call(ido, in.neq, x, xend, in.tol, prm, y);
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
        solver.call(again, in.neq, x, xend, in.tol, prm, y);
        trace_call("again", 2, again, x, y, in.neq, prm);
      }
      break;
    }
  }
  std::int32_t close = 3;
  solver.call(close, in.neq, x, x, in.tol, prm, y);
  trace_call("close", 3, close, x, y, in.neq, prm);
}

void run_all() {
  using P = std::pair<int, float>;
  const std::vector<Integration> cases = {
      {"decay, INORM 0, four intervals",
       decay,
       1,
       0.0f,
       {1.0f},
       {0.5f, 1.0f, 1.5f, 2.0f},
       {},
       1e-6f},
      {"decay backwards", decay, 1, 2.0f, {0.1353353f}, {1.5f, 1.0f, 0.0f}, {}, 1e-6f},
      {"growth in x, initial step and HMAX",
       growth_in_x,
       1,
       0.0f,
       {1.0f},
       {1.0f, 2.0f},
       {P{1, 0.01f}, P{3, 0.25f}},
       1e-5f},
      {"oscillator, INORM 1",
       oscillator,
       2,
       0.0f,
       {1.0f, 0.0f},
       {1.0f, 2.0f, 3.0f},
       {P{10, 1.0f}},
       1e-5f},
      {"pendulum, INORM 2 with lower bound 0.01",
       pendulum,
       2,
       0.0f,
       {2.0f, 0.0f},
       {2.0f, 4.0f},
       {P{10, 2.0f}, P{11, 0.01f}},
       1e-4f},
      {"fading, INORM 3", fading, 2, 0.0f, {100.0f, 0.0f}, {1.0f, 3.0f}, {P{10, 3.0f}}, 1e-5f},
      {"lorenz, scale factor 2",
       lorenz,
       3,
       0.0f,
       {1.0f, 1.0f, 1.0f},
       {0.5f, 1.0f},
       {P{9, 2.0f}},
       1e-4f},
      {"oscillator, pause before each step",
       oscillator,
       2,
       0.0f,
       {0.0f, 1.0f},
       {0.3f},
       {P{7, 1.0f}},
       1e-4f},
      {"oscillator, pause after each attempt, every third passing attempt vetoed",
       oscillator,
       2,
       0.0f,
       {0.0f, 1.0f},
       {0.6f},
       {P{7, 1.0f}, P{8, 1.0f}},
       1e-4f,
       3},
      {"decay, step limit 12", decay, 1, 0.0f, {1.0f}, {0.5f, 5.0f}, {P{4, 12.0f}}, 1e-7f, 0, 2},
      {"decay, evaluation limit 60", decay, 1, 0.0f, {1.0f}, {5.0f}, {P{5, 60.0f}}, 1e-7f, 0, 1},
      {"stiff, step limit 300", stiff, 1, 0.0f, {0.0f}, {1.0f, 3.0f}, {P{4, 300.0f}}, 1e-4f, 0, 1},
      {"decay, HMIN above HMAX",
       decay,
       1,
       0.0f,
       {1.0f},
       {1.0f},
       {P{2, 0.5f}, P{3, 0.1f}},
       1e-6f,
       0,
       1},
      {"stiff, HMIN too large for TOL", stiff, 1, 0.0f, {0.0f}, {1.0f}, {P{2, 0.05f}}, 1e-6f, 0, 1},
      {"zero-length interval", decay, 1, 1.0f, {1.0f}, {1.0f, 2.0f}, {}, 1e-6f},
  };
  Solver solver;
  for (const Integration& in : cases) run(solver, in);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    rkv::ode::Isa isa = rkv::ode::Isa::kBaseline;
    if (std::strncmp(a, "--isa=", 6) == 0 && rkv::ode::isa_from_name(a + 6, isa)) {
      rkv::ode::select_isa_for_testing(isa);
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
  run_all();
  rkv::E1POP("TRACE");
  rkv::host::close_all();
  return 0;
}
