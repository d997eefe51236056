// The start-up services for companion drivers: the refusals they post are
// the integrator's own (type, code and text), and the first trial step they
// compute is the one the integrator takes with its tolerances, and makes
// an integrator without them take the same step.
#include "rkv/ode/companion.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "rkv/errors/control.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/param.hpp"
#include "solver_support.hpp"

namespace {

using rkv::ode::StartRefusal;
using rkv::odetest::LibraryLevel;

template <class R>
void decay(const std::int32_t& neq, const R&, const R* y, R* yp) {
  for (std::int32_t i = 0; i < neq; ++i) yp[i] = -y[i];
}

struct Outcome {
  std::int32_t type;
  std::int32_t code;
  std::string text;
};

template <class Post>
Outcome posted(Post&& post) {
  const LibraryLevel level;
  post();
  return {level.type(), level.code(), std::string(rkv::GETERRTEXT())};
}

// Refusals are TERMINAL: neither printed nor stopping the run here.
template <class R>
class CompanionTyped : public ::testing::Test {
 protected:
  void SetUp() override { rkv::SETERRATTR(rkv::kAllTypes, rkv::kAttrOff, rkv::kAttrOff); }
};
using Reals = ::testing::Types<float, double>;
TYPED_TEST_SUITE(CompanionTyped, Reals);

TYPED_TEST(CompanionTyped, RefusalsAreTheIntegratorsOwn) {
  using R = TypeParam;
  const R nan = std::numeric_limits<R>::quiet_NaN();
  struct Case {
    StartRefusal kind;
    std::int32_t i1, i2;
    R r1;
    std::vector<R> y;
    R rtol;
    std::vector<R> atol;
  };
  const Case cases[] = {
      {StartRefusal::kYNotFinite, 2, 0, nan, {R{1}, nan}, R{1e-3}, {R{1e-6}}},
      {StartRefusal::kRtol, 0, 0, R{-1}, {R{1}}, R{-1}, {R{1e-6}}},
      {StartRefusal::kAtol, 2, 0, R{-2}, {R{1}, R{1}}, R{0}, {R{1}, R{-2}}},
      {StartRefusal::kAtolCount, 2, 3, R{0}, {R{1}, R{1}, R{1}}, R{1e-3}, {R{1}, R{1}}},
      {StartRefusal::kZeroWeight, 1, 1, R{0}, {R{0}}, R{1e-3}, {R{0}}},
  };
  for (const Case& c : cases) {
    rkv::BasicIntegrator<R> it(&decay<R>);
    if (c.atol.size() == 1) {
      it.set_tolerances(c.rtol, c.atol[0]);
    } else {
      it.set_tolerances(c.rtol, c.atol.data(), static_cast<std::int32_t>(c.atol.size()));
    }
    std::array<R, rkv::param::kSize> prm{};
    std::vector<R> y = c.y;
    std::int32_t ido = 1;
    const auto neq = static_cast<std::int32_t>(y.size());
    R x = 0;
    const Outcome own =
        posted([&] { it.integrate(ido, neq, x, R{1}, R{1}, prm.data(), y.data()); });
    const Outcome mine = posted([&] { rkv::ode::post_start_refusal(c.kind, c.i1, c.i2, c.r1); });
    EXPECT_EQ(mine.type, 5);
    EXPECT_NE(mine.text.find("  "), std::string::npos) << mine.text;  // a sentence, expanded
    EXPECT_EQ(mine.type, own.type);
    EXPECT_EQ(mine.code, own.code);
    EXPECT_EQ(mine.text, own.text);
  }
}

// The signed size of the first attempt of an integration paused after it.
template <class R, class Setup>
R first_attempt(Setup&& setup, std::array<R, rkv::param::kSize> prm) {
  rkv::BasicIntegrator<R> it(&decay<R>);
  setup(it);
  rkv::param::set(prm.data(), rkv::param::kPauseAfter, R{1});
  std::array<R, 2> y{R{1}, R{-3}};
  std::int32_t ido = 1;
  const std::int32_t neq = 2;
  R x = 0;
  it.integrate(ido, neq, x, R{1000}, R{1}, prm.data(), y.data());
  return rkv::param::get(prm.data(), rkv::param::kLastStep);
}

TYPED_TEST(CompanionTyped, FirstTrialStepIsTheIntegratorsAndCarriesOver) {
  using R = TypeParam;
  struct Case {
    R rtol;
    std::array<R, 2> atol;
    R hmax, scale, given;
  };
  const Case cases[] = {
      {R{1e-4}, {R{1e-8}, R{1e-8}}, R{0}, R{0}, R{0}},
      {R{0}, {R{1e-9}, R{3e-6}}, R{0}, R{0}, R{0}},
      {R{1e-6}, {R{0}, R{1e-3}}, R{0.7}, R{0}, R{0}},
      {R{2e-5}, {R{1e-3}, R{1e-3}}, R{0}, R{3}, R{0}},
      {R{1e-3}, {R{1e-3}, R{1e-3}}, R{0}, R{0}, R{0.125}},
  };
  for (const Case& c : cases) {
    std::array<R, rkv::param::kSize> prm{};
    rkv::param::set(prm.data(), rkv::param::kHmax, c.hmax);
    rkv::param::set(prm.data(), rkv::param::kScale, c.scale);
    rkv::param::set(prm.data(), rkv::param::kInitialStep, c.given);
    const R largest = std::max(c.atol[0], c.atol[1]);
    const R h = rkv::ode::first_trial_step(R{1}, prm.data(), c.rtol, largest);
    const R own = first_attempt<R>(
        [&](rkv::BasicIntegrator<R>& it) { it.set_tolerances(c.rtol, c.atol.data(), 2); }, prm);
    EXPECT_EQ(h, own);
    // Given as PARAM(1), the same first step without the tolerances.
    rkv::param::set(prm.data(), rkv::param::kInitialStep, h);
    EXPECT_EQ(first_attempt<R>([](rkv::BasicIntegrator<R>&) {}, prm), own);
  }
}

}  // namespace
