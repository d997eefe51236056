// The PARAM array of IVPRK: settings in (entries 1-11, 0 selects the default),
// statistics out (entries 31-35, written on every return of the integrator).
// Indices are 1-based, as in the solver's documentation: param[kHmax - 1].
#pragma once

#include <cstdint>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv::param {

inline constexpr std::int32_t kSize = 50;

inline constexpr std::int32_t kInitialStep = 1;  // initial step magnitude
inline constexpr std::int32_t kHmin = 2;         // smallest step magnitude
inline constexpr std::int32_t kHmax = 3;         // largest step magnitude (default 2.0)
inline constexpr std::int32_t kMaxSteps = 4;     // step limit (default 500; in (0,1) no limit)
inline constexpr std::int32_t kMaxEvals = 5;     // evaluation limit (default none)
inline constexpr std::int32_t kPauseBefore = 7;  // return with IDO = 4 before each step
inline constexpr std::int32_t kPauseAfter = 8;   // return with IDO = 5/6 after each attempt
inline constexpr std::int32_t kScale = 9;        // error scale factor (default 1.0)
inline constexpr std::int32_t kInorm = 10;       // error norm 0..3
inline constexpr std::int32_t kFloor = 11;       // lower bound of the INORM = 2 norm

inline constexpr std::int32_t kLastStep = 31;  // signed size of the last attempt
inline constexpr std::int32_t kHminUsed = 32;
inline constexpr std::int32_t kHmaxUsed = 33;
inline constexpr std::int32_t kAcceptedSteps = 34;
inline constexpr std::int32_t kEvaluations = 35;

// Reads entry `index` (1-based) of a 50-entry PARAM array.
inline float get(const float* p, std::int32_t index) {
  return p[index - 1];
}
inline void set(float* p, std::int32_t index, float value) {
  p[index - 1] = value;
}
// The same for the 50-entry PARAM of a double integrator.
inline double get(const double* p, std::int32_t index) {
  return p[index - 1];
}
inline void set(double* p, std::int32_t index, double value) {
  p[index - 1] = value;
}

}  // namespace rkv::param

#pragma GCC visibility pop
