// Helpers for the solver tests: right-hand sides with known solutions, a
// small driver that holds the arguments of IVPRK, and a library-level
// bracket that keeps the solver's FATAL reports from printing or stopping.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "front/workspace_testing.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/errors/state.hpp"
#include "rkv/host/units.hpp"
#include "rkv/ode/ivprk.hpp"
#include "rkv/ode/param.hpp"
#include "step/solver_state.hpp"

namespace rkv::odetest {

// y' = 0, y' = 3, y' = y, y' = -y, y' = x, per component.
inline void rhs_zero(const std::int32_t& n, const float&, const float*, float* yp) {
  for (std::int32_t i = 0; i < n; ++i) yp[i] = 0.0f;
}
inline void rhs_three(const std::int32_t& n, const float&, const float*, float* yp) {
  for (std::int32_t i = 0; i < n; ++i) yp[i] = 3.0f;
}
inline void rhs_grow(const std::int32_t& n, const float&, const float* y, float* yp) {
  for (std::int32_t i = 0; i < n; ++i) yp[i] = y[i];
}
inline void rhs_decay(const std::int32_t& n, const float&, const float* y, float* yp) {
  for (std::int32_t i = 0; i < n; ++i) yp[i] = -y[i];
}
inline void rhs_x(const std::int32_t& n, const float& x, const float*, float* yp) {
  for (std::int32_t i = 0; i < n; ++i) yp[i] = x;
}

// Keeps the arguments of one integration through IVPRK.
struct Driver {
  std::int32_t ido = 1;
  std::int32_t neq = 1;
  rkv::RhsFunction fcn = rhs_grow;
  float x = 0.0f;
  float xend = 0.0f;
  float tol = 1.0e-4f;
  std::array<float, rkv::param::kSize> prm{};
  std::vector<float> y{1.0f};

  void set(std::int32_t index, float value) { rkv::param::set(prm.data(), index, value); }
  [[nodiscard]] float get(std::int32_t index) const { return rkv::param::get(prm.data(), index); }
  [[nodiscard]] float last_step() const { return get(rkv::param::kLastStep); }
  [[nodiscard]] float steps() const { return get(rkv::param::kAcceptedSteps); }
  [[nodiscard]] float evaluations() const { return get(rkv::param::kEvaluations); }

  void call() { rkv::IVPRK(ido, neq, fcn, x, xend, tol, prm.data(), y.data()); }
  void call_to(float end) {
    xend = end;
    call();
  }
  void answer(std::int32_t value) {
    ido = value;
    call();
  }
  // IDO = 3: closes the integration and releases the workspace.
  void close() { answer(3); }
};

inline rkv::ode::SolverState& state() {
  return rkv::ode::solver_state();
}
inline rkv::ode::ErrorPoint last_error() {
  return state().last_error;
}

// A library routine around the solver: reports of type 2 to 4 are handed
// down to it instead of being printed and stopping the run at the solver's
// pop. The type and code that arrived are kept, then cleared.
class LibraryLevel {
 public:
  LibraryLevel() { rkv::E1PSH(kName); }
  ~LibraryLevel() {
    const std::int32_t none = 0;
    rkv::E1MES(none, none, " ");
    rkv::E1POP(kName);
  }
  LibraryLevel(const LibraryLevel&) = delete;
  LibraryLevel& operator=(const LibraryLevel&) = delete;

  // The error type and code handed down to this level so far.
  [[nodiscard]] std::int32_t type() const {
    const std::int32_t own = 0;
    return rkv::N1RTY(own);
  }
  [[nodiscard]] std::int32_t code() const {
    const rkv::ErrorState& e = rkv::E1ERRSTATE();
    return e.level_code(e.level);
  }

 private:
  static constexpr std::string_view kName = "ODETEST";
};

// For the report tests run in a forked child: a line on the console after
// the reports (free-form, one leading blank), a real in the shortest form
// that reads back to its bits, and the stops of FATAL and TERMINAL reports
// turned off, so that the run goes on and the state left can be printed.
inline void fact(const std::string& text) {
  rkv::host::write_line(rkv::host::kStdoutUnit, text);
}

inline std::string num(float v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
  return buf;
}

inline void keep_running() {
  rkv::E1ERRSTATE().stop_attr(4) = 0;
  rkv::E1ERRSTATE().stop_attr(5) = 0;
}

}  // namespace rkv::odetest
