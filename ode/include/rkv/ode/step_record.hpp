// The record of one accepted step's continuous extension: what a
// BasicDenseOutput hands to a step hook (set_step_hook) after each step, and
// the function that evaluates it later anywhere in the step with the very
// arithmetic the layer uses for its output points, so that the values are
// the same bits as set_output would have given at the same x.
//
// A record is a flat row of step_record_size(NEQ) reals of the storage type:
//   [0] x0, [1] x1, [2] H = the signed step as the solver stored it,
//   then NEQ values each of y0, y1 and the nine stages the extension sums:
//   k1, k3, k4, k5, k6, k7, k8, k9 = f(x1, y1) and k10, its extra stage.
// Copied as it is (into a std::vector, a NumPy row), it stays evaluable.
//
//   std::vector<double> rows;                       // the hook appends each step
//   ...
//   rkv::step_record_value(neq, &rows[s * size], x, y, yprime);
#pragma once

#include <cstdint>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

// The reals before the columns, and the columns of NEQ values.
inline constexpr std::int32_t kStepRecordHead = 3;
inline constexpr std::int32_t kStepRecordColumns = 11;

// Reals in the record of a step of NEQ equations.
constexpr std::int64_t step_record_size(std::int32_t neq) {
  return kStepRecordHead + static_cast<std::int64_t>(kStepRecordColumns) * neq;
}

// Called after each accepted step with its record (step_record_size(NEQ)
// reals, owned by the layer and valid during the call only). It runs as
// user code, in the stepping loop: an exception passes through the layer
// as one of the right-hand side does.
template <class Real>
using BasicStepHook = void (*)(void* context, const std::int32_t& neq, const Real* record);
using StepHook = BasicStepHook<float>;

// y(x) and y'(x) (NEQ values each; either may be null) from the record of a
// step of NEQ >= 1 equations. Meant for x in [x0, x1]: x = x1 gives y1 and
// k9 exactly, x = x0 gives y0 and k1; outside, the step's polynomial is
// extended. No right-hand side is evaluated and nothing is kept: records may
// be evaluated from several threads at once. Marked for export by name:
// the pragma around this header does not reach a function template's
// instantiations.
template <class Real>
__attribute__((visibility("default"))) void step_record_value(const std::int32_t& neq,
                                                              const Real* record, const Real& x,
                                                              Real* y, Real* yprime);

extern template void step_record_value<float>(const std::int32_t&, const float*, const float&,
                                              float*, float*);
extern template void step_record_value<double>(const std::int32_t&, const double*, const double&,
                                               double*, double*);

}  // namespace rkv

#pragma GCC visibility pop
