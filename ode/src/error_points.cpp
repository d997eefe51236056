// Error points of IVPRK and I2PRK: each records where the call ended.
#include "error_points.hpp"

namespace rkv::ode {
namespace {

void mark(ErrorPoint point) {
  solver_state().last_error = point;
}

}  // namespace

void front_ido_range(const std::int32_t&) {
  mark(ErrorPoint::kFrontIdoRange);
}
void front_neq(const std::int32_t&) {
  mark(ErrorPoint::kFrontNeq);
}
void front_storage(const std::int32_t&) {
  mark(ErrorPoint::kFrontStorage);
}
void front_not_initialised(const std::int32_t&) {
  mark(ErrorPoint::kFrontNotInitialised);
}

void ido_range(const std::int32_t&) {
  mark(ErrorPoint::kIdoRange);
}
void repeated_start() {
  mark(ErrorPoint::kRepeatedStart);
}
void not_initialised(const std::int32_t&) {
  mark(ErrorPoint::kNotInitialised);
}
void x_changed(const float&) {
  mark(ErrorPoint::kXChanged);
}
void xend_unchanged(const float&) {
  mark(ErrorPoint::kXendUnchanged);
}

void neq_invalid(const std::int32_t&) {
  mark(ErrorPoint::kNeq);
}
void tol_invalid(const float&) {
  mark(ErrorPoint::kTol);
}
void inorm_invalid(const float&) {
  mark(ErrorPoint::kInorm);
}
void negative_entry(const std::int32_t&, const float&) {
  mark(ErrorPoint::kNegativeEntry);
}

void hmin_above_hmax(const float&, const float&) {
  mark(ErrorPoint::kHminAboveHmax);
}
void evaluation_limit(const std::int32_t&, const std::int32_t&) {
  mark(ErrorPoint::kEvaluationLimit);
}
void step_limit(const std::int32_t&) {
  mark(ErrorPoint::kStepLimit);
}
void tolerance_unmet(const float&) {
  mark(ErrorPoint::kToleranceUnmet);
}

void user_code_failed() {
  mark(ErrorPoint::kUserCode);
}

bool error_posted() {
  return solver_state().last_error != ErrorPoint::kNone;
}

void begin_call() {
  solver_state().last_error = ErrorPoint::kNone;
}

}  // namespace rkv::ode
