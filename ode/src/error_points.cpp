// Error points of IVPRK and I2PRK: each records where the call ended and
// posts its report through the error family, with the message parameters
// stored immediately before the post. Whether a report is printed and
// whether the run stops is decided by the family at the routines' pops.
#include "error_points.hpp"

#include "messages.hpp"
#include "rkv/errors/params.hpp"
#include "rkv/errors/post.hpp"

namespace rkv::ode {
namespace {

constexpr std::int32_t kP1 = 1;
constexpr std::int32_t kP2 = 2;

void mark(ErrorPoint point) {
  solver_state().last_error = point;
}

void post(ErrorPoint point, const Report& r) {
  mark(point);
  E1MES(r.type, r.code, r.text);
}

}  // namespace

void front_ido_range(const std::int32_t& ido) {
  E1SETINT(kP1, ido);
  post(ErrorPoint::kFrontIdoRange, report::kFrontIdoRange);
}

void front_neq(const std::int32_t& neq) {
  E1SETINT(kP1, neq);
  post(ErrorPoint::kFrontNeq, report::kFrontNeq);
}

void front_storage(const std::int32_t& neq) {
  // The first post (one blank) relabels any waiting message with this type
  // and code; the second carries the storage message itself.
  E1MES(report::kFrontStorage.type, report::kFrontStorage.code, " ");
  E1SETINT(kP1, neq);
  post(ErrorPoint::kFrontStorage, report::kFrontStorage);
}

void front_not_initialised(const std::int32_t& ido) {
  E1SETINT(kP1, ido);
  post(ErrorPoint::kFrontNotInitialised, report::kFrontNotInitialised);
}

void front_in_use() {
  E1MES(report::kFrontInUse.type, report::kFrontInUse.code, report::kFrontInUse.text);
}

void in_use() {
  E1MES(report::kInUse.type, report::kInUse.code, report::kInUse.text);
}

void ido_range(const std::int32_t& ido) {
  E1SETINT(kP1, ido);
  post(ErrorPoint::kIdoRange, report::kIdoRange);
}

void repeated_start() {
  post(ErrorPoint::kRepeatedStart, report::kRepeatedStart);
}

void not_initialised(const std::int32_t& ido) {
  E1SETINT(kP1, ido);
  post(ErrorPoint::kNotInitialised, report::kNotInitialised);
}

void x_changed(const float& x) {
  E1SETREAL(kP1, x);
  post(ErrorPoint::kXChanged, report::kXChanged);
}

void xend_unchanged(const float& xend) {
  E1SETREAL(kP1, xend);
  post(ErrorPoint::kXendUnchanged, report::kXendUnchanged);
}

void answer_before_step(const std::int32_t& ido) {
  E1SETINT(kP1, ido);
  post(ErrorPoint::kAnswerBeforeStep, report::kAnswerBeforeStep);
}

void answer_after_attempt(const std::int32_t& ido) {
  E1SETINT(kP1, ido);
  post(ErrorPoint::kAnswerAfterAttempt, report::kAnswerAfterAttempt);
}

void no_pause(const std::int32_t& ido) {
  E1SETINT(kP1, ido);
  post(ErrorPoint::kNoPause, report::kNoPause);
}

void neq_invalid(const std::int32_t& neq) {
  E1SETINT(kP1, neq);
  post(ErrorPoint::kNeq, report::kNeq);
}

void tol_invalid(const float& tol) {
  E1SETREAL(kP1, tol);
  post(ErrorPoint::kTol, report::kTol);
}

void inorm_invalid(const float& entry) {
  E1SETREAL(kP1, entry);
  post(ErrorPoint::kInorm, report::kInorm);
}

void negative_entry(const std::int32_t& index, const float& entry) {
  E1SETINT(kP1, index);
  E1SETREAL(kP1, entry);
  post(ErrorPoint::kNegativeEntry, report::kNegativeEntry);
}

void x_not_finite(const float& x) {
  E1SETREAL(kP1, x);
  post(ErrorPoint::kXNotFinite, report::kXNotFinite);
}

void xend_not_finite(const float& xend) {
  E1SETREAL(kP1, xend);
  post(ErrorPoint::kXendNotFinite, report::kXendNotFinite);
}

void y_not_finite(const std::int32_t& index, const float& value) {
  E1SETINT(kP1, index);
  E1SETREAL(kP1, value);
  post(ErrorPoint::kYNotFinite, report::kYNotFinite);
}

void nan_entry(const std::int32_t& index, const float& entry) {
  E1SETINT(kP1, index);
  E1SETREAL(kP1, entry);
  post(ErrorPoint::kNanEntry, report::kNanEntry);
}

void hmin_above_hmax(const float& hmin, const float& hmax) {
  E1SETREAL(kP1, hmin);
  E1SETREAL(kP2, hmax);
  post(ErrorPoint::kHminAboveHmax, report::kHminAboveHmax);
}

void evaluation_limit(const std::int32_t& needed, const std::int32_t& limit) {
  E1SETINT(kP1, needed);
  E1SETINT(kP2, limit);
  post(ErrorPoint::kEvaluationLimit, report::kEvaluationLimit);
}

void step_limit(const std::int32_t& limit) {
  E1SETINT(kP1, limit);
  post(ErrorPoint::kStepLimit, report::kStepLimit);
}

void tolerance_unmet(const float& tol) {
  E1SETREAL(kP1, tol);
  post(ErrorPoint::kToleranceUnmet, report::kToleranceUnmet);
}

void user_code_failed() {
  mark(ErrorPoint::kUserCode);
}

bool error_posted() {
  const std::int32_t own = 0;
  return N1RTY(own) != 0;
}

void begin_call() {
  solver_state().last_error = ErrorPoint::kNone;
}

}  // namespace rkv::ode
