// The trajectory model's ENERGY x BCOEF ensemble in lanes: its template
// copy (bench/lanes_models.hpp) on every instruction set gives each member
// the bits of a scalar Integrator on the program's own right-hand side
// RHSTRAJ with the member's record, including the turning point, where the
// model's switch turns over.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "lanes_models.hpp"
#include "model.hpp"
#include "rkv/ode/integrator.hpp"
#include "rkv/ode/lane_ensemble.hpp"
#include "rkv/ode/param.hpp"
#include "step/isa.hpp"
#include "step/isa_testing.hpp"

namespace rkv::app {
namespace {

using ode::Isa;

struct Scalar {
  std::vector<float> y, x, stats;
};

TEST(TrajectoryLanes, EveryMemberIsTheProgramsModelBitForBit) {
  const std::int32_t side = 5;
  std::vector<float> x0, xend, y0, par;
  std::vector<TrajData> data;
  for (std::int32_t i = 0; i < side; ++i) {
    for (std::int32_t j = 0; j < side; ++j) {
      TrajData d = initial_trajdata();
      d.ENERGY = static_cast<float>(static_cast<double>(d.ENERGY) * (0.5 + 0.25 * i));
      d.BCOEF = static_cast<float>(0.25 * j);
      data.push_back(d);
      par.insert(par.end(), {d.ENERGY, d.BCOEF, 0.0f});
      x0.push_back(0.0f);
      xend.push_back(static_cast<float>(5.0 + 1.5 * ((i + j) % 4)));  // some past the turning point
      y0.push_back(10.0f);
    }
  }
  const auto n = static_cast<std::int32_t>(data.size());
  std::array<float, param::kSize> prm{};
  prm[param::kHmax - 1] = 0.001f;
  prm[param::kMaxSteps - 1] = 1e7f;
  Scalar want{std::vector<float>(n), std::vector<float>(n), std::vector<float>(5 * n)};
  std::int32_t turned = 0;
  for (std::int32_t m = 0; m < n; ++m) {
    TrajData d = data[static_cast<std::size_t>(m)];
    Integrator it(RHSTRAJ, &d);
    std::array<float, param::kSize> p = prm;
    float x = 0.0f;
    float y = 10.0f;
    const std::int32_t neq = 1;
    std::int32_t ido = 1;
    it.integrate(ido, neq, x, xend[static_cast<std::size_t>(m)], 1e-6f, p.data(), &y);
    ido = 3;
    it.integrate(ido, neq, x, xend[static_cast<std::size_t>(m)], 1e-6f, p.data(), &y);
    turned += d.OUTWARD != 0 ? 1 : 0;
    want.y[static_cast<std::size_t>(m)] = y;
    want.x[static_cast<std::size_t>(m)] = x;
    for (std::size_t k = 0; k < 5; ++k) want.stats[5 * static_cast<std::size_t>(m) + k] = p[30 + k];
  }
  EXPECT_GT(turned, 0);
  EXPECT_LT(turned, n);
  const LaneProblem<float> problem{n,         1,          3,     x0.data(),  xend.data(),
                                   y0.data(), par.data(), 1e-6f, prm.data(), 0};
  for (const Isa isa : {Isa::kBaseline, Isa::kAvx2, Isa::kAvx512}) {
    if (ode::select_isa_for_testing(isa) != isa) continue;
    Scalar got{std::vector<float>(n), std::vector<float>(n), std::vector<float>(5 * n)};
    EXPECT_EQ(integrate_lanes(problem, bench::TrajectoryLanes{},
                              LaneResults<float>{got.y.data(), got.x.data(), got.stats.data()}, 2),
              0);
    EXPECT_EQ(got.y, want.y) << "set " << static_cast<int>(isa);
    EXPECT_EQ(got.x, want.x) << "set " << static_cast<int>(isa);
    EXPECT_EQ(got.stats, want.stats) << "set " << static_cast<int>(isa);
  }
  ode::select_isa_for_testing(ode::supported_isa());
}

}  // namespace
}  // namespace rkv::app
