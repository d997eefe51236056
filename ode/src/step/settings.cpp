// Settings (PARAM entries 1-11), statistics (PARAM entries 31-35) and the
// constants of the integrator, for both storage types.
#include "step/settings.hpp"

#include <bit>
#include <cmath>
#include <cstddef>
#include <limits>

#include "rkv/machine/constants.hpp"
#include "rkv/ode/param.hpp"
#include "step/step_control.hpp"
#include "step/verner_table.hpp"
#include "step/verner_table_double.hpp"

namespace rkv::ode {

namespace {

void load_format(BasicSolverState<float>& s) {
  for (std::size_t i = 0; i < s.table.size(); ++i) {
    s.table[i] = std::bit_cast<float>(kVernerTableBits[i]);
  }
  const std::int32_t smallest_normal = 1;
  const std::int32_t largest_spacing = 4;
  s.tiny = AMACH(smallest_normal);  // 2^-126
  s.eps = AMACH(largest_spacing);   // 2^-23, the spacing at 1
}

void load_format(BasicSolverState<double>& s) {
  for (std::size_t i = 0; i < s.table.size(); ++i) {
    s.table[i] = std::bit_cast<double>(kVernerTableDoubleBits[i]);
  }
  s.tiny = std::numeric_limits<double>::min();     // 2^-1022
  s.eps = std::numeric_limits<double>::epsilon();  // 2^-52, the spacing at 1
}

}  // namespace

template <class Real>
void load_constants(BasicSolverState<Real>& s) {
  if (s.table_loaded != 0) return;
  load_format(s);
  s.table_loaded = 1;
}

template <class Real>
void set_defaults(BasicSolverState<Real>& s) {
  BasicSettings<Real>& t = s.settings;
  t.initial_step = Real{0};
  t.hmin = Real{0};
  t.hmax = Real{2};
  t.max_steps = 500;
  t.max_evals = 0;
  t.pause_before = 0;
  t.pause_after = 0;
  t.scale = Real{1};
  t.inorm = 0;
  t.floor = Real{1};
  s.h = Real{0};
  s.accepted = 0;
  s.evaluations = 0;
}

template <class Real>
void read_settings(BasicSolverState<Real>& s, const Real* entries) {
  BasicSettings<Real>& t = s.settings;
  const auto given = [entries](std::int32_t index) { return param::get(entries, index) > Real{0}; };
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
    t.hmax = static_cast<Real>(
        std::fmin(2.0 / static_cast<double>(t.scale), static_cast<double>(t.hmax)));
  }
  if (given(param::kInorm)) t.inorm = truncate_to_int32(entry(param::kInorm));
  if (given(param::kFloor)) t.floor = entry(param::kFloor);
}

template <class Real>
void write_statistics(const BasicSolverState<Real>& s, Real* entries) {
  param::set(entries, param::kLastStep, s.step);
  param::set(entries, param::kHminUsed, s.settings.hmin);
  param::set(entries, param::kHmaxUsed, s.settings.hmax);
  param::set(entries, param::kAcceptedSteps, static_cast<Real>(s.accepted));
  param::set(entries, param::kEvaluations, static_cast<Real>(s.evaluations));
}

bool inorm_refused(double entry) {
  // std::round rounds halves away from zero; NaN compares false.
  return std::round(entry) > 3.0;
}

// The macro argument names a type, which cannot stand in parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define RKV_SETTINGS(Real)                                                 \
  template void load_constants<Real>(BasicSolverState<Real>&);             \
  template void set_defaults<Real>(BasicSolverState<Real>&);               \
  template void read_settings<Real>(BasicSolverState<Real>&, const Real*); \
  template void write_statistics<Real>(const BasicSolverState<Real>&, Real*);
// NOLINTEND(bugprone-macro-parentheses)
RKV_SETTINGS(float)
RKV_SETTINGS(double)
#undef RKV_SETTINGS

}  // namespace rkv::ode
