// An ensemble of trajectory-model members integrated on several threads at
// once, each through its own integrator with its record as context, gives
// every member the bits it gets when integrated alone on one thread through
// IVPRK with the program's record holding the member's values.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <thread>
#include <vector>

#include "model.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/ivprk.hpp"
#include "rkv/ode/param.hpp"

namespace rkv::app {
namespace {

constexpr std::int32_t kNeq = 1;
constexpr float kTol = 1.0e-6f;

struct Outcome {
  float x = 0.0f;
  float y = 10.0f;
  std::array<float, 5> stats{};  // PARAM(31..35)
  std::int32_t ido = 0;          // of the last interval
};

// The program's loop over output points with the step limit lifted; `call`
// makes one call of the protocol (IDO, X, XEND, PARAM, Y).
template <class Call>
Outcome trajectory(Call call) {
  std::array<float, param::kSize> prm{};
  param::set(prm.data(), param::kHmax, 0.001f);
  param::set(prm.data(), param::kMaxSteps, 1.0e7f);
  Outcome o;
  std::int32_t ido = 1;
  while (o.x < 20.0f && o.y > -10.1f) {
    float xstart = o.x;
    o.x = static_cast<float>(static_cast<double>(o.x) + static_cast<double>(0.1f));
    call(ido, xstart, o.x, prm.data(), &o.y);
    if (ido != 2 || !(o.y < 10.1f)) break;
  }
  o.ido = ido;
  for (std::int32_t k = 0; k < 5; ++k) o.stats[k] = param::get(prm.data(), param::kLastStep + k);
  ido = 3;
  call(ido, o.x, o.x, prm.data(), &o.y);
  return o;
}

std::vector<TrajData> grid() {
  std::vector<TrajData> members;
  for (const float energy_factor : {0.5f, 1.0f, 2.0f}) {
    for (const float bcoef : {0.0f, 1.0f}) {
      TrajData d = initial_trajdata();
      d.ENERGY = d.ENERGY * energy_factor;
      d.BCOEF = bcoef;
      members.push_back(d);
    }
  }
  return members;
}

std::uint32_t bits(float v) {
  return std::bit_cast<std::uint32_t>(v);
}

TEST(Ensemble, EveryMemberOnThreadsHasTheBitsOfItsRunAlone) {
  const std::vector<TrajData> members = grid();
  std::vector<Outcome> alone;
  for (const TrajData& d : members) {
    TRAJDATA = d;
    alone.push_back(trajectory([](std::int32_t& ido, float& x, const float& xend, float* prm,
                                  float* y) { IVPRK(ido, kNeq, RHSFUN, x, xend, kTol, prm, y); }));
    ASSERT_EQ(alone.back().ido, 2);
  }
  // The members differ, so that results crossing between them would show.
  EXPECT_NE(bits(alone[0].y), bits(alone[1].y));
  EXPECT_NE(alone[0].stats[3], alone.back().stats[3]);
  TRAJDATA = initial_trajdata();

  for (const int threads : {2, 4}) {
    std::vector<Outcome> got(members.size());
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
      pool.emplace_back([&] {
        for (std::size_t i = next++; i < members.size(); i = next++) {
          TrajData own = members[i];
          Integrator it(RHSTRAJ, &own);
          got[i] = trajectory([&it](std::int32_t& ido, float& x, const float& xend, float* prm,
                                    float* y) { it.integrate(ido, kNeq, x, xend, kTol, prm, y); });
        }
      });
    }
    for (std::thread& t : pool) t.join();
    for (std::size_t i = 0; i < members.size(); ++i) {
      SCOPED_TRACE(testing::Message() << threads << " threads, member " << i);
      EXPECT_EQ(got[i].ido, 2);
      EXPECT_EQ(bits(got[i].x), bits(alone[i].x));
      EXPECT_EQ(bits(got[i].y), bits(alone[i].y));
      for (std::size_t k = 0; k < 5; ++k) {
        EXPECT_EQ(bits(got[i].stats[k]), bits(alone[i].stats[k])) << "PARAM(" << 31 + k << ")";
      }
    }
  }
  // The members never touched the program's record.
  EXPECT_EQ(TRAJDATA.OUTWARD, 0);
}

}  // namespace
}  // namespace rkv::app
