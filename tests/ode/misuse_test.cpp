// Misuse of the solver is refused and never corrupts the integration: calls
// made while a call is in progress, answers that do not fit the pending
// pause, NEQ changed during a call, non-finite input at start-up. Every case
// runs in a forked child and compares the console text exactly; the stops are
// off so that the state left behind can be printed after the report.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "rkv/errors/state.hpp"
#include "rkv/host/units.hpp"
#include "rkv/ode/integrator.hpp"
#include "solver_support.hpp"
#include "support/child.hpp"

namespace {

using rkv::odetest::Driver;
using rkv::odetest::fact;
using rkv::odetest::keep_running;
using rkv::odetest::num;
namespace param = rkv::param;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// IDO, X, Y(1) and PARAM(34..35) of a driver, on one line.
std::string summary(const char* what, const Driver& d) {
  return std::string(what) + " ido " + std::to_string(d.ido) + " x " + num(d.x) + " y " +
         num(d.y[0]) + " steps " + num(d.steps()) + " evaluations " + num(d.evaluations());
}

struct Case {
  const char* name;
  std::function<void()> body;
  std::string expected;
};

void check(const Case& c) {
  const rkv::testing::ChildResult r = rkv::testing::run_in_child(c.body);
  EXPECT_TRUE(r.exited) << c.name;
  EXPECT_EQ(r.status, rkv::testing::kBodyReturned) << c.name;
  EXPECT_EQ(r.out, c.expected) << c.name;
  EXPECT_EQ(r.err, "") << c.name;
}

// ---- calls made from inside the right-hand side ----------------------------

// On its third evaluation the right-hand side calls the solver with IDO =
// g_inner_ido (through IVPRK, through I2PRK with a workspace of its own, or
// through the integrator in progress) and reports what that call left behind.
enum class Inner { kIvprk, kI2prk, kIntegrator };
std::int32_t g_inner_ido = 0;
Inner g_inner = Inner::kIvprk;
rkv::Integrator* g_integrator = nullptr;
int g_evaluations = 0;

void rhs_reentering(const std::int32_t& n, const float& x, const float* y, float* yp) {
  rkv::odetest::rhs_decay(n, x, y, yp);
  if (++g_evaluations != 3) return;
  std::int32_t ido = g_inner_ido;
  const std::int32_t neq = 1;
  float xi = 5.0f;
  const float xend = 6.0f;
  const float tol = 1e-4f;
  std::array<float, param::kSize> prm{};
  prm.fill(-7.0f);
  float yi = 2.0f;
  std::array<float, 10> wk{};
  if (g_inner == Inner::kI2prk) {
    rkv::I2PRK(ido, neq, rkv::odetest::rhs_decay, xi, xend, tol, prm.data(), &yi, rkv::I2ERRNRM,
               wk.data());
  } else if (g_inner == Inner::kIntegrator) {
    g_integrator->integrate(ido, neq, xi, xend, tol, prm.data(), &yi);
  } else {
    rkv::IVPRK(ido, neq, rkv::odetest::rhs_decay, xi, xend, tol, prm.data(), &yi);
  }
  fact("inner ido " + std::to_string(ido) + " x " + num(xi) + " y " + num(yi) + " param(35) " +
       num(prm[34]));
}

// The outer integration ends at once (the refusal is a serious error posted
// from user code) and stays open and intact: the next call goes on from the
// last accepted point, and closing releases its own workspace.
std::function<void()> reentry(std::int32_t inner_ido, Inner inner) {
  return [inner_ido, inner] {
    keep_running();
    g_inner_ido = inner_ido;
    g_inner = inner;
    rkv::Integrator it(rhs_reentering);
    g_integrator = &it;
    Driver d;
    d.fcn = rhs_reentering;
    const auto call = [&] {
      if (inner == Inner::kIntegrator) {
        it.integrate(d.ido, d.neq, d.x, d.xend, d.tol, d.prm.data(), d.y.data());
      } else {
        d.call();
      }
    };
    d.xend = 1.0f;
    call();
    fact(summary("outer", d));
    d.ido = 2;
    call();
    fact(summary("again", d));
    d.ido = 3;
    call();
    fact("closed ido " + std::to_string(d.ido) + " held " +
         std::to_string(rkv::ode::front_end_workspace().data != nullptr));
  };
}

const char* const kIvprkInUse =
    "\n"
    " *** TERMINAL ERROR 11 from IVPRK.  IVPRK is already in use.  It cannot be\n"
    " ***          called again before the call in progress has returned.\n"
    "     Here is a traceback of subprogram calls in reverse order:\n"
    "     Routine name                    Error type  Error code\n"
    "     ------------                    ----------  ----------\n"
    "     IVPRK                                5          11\n"
    "     I2PRK                                0           0    (Called internally)\n"
    "     IVPRK                                0           0\n"
    "     USER                                 0           0\n";

TEST(Misuse, ReentryFromTheRightHandSideIsRefused) {
  const std::string after =
      " outer ido 1 x 0 y 1 steps 0 evaluations 3\n"
      " again ido 2 x 1 y 0.36787945 steps 2 evaluations 19\n"
      " closed ido 3 held 0\n";
  std::vector<Case> cases;
  for (const std::int32_t ido : {1, 2, 3}) {
    for (const Inner inner : {Inner::kIvprk, Inner::kIntegrator}) {
      cases.push_back({"IVPRK or the integrator from its RHS", reentry(ido, inner),
                       kIvprkInUse + (" inner ido " + std::to_string(ido)) +
                           " x 5 y 2 param(35) -7\n" + after});
    }
  }
  cases.push_back(
      {"I2PRK from the RHS", reentry(2, Inner::kI2prk),
       "\n"
       " *** TERMINAL ERROR 11 from I2PRK.  I2PRK is already in use.  It cannot be\n"
       " ***          called again before the call in progress has returned.\n"
       "     Here is a traceback of subprogram calls in reverse order:\n"
       "     Routine name                    Error type  Error code\n"
       "     ------------                    ----------  ----------\n"
       "     I2PRK                                5          11\n"
       "     I2PRK                                0           0    (Called internally)\n"
       "     IVPRK                                0           0\n"
       "     USER                                 0           0\n"
       " inner ido 2 x 5 y 2 param(35) -7\n" +
           after});
  for (const Case& c : cases) check(c);
}

// ---- answers that do not fit the pending pause ------------------------------

// Integrates y' = -y to 1 with the pause of PARAM(`pause`) on; the first
// pause is answered with `wrong`, then the returned value is answered until
// the interval is complete. The end matches the run without a wrong answer.
std::function<void()> wrong_answer(std::int32_t pause, std::int32_t wrong) {
  return [pause, wrong] {
    keep_running();
    Driver d;
    d.fcn = rkv::odetest::rhs_decay;
    d.set(pause, 1.0f);
    d.call_to(1.0f);
    const std::int32_t right = d.ido;
    d.answer(wrong);
    fact(summary("refused", d));
    d.ido = right;
    while (d.ido >= 4) d.call();
    fact(summary("end", d));
  };
}

// With no pause pending, 4, 5 and 6 are refused and X, Y stay; IDO = 2 goes on.
std::function<void()> answer_without_pause(std::int32_t wrong) {
  return [wrong] {
    keep_running();
    Driver d;
    d.fcn = rkv::odetest::rhs_decay;
    d.call_to(0.5f);
    d.answer(wrong);
    fact(summary("refused", d));
    d.ido = 2;
    d.call_to(1.0f);
    fact(summary("end", d));
  };
}

std::string i2prk_report(std::int32_t code, const std::string& lines) {
  const std::string c = std::to_string(code);
  return "\n" + lines +
         "     Here is a traceback of subprogram calls in reverse order:\n"
         "     Routine name                    Error type  Error code\n"
         "     ------------                    ----------  ----------\n"
         "     I2PRK                                5          " +
         c +
         "    (Called internally)\n"
         "     IVPRK                                0           0\n"
         "     USER                                 0           0\n";
}

TEST(Misuse, AnswerThatDoesNotFitThePendingPauseIsRefused) {
  const std::string end = " end ido 2 x 1 y 0.36787945 steps 2 evaluations 16\n";
  const auto before = [](std::int32_t ido) {
    return i2prk_report(12, " *** TERMINAL ERROR 12 from I2PRK.  IDO has been set to " +
                                std::to_string(ido) +
                                ", but the pause\n"
                                " ***          before a step can only be answered with IDO = 4.\n");
  };
  const auto after = [](std::int32_t ido) {
    return i2prk_report(
        13, " *** TERMINAL ERROR 13 from I2PRK.  IDO has been set to " + std::to_string(ido) +
                ", but the pause\n"
                " ***          after a step attempt can only be answered with IDO = 5 or IDO = \n"
                " ***          6.\n");
  };
  const auto none = [](std::int32_t ido) {
    return i2prk_report(14, " *** TERMINAL ERROR 14 from I2PRK.  IDO has been set to " +
                                std::to_string(ido) +
                                ", but no pause of\n"
                                " ***          the routine is waiting for an answer.\n");
  };
  std::vector<Case> cases;
  for (const std::int32_t wrong : {2, 5, 6}) {
    cases.push_back({"before a step", wrong_answer(param::kPauseBefore, wrong),
                     before(wrong) + " refused ido " + std::to_string(wrong) +
                         " x 0 y 1 steps 0 evaluations 1\n" + end});
  }
  for (const std::int32_t wrong : {2, 4}) {
    // Y is put back to the last accepted point; the pause stays pending.
    cases.push_back({"after an attempt", wrong_answer(param::kPauseAfter, wrong),
                     after(wrong) + " refused ido " + std::to_string(wrong) +
                         " x 0 y 1 steps 0 evaluations 8\n" + end});
  }
  for (const std::int32_t wrong : {4, 5, 6}) {
    cases.push_back({"no pause pending", answer_without_pause(wrong),
                     none(wrong) + " refused ido " + std::to_string(wrong) +
                         " x 0.5 y 0.606530666 steps 2 evaluations 16\n"
                         " end ido 2 x 1 y 0.36787945 steps 3 evaluations 24\n"});
  }
  cases.push_back({"closing during a pause after an attempt",
                   [] {
                     Driver d;
                     d.fcn = rkv::odetest::rhs_decay;
                     d.set(param::kPauseAfter, 1.0f);
                     d.call_to(1.0f);
                     fact(summary("paused", d));
                     d.close();
                     fact(summary("closed", d));
                   },
                   " paused ido 5 x 0 y 0.649932384 steps 0 evaluations 8\n"
                   " closed ido 3 x 0 y 1 steps 0 evaluations 8\n"});
  for (const Case& c : cases) check(c);
}

// ---- inputs read again during the call -------------------------------------

// The right-hand side changes the caller's NEQ variable while the call runs.
std::int32_t* g_neq_variable = nullptr;
void rhs_changing_neq(const std::int32_t& n, const float& x, const float* y, float* yp) {
  rkv::odetest::rhs_decay(n, x, y, yp);
  *g_neq_variable = 100000;
}

TEST(Misuse, NeqChangedDuringTheCallDoesNotOverrunTheWorkspace) {
  Driver clean;
  clean.fcn = rkv::odetest::rhs_decay;
  clean.call_to(1.0f);
  clean.close();
  Driver d;
  d.fcn = rhs_changing_neq;
  g_neq_variable = &d.neq;
  d.call_to(1.0f);
  // The call ran with the count it was given, to the same bits.
  EXPECT_EQ(d.ido, 2);
  EXPECT_EQ(d.x, 1.0f);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(d.y[0]), std::bit_cast<std::uint32_t>(clean.y[0]));
  EXPECT_EQ(d.evaluations(), clean.evaluations());
  d.neq = 1;
  d.close();
  EXPECT_EQ(rkv::ode::front_end_workspace().data, nullptr);
}

// Found by the solver fuzzer: closing during a pause after an attempt with
// another NEQ swapped the whole shown candidate back, past the end of the
// caller's Y. A closing call whose NEQ is not the pause's leaves Y alone; an
// answer with a smaller NEQ gets back the elements its Y has.
TEST(Misuse, PauseUndoneWithAnotherNeqWritesOnlyTheCallersY) {
  for (const std::int32_t answer : {3, 5}) {
    Driver d;
    d.fcn = rkv::odetest::rhs_decay;
    d.neq = 3;
    d.y = {1.0f, 2.0f, 4.0f};
    d.set(param::kPauseAfter, 1.0f);
    d.call_to(1.0f);
    ASSERT_EQ(d.ido, 5);
    const float shown = d.y[0];
    std::int32_t ido = answer;
    const std::int32_t neq = 1;
    std::array<float, 2> y{shown, -7.0f};  // y[1] stands for memory beyond the caller's Y
    rkv::IVPRK(ido, neq, d.fcn, d.x, d.xend, d.tol, d.prm.data(), y.data());
    if (answer == 3) {
      EXPECT_EQ(y[0], shown);  // not the Y the candidate was shown in
    }
    EXPECT_EQ(y[1], -7.0f) << answer;
    d.close();
    EXPECT_EQ(rkv::ode::front_end_workspace().data, nullptr) << answer;
  }
}

// ---- non-finite input at start-up -------------------------------------------

TEST(Misuse, NonFiniteInputIsRefusedAtStartUp) {
  const auto start = [](float x, float xend, float y2, std::int32_t entry) {
    return [=] {
      keep_running();
      Driver d;
      d.neq = 2;
      d.x = x;
      d.y = {1.0f, y2};
      if (entry > 0) d.set(entry, kNaN);
      d.call_to(xend);
      // The counts are those of the last start that got past these checks.
      fact("refused ido " + std::to_string(d.ido) + " x " + num(d.x) + " y " + num(d.y[0]));
    };
  };
  const auto report = [](std::int32_t code, const std::string& lines) {
    return i2prk_report(code,
                        " *** TERMINAL ERROR " + std::to_string(code) + " from I2PRK.  " + lines);
  };
  const std::vector<Case> cases = {
      {"X", start(kNaN, 1.0f, 0.0f, 0),
       report(15,
              "Independent variable X = NaN.  It must be\n"
              " ***          a finite number.\n") +
           " refused ido 1 x nan y 1\n"},
      {"XEND", start(0.0f, -kInf, 0.0f, 0),
       report(16,
              "Final point XEND = -Infinity.  It must be\n"
              " ***          a finite number.\n") +
           " refused ido 1 x 0 y 1\n"},
      {"Y", start(0.0f, 1.0f, kInf, 0),
       report(17,
              "Initial value Y(2) = Infinity.  It must\n"
              " ***          be a finite number.\n") +
           " refused ido 1 x 0 y 1\n"},
      {"PARAM", start(0.0f, 1.0f, 0.0f, param::kHmax),
       report(18,
              "Argument PARAM(3) = NaN.  It cannot be\n"
              " ***          NaN.\n") +
           " refused ido 1 x 0 y 1\n"},
  };
  for (const Case& c : cases) check(c);
}

}  // namespace
