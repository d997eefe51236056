// The trajectory program's run: start-up, the stepping loop over output
// points, the records on unit 4 ("traject.txt") and unit 6 (the console),
// the summary and the end of the run.
#pragma once

#include <cstdint>
#include <string>

namespace rkv::app {

inline constexpr std::int32_t kFileUnit = 4;
inline constexpr std::int32_t kConsoleUnit = 6;
inline constexpr const char* kFileName = "traject.txt";

// The run's fixed constants, single precision and compared as such: output
// step, the loop's limits (x < 20 and -10.1 < y < 10.1) and the tolerance.
inline constexpr float kOutputStep = 0.1f;
inline constexpr float kXLimit = 20.0f;
inline constexpr float kLowYLimit = -10.1f;
inline constexpr float kHighYLimit = 10.1f;
inline constexpr float kTolerance = 1.0e-6f;

// The 17-character trajectory record of (x, y): (1X, F5.2, "'", 2X, F7.3, "'").
std::string trajectory_record(float x, float y);

// Step counters for the summary, from the solver's statistics: PARAM(34) is
// the accepted steps; an attempt costs 8 evaluations and a retry after a
// rejection 7, so evaluations = 8*accepted + 7*rejected.
struct StepCounts {
  std::int32_t good;
  std::int32_t bad;
};
StepCounts step_counts(float accepted_steps, float evaluations);

// The program's fixed solver setting PARAM(3) = HMAX = 0.001; `step_limit`
// is written to PARAM(4) (0 keeps the solver's default of 500 steps). The
// program itself always passes 0; test drivers lift the limit with 0.5.
// Never returns: ends with the orderly stop (or an error's stop).
[[noreturn]] void run(float step_limit = 0.0f);

}  // namespace rkv::app
