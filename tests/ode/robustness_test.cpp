// Regression tests: the integrator objects under ordinary C++ use. Each test
// is named after the fault it guards against: exceptions from user code that
// left names on the stack and the observer attached, a DenseOutput that
// dangled after its integrator moved or went, lists changed under a call,
// a race on the observer, worker threads that could not keep control, and a
// failed call that could pass as a success.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "rkv/errors/control.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/state.hpp"
#include "rkv/ode/dense_output.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/ivprk.hpp"
#include "rkv/ode/param.hpp"
#include "support/child.hpp"

namespace {

namespace param = rkv::param;

struct Thrown : std::runtime_error {
  Thrown() : std::runtime_error("thrown by user code") {}
};

// One integration's arguments: y1' = y2, y2' = -y1 from (1, 0).
struct Args {
  std::int32_t ido = 1;
  std::int32_t neq = 2;
  float x = 0.0f;
  std::array<float, 2> y = {1.0f, 0.0f};
  float tol = 1e-5f;
  std::array<float, param::kSize> prm{};
};

void oscillator(const std::int32_t&, const float&, const float* y, float* yp) {
  yp[0] = y[1];
  yp[1] = -y[0];
}

// Stops and printing off for the test, the defaults back afterwards.
class Quiet : public ::testing::Test {
 protected:
  void SetUp() override { rkv::SETERRATTR(rkv::kAllTypes, rkv::kAttrOff, rkv::kAttrOff); }
  void TearDown() override {
    static constexpr std::int32_t kPrint[] = {0, 0, 1, 1, 1, 1, 1};
    static constexpr std::int32_t kStop[] = {0, 0, 0, 1, 1, 0, 1};
    for (std::int32_t t = 1; t <= 7; ++t) rkv::SETERRATTR(t, kPrint[t - 1], kStop[t - 1]);
  }
  // The code recorded by the routine that last returned to the test.
  static std::int32_t last_code() {
    const rkv::ErrorState& e = rkv::E1ERRSTATE();
    return e.level_code(e.level + 1);
  }
  static void expect_clean_stack() {
    const rkv::ErrorState& e = rkv::E1ERRSTATE();
    EXPECT_EQ(e.level, 1);
    for (std::int32_t l = 2; l <= 6; ++l) EXPECT_EQ(e.user_level(l), 0) << "level " << l;
  }
};

// ---- exceptions -----------------------------------------------------------

// The ways a throw can leave the library: the right-hand side of IVPRK, of an
// Integrator and of a DenseOutput call, an event function, and the norm
// routine of a direct call of I2PRK.
enum class Through { kIvprk, kIntegrator, kDenseRhs, kDenseEvent, kI2prkNorm };

class ThrowThrough : public Quiet, public ::testing::WithParamInterface<Through> {};

TEST_P(ThrowThrough, ThrowFromRightHandSideLeavesNameStackAtCallersLevel) {
  // The evaluation of the right-hand side, or of the event function, that throws.
  static thread_local std::int32_t rhs_countdown = 0;
  static thread_local std::int32_t event_countdown = 0;
  static thread_local std::int32_t norm_countdown = 0;
  auto rhs = [](const std::int32_t& n, const float& x, const float* y, float* yp) {
    if (--rhs_countdown == 0) throw Thrown();
    oscillator(n, x, y, yp);
  };
  auto event = [](void*, const std::int32_t&, const float& x, const float*, const float*) {
    if (--event_countdown == 0) throw Thrown();
    return x - 0.75f;
  };
  auto norm = [](const std::int32_t& n, const float* v, const float* y, const float* w, float& e) {
    if (--norm_countdown == 0) throw Thrown();
    rkv::I2ERRNRM(n, v, y, w, e);
  };
  std::int32_t& countdown = GetParam() == Through::kDenseEvent  ? event_countdown
                            : GetParam() == Through::kI2prkNorm ? norm_countdown
                                                                : rhs_countdown;
  rhs_countdown = event_countdown = norm_countdown = 1000000;
  std::array<float, 20> wk{};  // 10*NEQ for I2PRK
  rkv::Integrator it{rhs};
  rkv::DenseOutput dense(it);
  const bool via_dense = GetParam() == Through::kDenseRhs || GetParam() == Through::kDenseEvent;
  if (GetParam() == Through::kDenseEvent) {
    const rkv::Event e{event, nullptr, rkv::Crossing::kEither, false};
    dense.set_events(&e, 1);
  }
  std::array<float, 8> out_y{};
  const std::array<float, 4> out_x = {0.9f, 0.95f, 0.97f, 0.99f};
  Args a;
  auto call = [&](float xend) {
    switch (GetParam()) {
      case Through::kIvprk:
        rkv::IVPRK(a.ido, a.neq, +rhs, a.x, xend, a.tol, a.prm.data(), a.y.data());
        return std::int32_t{0};
      case Through::kI2prkNorm:
        rkv::I2PRK(a.ido, a.neq, +rhs, a.x, xend, a.tol, a.prm.data(), a.y.data(), +norm,
                   wk.data());
        return std::int32_t{0};
      case Through::kIntegrator:
        return it.integrate(a.ido, a.neq, a.x, xend, a.tol, a.prm.data(), a.y.data());
      default:
        return dense.integrate(a.ido, a.neq, a.x, xend, a.tol, a.prm.data(), a.y.data());
    }
  };
  call(0.5f);
  ASSERT_EQ(a.ido, 2);
  for (int k = 0; k < 1000; ++k) {
    // Within the first step: 8 evaluations, 2 event values, 1 norm.
    countdown = 1 + k % (GetParam() == Through::kDenseEvent  ? 2
                         : GetParam() == Through::kI2prkNorm ? 1
                                                             : 5);
    a.ido = 2;
    if (via_dense) dense.set_output(out_x.data(), 4, out_y.data());
    EXPECT_THROW(call(1.0f), Thrown);
  }
  expect_clean_stack();
  // A direct call after a throw through the DenseOutput no longer feeds it.
  rhs_countdown = event_countdown = norm_countdown = 1000000;
  a.ido = 2;
  const std::int32_t outcome =
      via_dense ? it.integrate(a.ido, a.neq, a.x, 1.0f, a.tol, a.prm.data(), a.y.data())
                : call(1.0f);
  EXPECT_EQ(outcome, 0);
  EXPECT_EQ(a.ido, 2);
  EXPECT_EQ(a.x, 1.0f);
  EXPECT_NEAR(a.y[0], std::cos(1.0f), 1e-4f);
  EXPECT_EQ(out_y, (std::array<float, 8>{}));
  a.ido = 3;
  EXPECT_EQ(call(1.0f), 0);
  expect_clean_stack();
}

INSTANTIATE_TEST_SUITE_P(Objects, ThrowThrough,
                         ::testing::Values(Through::kIvprk, Through::kIntegrator,
                                           Through::kDenseRhs, Through::kDenseEvent,
                                           Through::kI2prkNorm));

// ---- lifetimes and moves --------------------------------------------------

using Lifetimes = Quiet;

TEST_F(Lifetimes, DenseOutputFollowsItsIntegratorThroughAVectorThatGrows) {
  std::vector<rkv::Integrator> its;
  its.reserve(1);
  its.emplace_back(oscillator);
  rkv::DenseOutput dense(its[0]);
  for (int k = 0; k < 8; ++k) its.emplace_back(oscillator);  // moves its[0]
  const float xo = 0.5f;
  std::array<float, 2> yo{};
  dense.set_output(&xo, 1, yo.data());
  Args a;
  EXPECT_EQ(dense.integrate(a.ido, a.neq, a.x, 1.0f, a.tol, a.prm.data(), a.y.data()), 0);
  EXPECT_EQ(a.x, 1.0f);
  EXPECT_NEAR(yo[0], std::cos(0.5f), 1e-4f);
}

TEST_F(Lifetimes, DenseOutputOverAReplacedOrDestroyedIntegratorIsRefused) {
  auto it = std::make_unique<rkv::Integrator>(oscillator);
  auto replaced = std::make_unique<rkv::DenseOutput>(*it);
  Args a;
  EXPECT_EQ(replaced->integrate(a.ido, a.neq, a.x, 0.5f, a.tol, a.prm.data(), a.y.data()), 0);
  *it = rkv::Integrator(oscillator);  // the integration the DenseOutput used is gone
  a.ido = 2;
  EXPECT_EQ(replaced->integrate(a.ido, a.neq, a.x, 1.0f, a.tol, a.prm.data(), a.y.data()), 5);
  EXPECT_EQ(last_code(), 10);
  EXPECT_EQ(a.x, 0.5f);
  rkv::DenseOutput outlives(*it);
  it.reset();
  a.ido = 2;
  EXPECT_EQ(outlives.integrate(a.ido, a.neq, a.x, 1.0f, a.tol, a.prm.data(), a.y.data()), 5);
  EXPECT_EQ(last_code(), 10);
}

// What an event function does to its own DenseOutput during the call.
using Meddle = std::function<void(rkv::DenseOutput&)>;

TEST_F(Lifetimes, EventFunctionChangingItsOwnDenseOutputIsRefused) {
  static const rkv::Event kPlain{[](void*, const std::int32_t&, const float& x, const float*,
                                    const float*) { return x - 2.0f; },
                                 nullptr, rkv::Crossing::kEither, false};
  static const float kX = 0.9f;
  static std::array<float, 2> y_out{};
  const std::vector<Meddle> cases = {
      [](rkv::DenseOutput& d) { d.set_events(&kPlain, 1); },
      [](rkv::DenseOutput& d) { d.set_output(&kX, 1, y_out.data()); },
      [](rkv::DenseOutput& d) { d.clear_events(); },
      [](rkv::DenseOutput& d) {
        Args b;
        d.integrate(b.ido, b.neq, b.x, 1.0f, b.tol, b.prm.data(), b.y.data());
      },
  };
  for (std::size_t c = 0; c < cases.size(); ++c) {
    struct Context {
      rkv::DenseOutput* dense;
      const Meddle* meddle;
      std::int32_t code = -1;
    };
    rkv::Integrator it(oscillator);
    rkv::DenseOutput dense(it);
    Context ctx{&dense, &cases[c]};
    const rkv::Event e{
        [](void* p, const std::int32_t&, const float& x, const float*, const float*) {
          auto& k = *static_cast<Context*>(p);
          if (k.code < 0) {
            (*k.meddle)(*k.dense);
            const rkv::ErrorState& s = rkv::E1ERRSTATE();
            k.code = s.level_code(s.level + 1);
          }
          return x - 0.25f;
        },
        &ctx, rkv::Crossing::kEither, false};
    dense.set_events(&e, 1);
    // The refusal, posted from the event function, ends the call at the
    // last accepted point; the next goes on and finds the event.
    Args a;
    EXPECT_EQ(dense.integrate(a.ido, a.neq, a.x, 1.0f, a.tol, a.prm.data(), a.y.data()), 5);
    EXPECT_EQ(ctx.code, 9) << "case " << c;
    a.ido = 2;
    EXPECT_EQ(dense.integrate(a.ido, a.neq, a.x, 1.0f, a.tol, a.prm.data(), a.y.data()), 0);
    EXPECT_EQ(a.ido, rkv::kIdoEvents) << "case " << c;
    ASSERT_EQ(dense.event_count(), 1) << "case " << c;
    EXPECT_NEAR(dense.event(0).x, 0.25f, 1e-6f) << "case " << c;
  }
}

TEST_F(Lifetimes, MovedFromNullOrBusyIntegratorIsRefusedWithAReport) {
  Args a;
  rkv::Integrator moved(oscillator);
  rkv::Integrator taker(std::move(moved));
  rkv::Integrator null_fn(rkv::RhsFunction{nullptr});
  rkv::Integrator null_ctx(rkv::RhsContextFunction{nullptr}, nullptr);
  const std::initializer_list<std::pair<rkv::Integrator*, std::int32_t>> cases = {
      {&moved, 22}, {&null_fn, 21}, {&null_ctx, 21}};
  for (auto [it, code] : cases) {
    a.ido = 1;
    EXPECT_EQ(it->integrate(a.ido, a.neq, a.x, 1.0f, a.tol, a.prm.data(), a.y.data()), 5);
    EXPECT_EQ(last_code(), code);
    EXPECT_EQ(a.x, 0.0f);
  }
  // Assignment to the integrator from its own right-hand side.
  struct Self {
    rkv::Integrator* it = nullptr;
    std::int32_t code = -1;
  } self;
  rkv::Integrator busy([&self](const std::int32_t& n, const float& x, const float* y, float* yp) {
    if (self.code < 0) {
      *self.it = rkv::Integrator(oscillator);
      const rkv::ErrorState& s = rkv::E1ERRSTATE();
      self.code = s.level_code(s.level + 1);
    }
    oscillator(n, x, y, yp);
  });
  self.it = &busy;
  // The refusal, posted from the right-hand side, ends the call; the
  // integrator is intact and goes on.
  Args b;
  EXPECT_EQ(busy.integrate(b.ido, b.neq, b.x, 1.0f, b.tol, b.prm.data(), b.y.data()), 5);
  EXPECT_EQ(self.code, 23);
  b.ido = 2;
  EXPECT_EQ(busy.integrate(b.ido, b.neq, b.x, 1.0f, b.tol, b.prm.data(), b.y.data()), 0);
  EXPECT_EQ(b.x, 1.0f);
}

TEST(LifetimesDeath, IntegratorDestroyedFromItsRightHandSideEndsTheProcess) {
  const rkv::testing::ChildResult r = rkv::testing::run_in_child([] {
    rkv::Integrator* it = nullptr;
    it = new rkv::Integrator(
        [&it](const std::int32_t&, const float&, const float*, float*) { delete it; });
    Args a;
    it->integrate(a.ido, a.neq, a.x, 1.0f, a.tol, a.prm.data(), a.y.data());
  });
  EXPECT_FALSE(r.exited);
  EXPECT_NE(r.err.find("rkv::Integrator destroyed while a call of it is in progress"),
            std::string::npos)
      << r.err;
}

// ---- threads --------------------------------------------------------------

// Run under ThreadSanitizer: the observer was attached and detached outside
// the in-use flag, while a direct call on another thread read it.

using Threads = Quiet;

TEST_F(Threads, DirectCallRacingADenseOutputCallSharesNothingWithIt) {
  rkv::Integrator it(oscillator);
  rkv::DenseOutput dense(it);
  std::array<float, 2> out{};
  const float xo = 0.25f;
  std::atomic<bool> done{false};
  std::atomic<int> direct_calls{0};
  std::thread other([&] {
    rkv::SETERRATTR(rkv::kAllTypes, rkv::kAttrOff, rkv::kAttrOff);
    while (!done.load()) {
      Args b;
      b.ido = 2;
      it.integrate(b.ido, b.neq, b.x, 3.0f, b.tol, b.prm.data(), b.y.data());
      direct_calls.fetch_add(1);
    }
  });
  // Both sides keep calling until each has made a few hundred calls.
  for (int k = 0; k < 200 || direct_calls.load() < 200; ++k) {
    Args a;
    dense.set_output(&xo, 1, out.data());
    dense.integrate(a.ido, a.neq, a.x, 0.5f, a.tol, a.prm.data(), a.y.data());
    a.ido = 3;
    dense.integrate(a.ido, a.neq, a.x, 0.5f, a.tol, a.prm.data(), a.y.data());
  }
  done.store(true);
  other.join();
}

TEST(ThreadsChild, WorkerThreadsStartFromTheProcessWideInitialAttributes) {
  const rkv::testing::ChildResult r = rkv::testing::run_in_child([] {
    rkv::SETINITATTR(rkv::kAllTypes, rkv::kAttrOff, rkv::kAttrOff);
    std::int32_t outcome = -1;
    std::thread worker([&] {
      rkv::Integrator it(oscillator);
      Args a;
      param::set(a.prm.data(), param::kMaxSteps, 3.0f);
      outcome = it.integrate(a.ido, a.neq, a.x, 200.0f, a.tol, a.prm.data(), a.y.data());
    });
    worker.join();
    std::int32_t print = -1, stop = -1;
    rkv::GETINITATTR(rkv::kFatal, print, stop);
    std::printf("worker outcome %d, initial FATAL %d %d\n", outcome, print, stop);
    std::fflush(stdout);
  });
  EXPECT_TRUE(r.returned) << r.out;
  EXPECT_EQ(r.out, "worker outcome 4, initial FATAL 0 0\n");
}

// ---- outcomes -------------------------------------------------------------

using Outcome = Quiet;

TEST_F(Outcome, FailedCallReturningIdoTwoReportsItsOutcome) {
  rkv::Integrator it(oscillator);
  rkv::DenseOutput dense(it);
  using Call = std::function<std::int32_t(Args&, float)>;
  const std::vector<Call> objects = {
      [&](Args& a, float xend) {
        return it.integrate(a.ido, a.neq, a.x, xend, a.tol, a.prm.data(), a.y.data());
      },
      [&](Args& a, float xend) {
        return dense.integrate(a.ido, a.neq, a.x, xend, a.tol, a.prm.data(), a.y.data());
      },
  };
  for (const Call& call : objects) {
    Args a;
    param::set(a.prm.data(), param::kMaxSteps, 5.0f);
    EXPECT_EQ(call(a, 1.0e-3f), 0);
    a.ido = 2;
    EXPECT_EQ(call(a, 200.0f), 4);  // the step limit; IDO holds the value of the moment
    EXPECT_LT(a.x, 200.0f);
    a.ido = 3;
    EXPECT_EQ(call(a, 200.0f), 0);
  }
}

// ---- event settings and callables ------------------------------------------

using Events = Quiet;

TEST_F(Events, SettingsThatCannotLocateAnythingAreRefused) {
  rkv::Integrator it(oscillator);
  rkv::DenseOutput dense(it);
  // The first zero of y1 = cos x, through a lambda.
  const auto first_component = [](const std::int32_t&, const float&, const float* y, const float*) {
    return y[0];
  };
  const rkv::Event e = rkv::make_event(first_component, rkv::Crossing::kFalling, true);
  struct Case {
    rkv::EventSettings settings;
    std::int32_t code;
  };
  for (const Case& c : {Case{{4, 0}, 12}, Case{{-1, 200}, 11}, Case{{65537, 200}, 11}}) {
    dense.set_events(&e, 1, c.settings);
    EXPECT_EQ(last_code(), c.code);
  }
  dense.set_events(&e, 1, {rkv::kMaxBracketUlps, 1});
  EXPECT_EQ(last_code(), 0);
  dense.set_events(&e, 1);
  Args a;
  a.tol = 1e-6f;
  dense.integrate(a.ido, a.neq, a.x, 4.0f, a.tol, a.prm.data(), a.y.data());
  ASSERT_TRUE(dense.ended());
  EXPECT_NEAR(a.x, 1.5707964f, 1e-4f);
  a.ido = 1;  // a new start before closing
  EXPECT_EQ(dense.integrate(a.ido, a.neq, a.x, 4.0f, a.tol, a.prm.data(), a.y.data()), 5);
  EXPECT_EQ(last_code(), 7);
}

}  // namespace
