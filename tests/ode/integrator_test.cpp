// rkv::Integrator beside IVPRK: a call of one integrator from a second
// thread while a call is in progress is refused and leaves both calls
// intact; integrators own their state, so several can be open at once on
// one thread and a moved integrator goes on where it was.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "rkv/errors/state.hpp"
#include "rkv/host/units.hpp"
#include "rkv/ode/integrator.hpp"
#include "solver_support.hpp"
#include "support/child.hpp"

namespace {

using rkv::odetest::LibraryLevel;
namespace param = rkv::param;

std::uint32_t bits(float v) {
  return std::bit_cast<std::uint32_t>(v);
}

// One integration's arguments, driven through an integrator.
struct Args {
  std::int32_t ido = 1;
  std::int32_t neq = 1;
  float x = 0.0f;
  float y = 1.0f;
  float tol = 1e-5f;
  std::array<float, param::kSize> prm{};
  void on(rkv::Integrator& it, float xend) { it.integrate(ido, neq, x, xend, tol, prm.data(), &y); }
};

// A right-hand side that, on its first evaluation, lets the other thread
// in and waits until it has made its call.
struct Gate {
  std::mutex m;
  std::condition_variable cv;
  int stage = 0;  // 1: the first call is inside; 2: the second call is done
  void wait_for(int s) {
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return stage >= s; });
  }
  void reach(int s) {
    {
      const std::lock_guard<std::mutex> lock(m);
      stage = s;
    }
    cv.notify_all();
  }
};

// Runs in a forked child with the TERMINAL stop off: the refusal's report
// is printed (how its traceback looks depends on whether the threads share
// the error state), the facts after it are compared.
void second_thread_refused() {
  rkv::E1ERRSTATE().stop_attr(5) = 0;
  Gate gate;
  int evaluations = 0;
  rkv::Integrator it([&](const std::int32_t& n, const float& x, const float* y, float* yp) {
    rkv::odetest::rhs_decay(n, x, y, yp);
    if (++evaluations == 1) {
      gate.reach(1);
      gate.wait_for(2);
    }
  });
  Args first;
  std::thread t([&] { first.on(it, 1.0f); });

  gate.wait_for(1);
  Args second;
  second.prm.fill(-7.0f);
  std::int32_t type = 0, code = 0;
  {
    LibraryLevel quiet;
    second.on(it, 2.0f);
    type = quiet.type();
    code = quiet.code();
  }
  gate.reach(2);
  t.join();

  // The first call went on undisturbed: the bits of IVPRK's.
  rkv::odetest::Driver d;
  d.fcn = rkv::odetest::rhs_decay;
  d.tol = first.tol;
  d.call_to(1.0f);
  const bool same = first.ido == 2 && bits(first.y) == bits(d.y[0]) &&
                    first.prm[param::kEvaluations - 1] == d.evaluations();
  rkv::host::write_line(rkv::host::kStdoutUnit,
                        "refused " + std::to_string(type) + " " + std::to_string(code) + " ido " +
                            std::to_string(second.ido) + " x " + std::to_string(second.x) + " y " +
                            std::to_string(second.y) + " param(35) " +
                            std::to_string(second.prm[param::kEvaluations - 1]) +
                            " first as alone " + std::to_string(same));
}

TEST(Integrator, UseFromASecondThreadDuringACallIsRefused) {
  const rkv::testing::ChildResult r = rkv::testing::run_in_child(second_thread_refused);
  EXPECT_EQ(r.status, rkv::testing::kBodyReturned);
  EXPECT_NE(r.out.find(" *** TERMINAL ERROR 11 from IVPRK.  IVPRK is already in use."),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(" refused 5 11 ido 1 x 0.000000 y 1.000000 param(35) -7.000000 first as "
                       "alone 1\n"),
            std::string::npos)
      << r.out;
}

TEST(Integrator, OpenIntegrationsAreIndependentAndSurviveAMove) {
  rkv::Integrator a(rkv::odetest::rhs_decay);
  rkv::Integrator b(rkv::odetest::rhs_grow);
  Args ra, rb;
  ra.on(a, 0.5f);
  rb.on(b, 0.5f);
  rkv::Integrator moved(std::move(a));
  ra.ido = 2;
  ra.on(moved, 1.0f);
  rb.ido = 2;
  rb.on(b, 1.0f);
  // Each as if it had run alone through IVPRK.
  for (const auto& [f, r] : {std::pair<rkv::RhsFunction, Args>{rkv::odetest::rhs_decay, ra},
                             std::pair<rkv::RhsFunction, Args>{rkv::odetest::rhs_grow, rb}}) {
    rkv::odetest::Driver d;
    d.fcn = f;
    d.tol = r.tol;
    d.call_to(0.5f);
    d.ido = 2;
    d.call_to(1.0f);
    EXPECT_EQ(bits(r.y), bits(d.y[0]));
    EXPECT_EQ(r.prm[param::kAcceptedSteps - 1], d.steps());
    d.close();
  }
}

}  // namespace
