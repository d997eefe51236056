// The solver's error reports as printed on the console, byte for byte, and
// the state each error leaves behind. Every case runs in a forked child:
// TERMINAL and FATAL reports stop the run.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "rkv/errors/params.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/errors/state.hpp"
#include "rkv/host/units.hpp"
#include "solver_support.hpp"
#include "support/child.hpp"

namespace {

using rkv::odetest::Driver;
using rkv::odetest::fact;
using rkv::odetest::keep_running;
using rkv::odetest::num;
using rkv::odetest::state;
namespace param = rkv::param;

struct Case {
  const char* name;
  std::function<void()> body;
  std::string expected;
  bool stops;  // the run ends in an orderly stop (else the body returns)
};

void check(const Case& c) {
  const rkv::testing::ChildResult r = rkv::testing::run_in_child(c.body);
  EXPECT_TRUE(r.exited) << c.name;
  EXPECT_EQ(r.status, c.stops ? 0 : rkv::testing::kBodyReturned) << c.name;
  EXPECT_EQ(r.out, c.expected) << c.name;
  EXPECT_EQ(r.err, "") << c.name;
}

}  // namespace

// Calls the integrator directly, with a workspace of its own.
struct Direct {
  Driver d;
  std::vector<float> wk = std::vector<float>(10, 0.0f);
  void call() {
    rkv::I2PRK(d.ido, d.neq, d.fcn, d.x, d.xend, d.tol, d.prm.data(), d.y.data(), rkv::I2ERRNRM,
               wk.data());
  }
};

// A library routine of the user's, called from the right-hand side, that
// posts a FATAL error on the 12th evaluation (stage 4 of the second attempt).
std::int32_t g_calls = 0;
void user_library() {
  rkv::E1PSH("USERLIB");
  const std::int32_t fatal = 4;
  const std::int32_t code = 1;
  rkv::E1MES(fatal, code, "The user's library failed.");
  rkv::E1POP("USERLIB");
}
void rhs_failing(const std::int32_t& n, const float& x, const float* y, float* yp) {
  rkv::odetest::rhs_three(n, x, y, yp);
  if (++g_calls == 12) user_library();
}

TEST(Reports, PrintedReports) {
  const std::vector<Case> cases = {
      {"TOL through the front end",
       [] {
         Driver d;
         d.tol = 0.0f;
         d.call_to(1.0f);
       },
       "\n"
       " *** TERMINAL ERROR 3 from I2PRK.  The tolerance TOL = 0.000000E+00.  It must\n"
       " ***          be greater than 0.0.\n"
       "     Here is a traceback of subprogram calls in reverse order:\n"
       "     Routine name                    Error type  Error code\n"
       "     ------------                    ----------  ----------\n"
       "     I2PRK                                5           3    (Called internally)\n"
       "     IVPRK                                0           0\n"
       "     USER                                 0           0\n",
       true},
      {"IDO out of range at the front end",
       [] {
         Driver d;
         d.ido = 7;
         d.call_to(1.0f);
       },
       "\n"
       " *** TERMINAL ERROR 2 from IVPRK.  The status indicator IDO = 7.  It must be\n"
       " ***          in the range 1 to 6.\n",
       true},
      {"NEQ at the front end",
       [] {
         Driver d;
         d.neq = 0;
         d.call_to(1.0f);
       },
       "\n"
       " *** TERMINAL ERROR 1 from IVPRK.  The number of equations NEQ = 0.  It must\n"
       " ***          be at least 1.\n",
       true},
      {"second start while the workspace is held",
       [] {
         Driver d;
         d.call_to(1.0f);
         d.ido = 1;
         d.call_to(2.0f);
       },
       "\n"
       " *** TERMINAL ERROR 8 from IVPRK.  The required storage cannot be allocated. \n"
       " ***          Workspace allocation based on NEQ = 1.\n",
       true},
      {"workspace request refused",
       [] {
         rkv::ode::set_workspace_gate([](std::size_t) { return false; });
         Driver d;
         d.neq = 4;
         d.y.assign(4, 1.0f);
         d.call_to(1.0f);
       },
       "\n"
       " *** TERMINAL ERROR 8 from IVPRK.  The required storage cannot be allocated. \n"
       " ***          Workspace allocation based on NEQ = 4.\n",
       true},
      {"IDO = 4 before any start",
       [] {
         Driver d;
         d.ido = 4;
         d.call_to(1.0f);
       },
       "\n"
       " *** TERMINAL ERROR 9 from I2PRK.  IDO has been set to 4, but the routine has\n"
       " ***          not been initialized in a call with IDO = 1.\n"
       "     Here is a traceback of subprogram calls in reverse order:\n"
       "     Routine name                    Error type  Error code\n"
       "     ------------                    ----------  ----------\n"
       "     I2PRK                                5           9    (Called internally)\n"
       "     IVPRK                                0           0\n"
       "     USER                                 0           0\n",
       true},
      {"IDO = 3 before any start",
       [] {
         Driver d;
         d.close();
       },
       "\n"
       " *** TERMINAL ERROR 9 from I2PRK.  IDO has been set to 3, but the routine has\n"
       " ***          not been initialized in a call with IDO = 1.\n"
       "     Here is a traceback of subprogram calls in reverse order:\n"
       "     Routine name                    Error type  Error code\n"
       "     ------------                    ----------  ----------\n"
       "     I2PRK                                5           9    (Called internally)\n"
       "     IVPRK                                0           0\n"
       "     USER                                 0           0\n",
       true},
      {"repeated start of the integrator",
       [] {
         Direct c;
         c.d.xend = 1.0f;
         c.call();
         c.d.ido = 1;
         c.call();
       },
       "\n"
       " *** TERMINAL ERROR 8 from I2PRK.  IDO = 1.  IDO can only be set to 1 in the\n"
       " ***          initial call to the routine, or if the previous call was made \n"
       " ***          with IDO = 3.\n",
       true},
      {"NEQ and TOL on one direct start",
       [] {
         Direct c;
         c.d.neq = 0;
         c.d.tol = 0.0f;
         c.d.xend = 1.0f;
         c.call();
       },
       "\n"
       " *** TERMINAL ERROR 1 from I2PRK.  The number of equations NEQ = 0.  It must\n"
       " ***          be at least 1.\n"
       "\n"
       " *** TERMINAL ERROR 3 from I2PRK.  The tolerance TOL = 0.000000E+00.  It must\n"
       " ***          be greater than 0.0.\n",
       true},
      {"negative entries, each reported",
       [] {
         Driver d;
         d.set(1, -2.0f);
         d.set(6, -1.0f);
         d.set(12, -5.0f);
         d.call_to(1.0f);
       },
       "\n"
       " *** TERMINAL ERROR 4 from I2PRK.  Argument PARAM(1) = -2.000000E+00.  It\n"
       " ***          cannot be negative.\n"
       "     Here is a traceback of subprogram calls in reverse order:\n"
       "     Routine name                    Error type  Error code\n"
       "     ------------                    ----------  ----------\n"
       "     I2PRK                                5           4    (Called internally)\n"
       "     IVPRK                                0           0\n"
       "     USER                                 0           0\n"
       "\n"
       " *** TERMINAL ERROR 4 from I2PRK.  Argument PARAM(6) = -1.000000E+00.  It\n"
       " ***          cannot be negative.\n"
       "     Here is a traceback of subprogram calls in reverse order:\n"
       "     Routine name                    Error type  Error code\n"
       "     ------------                    ----------  ----------\n"
       "     I2PRK                                5           4    (Called internally)\n"
       "     IVPRK                                0           0\n"
       "     USER                                 0           0\n",
       true},
      {"INORM refused",
       [] {
         Driver d;
         d.set(param::kInorm, 3.5f);
         d.call_to(1.0f);
       },
       "\n"
       " *** TERMINAL ERROR 10 from I2PRK.  The argument PARAM(10) = INORM =\n"
       " ***          3.500000E+00.  It must be less than four.\n"
       "     Here is a traceback of subprogram calls in reverse order:\n"
       "     Routine name                    Error type  Error code\n"
       "     ------------                    ----------  ----------\n"
       "     I2PRK                                5          10    (Called internally)\n"
       "     IVPRK                                0           0\n"
       "     USER                                 0           0\n",
       true},
      {"X changed between intervals",
       [] {
         Driver d;
         d.call_to(1.0f);
         d.x = 0.5f;
         d.ido = 2;
         d.call_to(2.0f);
       },
       "\n"
       " *** TERMINAL ERROR 5 from I2PRK.  Independent variable X = 5.000000E-01 is\n"
       " ***          changed from the previous call.\n"
       "     Here is a traceback of subprogram calls in reverse order:\n"
       "     Routine name                    Error type  Error code\n"
       "     ------------                    ----------  ----------\n"
       "     I2PRK                                5           5    (Called internally)\n"
       "     IVPRK                                0           0\n"
       "     USER                                 0           0\n",
       true},
      {"XEND unchanged",
       [] {
         Driver d;
         d.call_to(1.0f);
         d.ido = 2;
         d.call();
       },
       "\n"
       " *** TERMINAL ERROR 6 from I2PRK.  Final point XEND = 1.000000E+00 is not\n"
       " ***          changed from the previous call.\n"
       "     Here is a traceback of subprogram calls in reverse order:\n"
       "     Routine name                    Error type  Error code\n"
       "     ------------                    ----------  ----------\n"
       "     I2PRK                                5           6    (Called internally)\n"
       "     IVPRK                                0           0\n"
       "     USER                                 0           0\n",
       true},
      {"HMIN above HMAX",
       [] {
         Driver d;
         d.set(param::kHmin, 1.0f);
         d.set(param::kHmax, 0.5f);
         d.call_to(3.0f);
       },
       "\n"
       " *** TERMINAL ERROR 7 from I2PRK.  HMIN = 1.000000E+00 is greater than HMAX =\n"
       " ***          5.000000E-01.\n"
       "     Here is a traceback of subprogram calls in reverse order:\n"
       "     Routine name                    Error type  Error code\n"
       "     ------------                    ----------  ----------\n"
       "     I2PRK                                5           7    (Called internally)\n"
       "     IVPRK                                0           0\n"
       "     USER                                 0           0\n",
       true},
      {"evaluation limit",
       [] {
         Driver d;
         d.set(param::kMaxEvals, 20.0f);
         d.fcn = rkv::odetest::rhs_zero;
         d.call_to(10.0f);
       },
       "\n"
       " *** FATAL    ERROR 2 from IVPRK.  Completion of the next step would make the\n"
       " ***          number of function evaluations 24, but only 20 evaluations are \n"
       " ***          allowed.\n",
       true},
      {"step limit",
       [] {
         Driver d;
         d.set(param::kHmax, 0.001f);
         d.fcn = rkv::odetest::rhs_zero;
         d.call_to(1.0f);
       },
       "\n"
       " *** FATAL    ERROR 3 from IVPRK.  Maximum number of steps allowed, 500,\n"
       " ***          used.  The problem may be stiff.\n",
       true},
      {"tolerance cannot be met",
       [] {
         Driver d;
         d.set(param::kHmin, 0.5f);
         d.tol = 1e-12f;
         d.call_to(3.0f);
       },
       "\n"
       " *** FATAL    ERROR 1 from IVPRK.  Unable to satisfy the error requirement. "
       "\n"
       " ***          TOL = 1.000000E-12 may be too small.\n",
       true},
      {"NaN tolerance refused",
       [] {
         Driver d;
         d.tol = std::numeric_limits<float>::quiet_NaN();
         d.call_to(3.0f);
       },
       "\n"
       " *** TERMINAL ERROR 3 from I2PRK.  The tolerance TOL = NaN.  It must be\n"
       " ***          greater than 0.0.\n"
       "     Here is a traceback of subprogram calls in reverse order:\n"
       "     Routine name                    Error type  Error code\n"
       "     ------------                    ----------  ----------\n"
       "     I2PRK                                5           3    (Called "
       "internally)\n"
       "     IVPRK                                0           0\n"
       "     USER                                 0           0\n",
       true},
      {"NEQ grown beyond the held workspace",
       [] {
         Driver d;
         d.call_to(1.0f);
         d.neq = 2;
         d.y.assign(2, 1.0f);
         d.ido = 2;
         d.call_to(2.0f);
       },
       "\n"
       " *** TERMINAL ERROR 8 from IVPRK.  The required storage cannot be allocated. \n"
       " ***          Workspace allocation based on NEQ = 2.\n",
       true},
      {"an integration opened directly cannot be resumed through the front end",
       [] {
         Direct c;
         c.d.xend = 1.0f;
         c.call();
         c.d.ido = 2;
         c.d.call_to(2.0f);
       },
       "\n"
       " *** TERMINAL ERROR 9 from IVPRK.  IDO has been set to 2, but the routine has\n"
       " ***          not been initialized in a call with IDO = 1.\n",
       true},
  };
  for (const Case& c : cases) check(c);
}

TEST(Reports, StateLeftBehind) {
  const std::vector<Case> cases = {
      {"a failed start keeps the workspace until IDO = 3",
       [] {
         keep_running();
         Driver d;
         d.tol = 0.0f;
         d.call_to(1.0f);
         fact("held " + std::to_string(rkv::ode::front_end_workspace().data != nullptr) + " open " +
              std::to_string(state().initialised) + " ido " + std::to_string(d.ido));
         d.tol = 1e-4f;
         d.ido = 1;
         d.call();
         d.close();
         fact("closed ido " + std::to_string(d.ido));
         d.ido = 1;
         d.call();
         fact("restarted ido " + std::to_string(d.ido) + " x " + num(d.x));
       },
       "\n"
       " *** TERMINAL ERROR 3 from I2PRK.  The tolerance TOL = 0.000000E+00.  It must\n"
       " ***          be greater than 0.0.\n"
       "     Here is a traceback of subprogram calls in reverse order:\n"
       "     Routine name                    Error type  Error code\n"
       "     ------------                    ----------  ----------\n"
       "     I2PRK                                5           3    (Called internally)\n"
       "     IVPRK                                0           0\n"
       "     USER                                 0           0\n"
       " held 1 open 1 ido 1\n"
       "\n"
       " *** TERMINAL ERROR 8 from IVPRK.  The required storage cannot be allocated. \n"
       " ***          Workspace allocation based on NEQ = 1.\n"
       " closed ido 3\n"
       " restarted ido 2 x 1\n",
       false},
      {"a serious error in user code abandons the step",
       [] {
         keep_running();
         Driver d;
         d.fcn = rhs_failing;
         d.set(param::kInitialStep, 0.25f);
         d.call_to(1.0f);
         fact("ido " + std::to_string(d.ido) + " x " + num(d.x) + " y " + num(d.y[0]) +
              " evaluations " + num(d.evaluations()) + " steps " + num(d.steps()));
       },
       "\n"
       " *** FATAL    ERROR 1 from USERLIB.  The user's library failed.\n"
       "     Here is a traceback of subprogram calls in reverse order:\n"
       "     Routine name                    Error type  Error code\n"
       "     ------------                    ----------  ----------\n"
       "     USERLIB                              4           1\n"
       "     I2PRK                                4           1    (Called internally)\n"
       "     IVPRK                                0           0\n"
       "     USER                                 0           0\n"
       " ido 5 x 0.25 y 1.75 evaluations 12 steps 1\n",
       false},
      {"interval and step-size errors leave the integration open",
       [] {
         keep_running();
         Driver d;
         d.call_to(1.0f);
         d.x = 0.5f;
         d.ido = 2;
         d.call_to(2.0f);
         d.x = 1.0f;
         d.call();
         fact("corrected ido " + std::to_string(d.ido) + " x " + num(d.x));
         d.close();
         Driver h;
         h.set(param::kHmin, 1.0f);
         h.set(param::kHmax, 0.5f);
         h.call_to(3.0f);
         h.ido = 2;
         h.call();
         fact("again ido " + std::to_string(h.ido) + " x " + num(h.x));
       },
       "\n"
       " *** TERMINAL ERROR 5 from I2PRK.  Independent variable X = 5.000000E-01 is\n"
       " ***          changed from the previous call.\n"
       "     Here is a traceback of subprogram calls in reverse order:\n"
       "     Routine name                    Error type  Error code\n"
       "     ------------                    ----------  ----------\n"
       "     I2PRK                                5           5    (Called internally)\n"
       "     IVPRK                                0           0\n"
       "     USER                                 0           0\n"
       " corrected ido 2 x 2\n"
       "\n"
       " *** TERMINAL ERROR 7 from I2PRK.  HMIN = 1.000000E+00 is greater than HMAX =\n"
       " ***          5.000000E-01.\n"
       "     Here is a traceback of subprogram calls in reverse order:\n"
       "     Routine name                    Error type  Error code\n"
       "     ------------                    ----------  ----------\n"
       "     I2PRK                                5           7    (Called internally)\n"
       "     IVPRK                                0           0\n"
       "     USER                                 5           5\n"
       "\n"
       " *** TERMINAL ERROR 7 from I2PRK.  HMIN = 1.000000E+00 is greater than HMAX =\n"
       " ***          5.000000E-01.\n"
       "     Here is a traceback of subprogram calls in reverse order:\n"
       "     Routine name                    Error type  Error code\n"
       "     ------------                    ----------  ----------\n"
       "     I2PRK                                5           7    (Called internally)\n"
       "     IVPRK                                0           0\n"
       "     USER                                 5           7\n"
       " again ido 2 x 0\n",
       false},
  };
  for (const Case& c : cases) check(c);
}
