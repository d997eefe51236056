// The trajectory model followed with the step limit lifted, through its
// turning point to the high y limit: the run depends on every rounding point
// of the solver, so its records are compared exactly.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model.hpp"
#include "rkv/host/record.hpp"
#include "rkv/ode/ivprk.hpp"
#include "rkv/ode/param.hpp"
#include "step/solver_state.hpp"

namespace {

std::string record(float x, float y) {
  std::string r(1, ' ');
  r.append(rkv::host::format_f(x, 5, 2));
  r.append("'  ");
  r.append(rkv::host::format_f(y, 7, 3));
  r.push_back('\'');
  return r;
}

struct ModelRun {
  std::vector<std::string> records;
  std::int32_t outward_turned_in = -1;  // index of the record ending the interval
  std::int32_t last_ido = 0;
  float accepted = 0.0f;
  float evaluations = 0.0f;
};

// The trajectory program's loop, with PARAM(4) = 0.5 (no step limit).
ModelRun follow_model() {
  using rkv::app::TRAJDATA;
  TRAJDATA = rkv::app::initial_trajdata();
  ModelRun run;
  float x = 0.0f;
  std::array<float, 1> y{10.0f};
  std::int32_t ido = 1;
  const std::int32_t neq = 1;
  const float tol = 1.0e-6f;
  std::array<float, rkv::param::kSize> prm{};
  rkv::param::set(prm.data(), rkv::param::kHmax, 0.001f);
  rkv::param::set(prm.data(), rkv::param::kMaxSteps, 0.5f);
  run.records.push_back(record(x, y[0]));
  for (;;) {
    if (!(x < 20.0f) || !(y[0] > -10.1f)) break;
    float xstart = x;
    x = static_cast<float>(static_cast<double>(x) + static_cast<double>(0.1f));
    const bool before = (TRAJDATA.OUTWARD & 1) != 0;
    rkv::IVPRK(ido, neq, rkv::app::RHSFUN, xstart, x, tol, prm.data(), y.data());
    EXPECT_EQ(ido, 2);
    EXPECT_EQ(xstart, x);
    if (!before && (TRAJDATA.OUTWARD & 1) != 0) {
      EXPECT_EQ(run.outward_turned_in, -1) << "OUTWARD must turn true only once";
      run.outward_turned_in = static_cast<std::int32_t>(run.records.size());
    }
    run.records.push_back(record(x, y[0]));
    if (!(y[0] < 10.1f)) break;
  }
  run.last_ido = ido;
  run.accepted = rkv::param::get(prm.data(), rkv::param::kAcceptedSteps);
  run.evaluations = rkv::param::get(prm.data(), rkv::param::kEvaluations);
  ido = 3;
  rkv::IVPRK(ido, neq, rkv::app::RHSFUN, x, x, tol, prm.data(), y.data());
  return run;
}

TEST(TrajectoryRun, FollowsTheModelThroughItsTurningPointToTheHighYLimit) {
  const ModelRun run = follow_model();
  ASSERT_EQ(run.records.size(), 133u);
  EXPECT_EQ(run.records[0], "  0.00'   10.000'");
  EXPECT_EQ(run.records[1], "  0.10'    9.902'");
  EXPECT_EQ(run.records[4], "  0.40'    9.609'");
  EXPECT_EQ(run.records.back(), " 13.20'   10.196'");

  // The turning point lies in the interval ending at x = 6.50, whose record
  // is the lowest of the run.
  ASSERT_EQ(run.outward_turned_in, 65);
  EXPECT_EQ(run.records[65].substr(0, 7), "  6.50'");
  EXPECT_EQ(run.records[65], "  6.50'    1.283'");
  for (const std::string& r : run.records) EXPECT_GE(r.substr(8), run.records[65].substr(8));

  EXPECT_EQ(rkv::ode::front_end_workspace().data, nullptr);
  EXPECT_EQ(rkv::ode::solver_state().initialised, 0);
}

}  // namespace
