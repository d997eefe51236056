// Settings (PARAM entries 1-11), statistics (PARAM entries 31-35) and the
// constants of the integrator.
#include "step/settings.hpp"

#include <bit>
#include <cmath>
#include <cstddef>

#include "rkv/machine/constants.hpp"
#include "rkv/ode/param.hpp"
#include "step/step_control.hpp"
#include "step/verner_table.hpp"

namespace rkv::ode {

void load_constants(SolverState& s) {
  if (s.table_loaded != 0) return;
  for (std::size_t i = 0; i < s.table.size(); ++i) {
    s.table[i] = std::bit_cast<float>(kVernerTableBits[i]);
  }
  const std::int32_t smallest_normal = 1;
  const std::int32_t largest_spacing = 4;
  s.tiny = AMACH(smallest_normal);  // 2^-126
  s.eps = AMACH(largest_spacing);   // 2^-23, the spacing at 1
  s.table_loaded = 1;
}

void set_defaults(SolverState& s) {
  Settings& t = s.settings;
  t.initial_step = 0.0f;
  t.hmin = 0.0f;
  t.hmax = 2.0f;
  t.max_steps = 500;
  t.max_evals = 0;
  t.pause_before = 0;
  t.pause_after = 0;
  t.scale = 1.0f;
  t.inorm = 0;
  t.floor = 1.0f;
  s.h = 0.0f;
  s.accepted = 0;
  s.evaluations = 0;
}

void read_settings(SolverState& s, const float* entries) {
  Settings& t = s.settings;
  const auto given = [entries](std::int32_t index) { return param::get(entries, index) > 0.0f; };
  const auto entry = [entries](std::int32_t index) { return param::get(entries, index); };
  if (given(param::kInitialStep)) t.initial_step = entry(param::kInitialStep);
  if (given(param::kHmin)) t.hmin = entry(param::kHmin);
  if (given(param::kHmax)) t.hmax = entry(param::kHmax);
  if (given(param::kMaxSteps)) t.max_steps = truncate_to_int32(entry(param::kMaxSteps));
  if (given(param::kMaxEvals)) t.max_evals = truncate_to_int32(entry(param::kMaxEvals));
  if (given(param::kPauseBefore)) t.pause_before = truncate_to_int32(entry(param::kPauseBefore));
  if (given(param::kPauseAfter)) t.pause_after = truncate_to_int32(entry(param::kPauseAfter));
  if (given(param::kScale)) {
    t.scale = entry(param::kScale);
    t.hmax = static_cast<float>(
        std::fmin(2.0 / static_cast<double>(t.scale), static_cast<double>(t.hmax)));
  }
  if (given(param::kInorm)) t.inorm = truncate_to_int32(entry(param::kInorm));
  if (given(param::kFloor)) t.floor = entry(param::kFloor);
}

void write_statistics(const SolverState& s, float* entries) {
  param::set(entries, param::kLastStep, s.step);
  param::set(entries, param::kHminUsed, s.settings.hmin);
  param::set(entries, param::kHmaxUsed, s.settings.hmax);
  param::set(entries, param::kAcceptedSteps, static_cast<float>(s.accepted));
  param::set(entries, param::kEvaluations, static_cast<float>(s.evaluations));
}

bool inorm_refused(float entry) {
  // std::round rounds halves away from zero; NaN compares false.
  return std::round(static_cast<double>(entry)) > 3.0;
}

}  // namespace rkv::ode
