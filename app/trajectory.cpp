// The trajectory program's main routine.
#include "trajectory.hpp"

#include <array>
#include <cstdint>

#include "model.hpp"
#include "rkv/host/record.hpp"
#include "rkv/host/stop.hpp"
#include "rkv/host/units.hpp"
#include "rkv/ode/ivprk.hpp"
#include "rkv/ode/param.hpp"

namespace rkv::app {
namespace {

constexpr float kHmax = 0.001f;  // the program's fixed PARAM(3)

void write_point(float x, float y) {
  const std::string rec = trajectory_record(x, y);
  host::write_record(kFileUnit, rec);
  host::write_record(kConsoleUnit, rec);
}

}  // namespace

std::string trajectory_record(float x, float y) {
  host::Record r;
  r.tr(1).f(x, 5, 2).text("'").tr(2).f(y, 7, 3).text("'");
  return r.lines().front();
}

StepCounts step_counts(float accepted_steps, float evaluations) {
  // Both statistics are exact integers in float for any count this program
  // can reach (below 2^24); the conversion saturates rather than overflow.
  auto to_count = [](float v) -> std::int64_t {
    if (!(v > 0.0f)) return 0;
    if (v >= 2147483647.0f) return 2147483647;
    return static_cast<std::int64_t>(v);
  };
  const std::int64_t good = to_count(accepted_steps);
  const std::int64_t evals = to_count(evaluations);
  std::int64_t bad = (evals - 8 * good) / 7;
  if (bad < 0) bad = 0;
  return StepCounts{static_cast<std::int32_t>(good), static_cast<std::int32_t>(bad)};
}

void run(float step_limit) {
  TRAJDATA = initial_trajdata();

  float x = 0.0f;
  std::array<float, 1> y{10.0f};
  std::int32_t ido = 1;
  const std::int32_t neq = 1;
  const float tol = kTolerance;
  std::array<float, param::kSize> prm{};
  param::set(prm.data(), param::kHmax, kHmax);
  param::set(prm.data(), param::kMaxSteps, step_limit);

  host::open_replace(kFileUnit, kFileName);
  write_point(x, y[0]);

  for (;;) {
    if (!(x < kXLimit)) break;
    if (!(y[0] > kLowYLimit)) break;  // also leaves on a NaN
    float xstart = x;
    x = static_cast<float>(static_cast<double>(x) + static_cast<double>(kOutputStep));
    IVPRK(ido, neq, RHSFUN, xstart, x, tol, prm.data(), y.data());
    write_point(x, y[0]);
    if (!(y[0] < kHighYLimit)) break;
  }

  const StepCounts counts = step_counts(param::get(prm.data(), param::kAcceptedSteps),
                                        param::get(prm.data(), param::kEvaluations));
  host::Record summary;
  summary.slash()
      .text(" Successful steps:")
      .t(30)
      .i(counts.good, 3)
      .slash()
      .text(" Bad steps:")
      .t(30)
      .i(counts.bad, 3);
  summary.write(kConsoleUnit);
  host::write_line(kConsoleUnit, "NORMAL COMPLETION");
  host::stop();
}

}  // namespace rkv::app
