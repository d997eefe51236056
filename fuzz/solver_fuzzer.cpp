// Fuzz target: the solver's front door IVPRK.
//
// Each input is a short sequence of calls with random IDO values, NEQ (1..4
// mostly, sometimes anything), X, XEND, TOL and PARAM entries, NaN,
// infinities, huge and negative values included, against a cheap linear
// right-hand side whose coefficients come from the input too. Undefined
// behaviour (a huge PARAM entry converted to an integer, a count passing
// the largest integer) is caught by UBSan. Checked properties:
//  - a call that returns normally returns IDO 2..6 (3 after a closing call);
//  - an interval reported complete (IDO = 2) ends exactly at XEND;
//  - the statistics PARAM(34) and PARAM(35) are whole numbers, not negative,
//    and, while every pause is answered as the protocol asks, at least 7
//    evaluations are counted per accepted step;
//  - the solver never reads Y beyond NEQ entries or PARAM beyond 50 (both
//    are exact heap blocks).
// The work per input is bounded by a budget of right-hand-side evaluations:
// past it the right-hand side throws back to the driver.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "driver.hpp"
#include "front/workspace_testing.hpp"
#include "rkv/errors/state.hpp"
#include "rkv/ode/ivprk.hpp"
#include "rkv/ode/param.hpp"
#include "step/solver_state.hpp"

namespace {

using rkv::fuzz::check;

constexpr std::int32_t kMaxNeq = 4;
constexpr long kEvaluationBudget = 4000;

struct BudgetExhausted {};

// y_i' = a*y_i + b*x + c, evaluated in double and rounded once.
struct Rhs {
  float a = -1.0f;
  float b = 0.0f;
  float c = 0.0f;
  long evaluations = 0;
};
Rhs g_rhs;

void rhs(const std::int32_t& neq, const float& x, const float* y, float* yprime) {
  if (++g_rhs.evaluations > kEvaluationBudget) throw BudgetExhausted{};
  for (std::int32_t i = 0; i < neq; ++i) {
    yprime[i] = static_cast<float>(static_cast<double>(g_rhs.a) * static_cast<double>(y[i]) +
                                   static_cast<double>(g_rhs.b) * static_cast<double>(x) +
                                   static_cast<double>(g_rhs.c));
  }
}

// The workspace gate: refuse more than kMaxNeq equations, so that an
// invalid huge NEQ exercises the storage error instead of a giant request.
bool small_workspace(std::size_t count) {
  return count <= static_cast<std::size_t>(kMaxNeq) * rkv::ode::kWorkColumns;
}

float special_float(FuzzedDataProvider& in) {
  static constexpr std::array<float, 14> kValues = {0.0f,
                                                    -0.0f,
                                                    1.0f,
                                                    -1.0f,
                                                    0.5f,
                                                    1.0e-6f,
                                                    2.0f,
                                                    1.0e30f,
                                                    -1.0e30f,
                                                    3.5f,
                                                    std::numeric_limits<float>::infinity(),
                                                    -std::numeric_limits<float>::infinity(),
                                                    std::numeric_limits<float>::quiet_NaN(),
                                                    std::numeric_limits<float>::denorm_min()};
  if (in.ConsumeBool()) return kValues[in.ConsumeIntegralInRange<std::size_t>(0, 13)];
  return std::bit_cast<float>(in.ConsumeIntegral<std::uint32_t>());
}

bool whole_and_not_negative(float v) {
  return std::isfinite(v) && v >= 0.0f && std::floor(v) == v;
}

// Closes any open integration and gives back the workspace, with stops and
// reports suppressed, so that the next input starts from a closed solver.
void close_solver() {
  rkv::fuzz::reset_errors();
  rkv::ErrorState& s = rkv::E1ERRSTATE();
  s.stop_attr.data.fill(0);
  s.print_attr.data.fill(0);
  const rkv::ode::SolverState& st = rkv::ode::solver_state();
  if (st.initialised != 0 || rkv::ode::front_end_workspace().data != nullptr) {
    std::int32_t ido = 3;
    const std::int32_t neq = 1;
    float x = 0.0f;
    const float xend = 1.0f;
    const float tol = 1.0e-3f;
    std::array<float, rkv::param::kSize> param{};
    float y = 0.0f;
    try {
      rkv::IVPRK(ido, neq, rhs, x, xend, tol, param.data(), &y);
    } catch (const rkv::fuzz::StopSignal&) {
    }
  }
  check(rkv::ode::front_end_workspace().data == nullptr && st.initialised == 0,
        "IDO = 3 did not close the integration and release the workspace");
  rkv::fuzz::reset_errors();
}

void run(FuzzedDataProvider& in) {
  rkv::ErrorState& s = rkv::E1ERRSTATE();
  const std::uint8_t flags = in.ConsumeIntegral<std::uint8_t>();
  // Bit 0: errors neither print nor stop, so that later calls see the state
  // an error leaves behind.
  if ((flags & 1) != 0) {
    s.stop_attr.data.fill(0);
    s.print_attr.data.fill(0);
  }
  g_rhs.a = special_float(in);
  g_rhs.b = in.ConsumeBool() ? 0.0f : special_float(in);
  g_rhs.c = in.ConsumeBool() ? 0.0f : special_float(in);

  std::array<float, kMaxNeq> y{};
  for (float& v : y) v = special_float(in);
  const auto param = std::make_unique<float[]>(rkv::param::kSize);
  float x = special_float(in);
  float tol = 1.0e-4f;

  // Whether every answer so far was the one the protocol asks for: IDO = 4
  // after a pause before a step, 5 or 6 after a pause after an attempt.
  // Answering 5 where no attempt was made makes the integrator accept a
  // step it never evaluated, so the evaluation count is judged only on
  // conforming sequences.
  bool conforming = true;
  std::int32_t returned = 0;
  const int calls = in.ConsumeIntegralInRange(1, 8);
  for (int k = 0; k < calls && in.remaining_bytes() > 0; ++k) {
    std::int32_t ido = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::int32_t>(1, 6)
                                        : in.ConsumeIntegral<std::int32_t>();
    const std::int32_t neq = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::int32_t>(1, kMaxNeq)
                                              : in.ConsumeIntegral<std::int32_t>();
    const float xend = special_float(in);
    if (in.ConsumeBool()) tol = special_float(in);
    const int edits = in.ConsumeIntegralInRange(0, 6);
    for (int e = 0; e < edits; ++e) {
      // Any entry but the statistics 31-35, which the checks below read.
      auto index = in.ConsumeIntegralInRange<std::int32_t>(1, rkv::param::kSize - 5);
      if (index >= rkv::param::kLastStep) index += 5;
      rkv::param::set(param.get(), index, special_float(in));
    }
    if (in.ConsumeBool()) x = special_float(in);

    // Y as an exact block of NEQ entries; with an invalid NEQ the solver
    // must not read it at all, which a block of 0 entries shows.
    const std::int32_t rows = neq >= 1 && neq <= kMaxNeq ? neq : 0;
    const auto yv = std::make_unique<float[]>(static_cast<std::size_t>(rows));
    for (std::int32_t i = 0; i < rows; ++i)
      yv[static_cast<std::size_t>(i)] = y[static_cast<std::size_t>(i)];
    const std::int32_t ido_in = ido;
    if (ido == 4 && returned != 4) conforming = false;
    if ((ido == 5 || ido == 6) && returned != 5 && returned != 6) conforming = false;

    rkv::IVPRK(ido, neq, rhs, x, xend, tol, param.get(), yv.get());

    for (std::int32_t i = 0; i < rows; ++i)
      y[static_cast<std::size_t>(i)] = yv[static_cast<std::size_t>(i)];
    returned = ido;
    if ((flags & 1) != 0) continue;  // errors return normally: IDO may be anything
    const std::string detail = "IDO " + std::to_string(ido_in) + " -> " + std::to_string(ido);
    check(ido >= 2 && ido <= 6, "IVPRK returned an IDO outside 2..6", detail);
    if (ido_in == 3) check(ido == 3, "a closing call did not return IDO = 3", detail);
    if (ido == 2 && ido_in != 3) {
      check(std::bit_cast<std::uint32_t>(x) == std::bit_cast<std::uint32_t>(xend) ||
                (x == 0.0f && xend == 0.0f),
            "IDO = 2 returned short of XEND", detail);
    }
    const float accepted = rkv::param::get(param.get(), rkv::param::kAcceptedSteps);
    const float evaluations = rkv::param::get(param.get(), rkv::param::kEvaluations);
    if (ido_in != 3) {
      check(whole_and_not_negative(accepted) && whole_and_not_negative(evaluations),
            "PARAM(34)/PARAM(35) are not counts", detail);
      check(!conforming || static_cast<double>(evaluations) >= 7.0 * static_cast<double>(accepted),
            "fewer than 7 evaluations per accepted step", detail);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  rkv::fuzz::install_stop_hook();
  rkv::ode::set_workspace_gate(&small_workspace);
  rkv::fuzz::reset_errors();
  rkv::fuzz::connect_sink("/dev/null");
  g_rhs = Rhs{};
  FuzzedDataProvider in(data, size);
  try {
    run(in);
  } catch (const rkv::fuzz::StopSignal&) {
    // An orderly stop after a reported error.
  } catch (const BudgetExhausted&) {
    // The input asked for more work than one run is allowed.
  }
  // The stop closed every unit: reconnect before closing the solver, which
  // may report again.
  rkv::fuzz::connect_sink("/dev/null");
  close_solver();
  return 0;
}
