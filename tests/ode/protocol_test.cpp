// The status protocol and the stepping loop of IVPRK/I2PRK: start, landing
// on XEND, direction, pauses and the exchange of Y, the step and evaluation
// limits, the settings and the statistics in PARAM(31..35).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "solver_support.hpp"
#include "step/step_control.hpp"

namespace {

using rkv::ode::ErrorPoint;
using rkv::odetest::Driver;
using rkv::odetest::last_error;
using rkv::odetest::LibraryLevel;
using rkv::odetest::state;
namespace param = rkv::param;

// Every test leaves the process-wide solver closed, even when it fails.
class Protocol : public ::testing::Test {
 protected:
  void TearDown() override {
    if (state().initialised != 0 || rkv::ode::front_end_workspace().data != nullptr) {
      LibraryLevel quiet;
      d.close();
    }
  }
  Driver d;
};

TEST_F(Protocol, ZeroLengthStartTakesOneStepOfLengthZero) {
  d.fcn = rkv::odetest::rhs_grow;
  d.call_to(0.0f);
  EXPECT_EQ(d.ido, 2);
  EXPECT_EQ(d.steps(), 1.0f);
  EXPECT_EQ(d.evaluations(), 8.0f);
  EXPECT_EQ(d.last_step(), 0.0f);
  EXPECT_EQ(d.y[0], 1.0f);
  // The step magnitude is now 0, so the next choice yields HMIN.
  EXPECT_EQ(state().h, 0.0f);
  const float hmin = d.get(param::kHminUsed);
  EXPECT_EQ(hmin, static_cast<float>(10.0 * 0x1p-126));
  d.call_to(1.0f);
  EXPECT_EQ(d.ido, 2);
  EXPECT_EQ(d.x, 1.0f);
}

TEST_F(Protocol, FirstTrialStepIsTheInitialStepOrHmaxTimesTolToTheSixth) {
  struct Case {
    float initial, hmin, hmax, tol, expected;
  };
  const float derived = static_cast<float>(
      2.0 * std::pow(static_cast<double>(1e-6f), static_cast<double>(rkv::ode::kSixth)));
  const std::vector<Case> cases = {
      {0.3f, 0.0f, 0.0f, 1e-6f, 0.3f},
      {0.0f, 0.0f, 0.0f, 1e-6f, derived},
      {5.0f, 0.0f, 1.0f, 1e-6f, 1.0f},      // clamped to HMAX
      {1e-12f, 1e-3f, 0.0f, 1e-6f, 1e-3f},  // raised to HMIN
  };
  for (const Case& c : cases) {
    Driver p;
    p.set(param::kInitialStep, c.initial);
    p.set(param::kHmin, c.hmin);
    p.set(param::kHmax, c.hmax);
    p.set(param::kPauseBefore, 1.0f);
    p.tol = c.tol;
    p.call_to(10.0f);
    EXPECT_EQ(p.ido, 4);
    EXPECT_EQ(state().h, c.expected) << c.initial;
    EXPECT_EQ(p.evaluations(), 1.0f);  // k1 only
    p.close();
  }
}

TEST_F(Protocol, DefaultHminAndSettingsInUse) {
  d.fcn = rkv::odetest::rhs_zero;
  d.call_to(0.1f);
  EXPECT_EQ(d.get(param::kHminUsed),
            static_cast<float>(10.0 * 0x1p-23 * static_cast<double>(0.1f)));
  EXPECT_EQ(d.get(param::kHmaxUsed), 2.0f);
  d.close();

  struct Case {
    float hmax, scale, expected;
  };
  for (const Case& c : std::vector<Case>{
           {5.0f, 0.0f, 5.0f}, {5.0f, 1.0f, 2.0f}, {5.0f, 0.5f, 4.0f}, {0.0f, 4.0f, 0.5f}}) {
    Driver p;
    p.fcn = rkv::odetest::rhs_zero;
    p.set(param::kHmax, c.hmax);
    p.set(param::kScale, c.scale);
    p.call_to(1.0f);
    EXPECT_EQ(p.get(param::kHmaxUsed), c.expected) << c.hmax << " " << c.scale;
    p.close();
  }
  // INORM is the truncated entry; 3.4 rounds to 3 and is admitted.
  for (const auto& [entry, inorm] :
       std::vector<std::pair<float, std::int32_t>>{{3.4f, 3}, {0.9f, 0}, {2.0f, 2}, {1.5f, 1}}) {
    Driver p;
    p.set(param::kInorm, entry);
    p.call_to(0.5f);
    EXPECT_EQ(p.ido, 2);
    EXPECT_EQ(state().settings.inorm, inorm) << entry;
    p.close();
  }
}

TEST_F(Protocol, IntervalsLandExactlyOnXendInBothDirections) {
  d.tol = 1e-6f;
  const std::vector<float> ends = {0.1f, 0.3f, 1.0f, 0.7f, -0.2f};
  for (float end : ends) {
    d.call_to(end);
    ASSERT_EQ(d.ido, 2);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(d.x), std::bit_cast<std::uint32_t>(end));
    EXPECT_NEAR(d.y[0], std::exp(static_cast<double>(end)), 2e-5) << end;
    if (end < 0.0f) {
      EXPECT_LT(d.last_step(), 0.0f);
    }
    d.ido = 2;
  }
  // The counts run on across IDO = 2 calls since IDO = 1.
  EXPECT_GT(d.steps(), 5.0f);
  EXPECT_EQ(state().accepted, static_cast<std::int32_t>(d.steps()));
}

TEST_F(Protocol, PauseAfterShowsTheCandidateAndTheAnswerDecides) {
  d.set(param::kPauseAfter, 1.0f);
  d.set(param::kInitialStep, 0.6f);
  d.set(param::kHmax, 1.0f);
  d.fcn = rkv::odetest::rhs_three;
  d.y = {1.0f};
  d.call_to(1.0f);
  // The first trial step 0.6 lies between half and all of the distance:
  // cut to 0.5. Y shows the candidate at 0.5 while X stays.
  ASSERT_EQ(d.ido, 5);
  EXPECT_EQ(d.x, 0.0f);
  EXPECT_EQ(d.last_step(), 0.5f);
  EXPECT_NEAR(d.y[0], 2.5f, 1e-6);
  EXPECT_EQ(d.evaluations(), 8.0f);

  // Veto: answer 6 to the 5. Y and X stay at the start; k1 is reused.
  d.answer(6);
  EXPECT_EQ(d.x, 0.0f);
  EXPECT_EQ(d.evaluations(), 15.0f);
  ASSERT_EQ(d.ido, 5);
  EXPECT_NEAR(d.y[0], 1.0f + 3.0f * d.last_step(), 1e-6);

  // The retry's trial step came from E of the vetoed attempt (one rejection
  // in the run), so it doubled and now reaches XEND. Accepting it ends the
  // interval.
  EXPECT_EQ(d.last_step(), 1.0f);
  d.answer(5);
  EXPECT_EQ(d.ido, 2);
  EXPECT_EQ(d.x, 1.0f);
  EXPECT_EQ(d.steps(), 1.0f);
  EXPECT_NEAR(d.y[0], 4.0f, 1e-6);
}

TEST_F(Protocol, LastTwoStepsOfAnIntervalAreEqual) {
  d.set(param::kPauseAfter, 1.0f);
  d.set(param::kInitialStep, 0.6f);
  d.set(param::kHmax, 1.0f);
  d.fcn = rkv::odetest::rhs_zero;
  d.call_to(1.0f);
  std::vector<float> steps;
  while (d.ido == 5) {
    steps.push_back(d.last_step());
    d.answer(5);
  }
  EXPECT_EQ(d.ido, 2);
  EXPECT_EQ(steps, (std::vector<float>{0.5f, 0.5f}));
}

TEST_F(Protocol, PauseBeforeEachStepReturnsFour) {
  d.set(param::kPauseBefore, 1.0f);
  d.fcn = rkv::odetest::rhs_zero;
  d.call_to(4.0f);
  std::int32_t pauses = 0;
  while (d.ido == 4) {
    ++pauses;
    EXPECT_EQ(d.evaluations(), static_cast<float>(8 * (pauses - 1) + 1));
    d.answer(4);
  }
  EXPECT_EQ(d.ido, 2);
  EXPECT_EQ(d.x, 4.0f);
  EXPECT_EQ(static_cast<float>(pauses), d.steps());
}

TEST_F(Protocol, RejectedAttemptIsRetriedWithSevenEvaluations) {
  d.set(param::kPauseAfter, 1.0f);
  d.set(param::kInitialStep, 2.0f);
  d.tol = 1e-7f;
  d.call_to(8.0f);
  ASSERT_EQ(d.ido, 6);  // far too long for y' = y
  EXPECT_EQ(d.y[0], d.y[0]);
  const float first = d.last_step();
  d.answer(6);
  EXPECT_EQ(d.evaluations(), 15.0f);
  EXPECT_EQ(d.x, 0.0f);
  EXPECT_LT(d.last_step(), first);
  // Answering 5 to a rejected attempt accepts it all the same.
  const float h = d.last_step();
  while (d.ido == 6) d.answer(6);
  d.answer(5);
  EXPECT_GE(d.x, 0.0f);
  EXPECT_LE(d.x, h);
}

TEST_F(Protocol, StepLimitDefaultsTo500AndHoldsAcrossCalls) {
  d.fcn = rkv::odetest::rhs_zero;
  d.set(param::kHmax, 0.001f);
  LibraryLevel quiet;
  d.call_to(0.4f);
  ASSERT_EQ(d.ido, 2);
  d.call_to(1.0f);
  EXPECT_EQ(last_error(), ErrorPoint::kStepLimit);
  EXPECT_EQ(quiet.type(), 4);
  EXPECT_EQ(quiet.code(), 3);
  EXPECT_EQ(d.steps(), 500.0f);
  const float x = d.x;
  const float evaluations = d.evaluations();
  EXPECT_GT(x, 0.4f);
  EXPECT_LT(x, 1.0f);
  // A further call meets the limit at once, before calling the RHS.
  d.ido = 2;
  d.call();
  EXPECT_EQ(last_error(), ErrorPoint::kStepLimit);
  EXPECT_EQ(d.evaluations(), evaluations);
  EXPECT_EQ(d.x, x);
}

TEST_F(Protocol, StepLimitSetting) {
  struct Case {
    float entry;
    float steps;  // 0: more than the default limit of 500
    ErrorPoint error;
  };
  for (const Case& c : std::vector<Case>{{1.0f, 1.0f, ErrorPoint::kStepLimit},
                                         {1.9f, 1.0f, ErrorPoint::kStepLimit},
                                         {0.5f, 0.0f, ErrorPoint::kNone},
                                         {3.0e10f, 0.0f, ErrorPoint::kNone}}) {
    Driver p;
    p.fcn = rkv::odetest::rhs_zero;
    p.set(param::kHmax, 0.001f);
    p.set(param::kMaxSteps, c.entry);
    LibraryLevel quiet;
    p.call_to(1.0f);
    EXPECT_EQ(last_error(), c.error) << c.entry;
    if (c.steps > 0.0f) {
      EXPECT_EQ(p.steps(), c.steps) << c.entry;
    } else {
      EXPECT_GE(p.steps(), 1000.0f) << c.entry;
      EXPECT_EQ(p.x, 1.0f);
    }
    p.close();
  }
}

TEST_F(Protocol, EvaluationLimitCountsTheNextAttempt) {
  struct Case {
    float limit;
    float evaluations;
    float steps;
  };
  for (const Case& c :
       std::vector<Case>{{8.0f, 8.0f, 1.0f}, {7.0f, 0.0f, 0.0f}, {23.9f, 16.0f, 2.0f}}) {
    Driver p;
    p.fcn = rkv::odetest::rhs_zero;
    p.set(param::kMaxEvals, c.limit);
    LibraryLevel quiet;
    p.call_to(10.0f);
    EXPECT_EQ(last_error(), ErrorPoint::kEvaluationLimit) << c.limit;
    EXPECT_EQ(quiet.type(), 4);
    EXPECT_EQ(quiet.code(), 2);
    EXPECT_EQ(p.evaluations(), c.evaluations) << c.limit;
    EXPECT_EQ(p.steps(), c.steps) << c.limit;
    p.close();
  }
}

TEST_F(Protocol, UnreachableToleranceEndsTheCallAtTheLastAcceptedPoint) {
  d.set(param::kHmin, 0.5f);
  d.set(param::kInitialStep, 0.5f);
  d.tol = 1e-12f;
  LibraryLevel quiet;
  d.call_to(3.0f);
  EXPECT_EQ(last_error(), ErrorPoint::kToleranceUnmet);
  EXPECT_EQ(quiet.type(), 4);
  EXPECT_EQ(quiet.code(), 1);
  EXPECT_EQ(d.x, 0.0f);
  EXPECT_EQ(d.y[0], 1.0f);
  EXPECT_EQ(state().rejections, 1);
  EXPECT_EQ(state().h, 0.5f);
}

TEST_F(Protocol, NonFiniteEndPointEndsWithAnErrorInsteadOfLooping) {
  // Start-up refuses a non-finite XEND; a later interval meets the loop's
  // own guard.
  LibraryLevel quiet;
  d.call_to(0.5f);
  const float y = d.y[0];
  d.ido = 2;
  d.call_to(std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(last_error(), ErrorPoint::kToleranceUnmet);
  EXPECT_EQ(d.x, 0.5f);
  EXPECT_EQ(d.y[0], y);
}

TEST_F(Protocol, ClosingReleasesTheWorkspaceAndWritesTheStatistics) {
  d.neq = 3;
  d.y = {1.0f, 2.0f, 3.0f};
  d.call_to(0.5f);
  ASSERT_EQ(d.ido, 2);
  EXPECT_EQ(rkv::ode::front_end_workspace().size, 30u);
  d.set(param::kAcceptedSteps, -1.0f);
  d.close();
  EXPECT_EQ(d.ido, 3);
  EXPECT_EQ(rkv::ode::front_end_workspace().data, nullptr);
  EXPECT_EQ(state().initialised, 0);
  EXPECT_EQ(d.steps(), static_cast<float>(state().accepted));
  // A new start is possible at once.
  Driver p;
  p.call_to(0.5f);
  EXPECT_EQ(p.ido, 2);
  p.close();
}

}  // namespace
