// Error points of IVPRK and I2PRK: each records where the call ended and
// posts its report through the error family, with the message parameters
// stored immediately before the post. Whether a report is printed and
// whether the run stops is decided by the family at the routines' pops.
#include "reports/error_points.hpp"

#include "reports/solver_messages.hpp"
#include "rkv/errors/params.hpp"
#include "rkv/errors/post.hpp"

namespace rkv::ode {
namespace {

constexpr std::int32_t kP1 = 1;
constexpr std::int32_t kP2 = 2;

void mark(SolverState& s, ErrorPoint point) {
  s.last_error = point;
}

void post(SolverState& s, ErrorPoint point, const Report& r) {
  mark(s, point);
  E1MES(r.type, r.code, r.text);
}

}  // namespace

void front_ido_range(SolverState& s, const std::int32_t& ido) {
  E1SETINT(kP1, ido);
  post(s, ErrorPoint::kFrontIdoRange, report::kFrontIdoRange);
}

void front_neq(SolverState& s, const std::int32_t& neq) {
  E1SETINT(kP1, neq);
  post(s, ErrorPoint::kFrontNeq, report::kFrontNeq);
}

void front_storage(SolverState& s, const std::int32_t& neq) {
  // The first post (one blank) relabels any waiting message with this type
  // and code; the second carries the storage message itself.
  E1MES(report::kFrontStorage.type, report::kFrontStorage.code, " ");
  E1SETINT(kP1, neq);
  post(s, ErrorPoint::kFrontStorage, report::kFrontStorage);
}

void front_not_initialised(SolverState& s, const std::int32_t& ido) {
  E1SETINT(kP1, ido);
  post(s, ErrorPoint::kFrontNotInitialised, report::kFrontNotInitialised);
}

void front_in_use() {
  E1MES(report::kFrontInUse.type, report::kFrontInUse.code, report::kFrontInUse.text);
}

// ---- begin: refusals of the integrator objects ----
void front_no_rhs() {
  E1MES(report::kFrontNoRhs.type, report::kFrontNoRhs.code, report::kFrontNoRhs.text);
}

void front_moved_from() {
  E1MES(report::kFrontMovedFrom.type, report::kFrontMovedFrom.code, report::kFrontMovedFrom.text);
}

void front_assignment_in_use() {
  E1MES(report::kFrontAssignInUse.type, report::kFrontAssignInUse.code,
        report::kFrontAssignInUse.text);
}
// ---- end: refusals of the integrator objects ----

void in_use() {
  E1MES(report::kInUse.type, report::kInUse.code, report::kInUse.text);
}

void ido_range(SolverState& s, const std::int32_t& ido) {
  E1SETINT(kP1, ido);
  post(s, ErrorPoint::kIdoRange, report::kIdoRange);
}

void repeated_start(SolverState& s) {
  post(s, ErrorPoint::kRepeatedStart, report::kRepeatedStart);
}

void not_initialised(SolverState& s, const std::int32_t& ido) {
  E1SETINT(kP1, ido);
  post(s, ErrorPoint::kNotInitialised, report::kNotInitialised);
}

void x_changed(SolverState& s, const float& x) {
  E1SETREAL(kP1, x);
  post(s, ErrorPoint::kXChanged, report::kXChanged);
}

void xend_unchanged(SolverState& s, const float& xend) {
  E1SETREAL(kP1, xend);
  post(s, ErrorPoint::kXendUnchanged, report::kXendUnchanged);
}

void answer_before_step(SolverState& s, const std::int32_t& ido) {
  E1SETINT(kP1, ido);
  post(s, ErrorPoint::kAnswerBeforeStep, report::kAnswerBeforeStep);
}

void answer_after_attempt(SolverState& s, const std::int32_t& ido) {
  E1SETINT(kP1, ido);
  post(s, ErrorPoint::kAnswerAfterAttempt, report::kAnswerAfterAttempt);
}

void no_pause(SolverState& s, const std::int32_t& ido) {
  E1SETINT(kP1, ido);
  post(s, ErrorPoint::kNoPause, report::kNoPause);
}

void neq_invalid(SolverState& s, const std::int32_t& neq) {
  E1SETINT(kP1, neq);
  post(s, ErrorPoint::kNeq, report::kNeq);
}

void tol_invalid(SolverState& s, const float& tol) {
  E1SETREAL(kP1, tol);
  post(s, ErrorPoint::kTol, report::kTol);
}

void inorm_invalid(SolverState& s, const float& entry) {
  E1SETREAL(kP1, entry);
  post(s, ErrorPoint::kInorm, report::kInorm);
}

void negative_entry(SolverState& s, const std::int32_t& index, const float& entry) {
  E1SETINT(kP1, index);
  E1SETREAL(kP1, entry);
  post(s, ErrorPoint::kNegativeEntry, report::kNegativeEntry);
}

void x_not_finite(SolverState& s, const float& x) {
  E1SETREAL(kP1, x);
  post(s, ErrorPoint::kXNotFinite, report::kXNotFinite);
}

void xend_not_finite(SolverState& s, const float& xend) {
  E1SETREAL(kP1, xend);
  post(s, ErrorPoint::kXendNotFinite, report::kXendNotFinite);
}

void y_not_finite(SolverState& s, const std::int32_t& index, const float& value) {
  E1SETINT(kP1, index);
  E1SETREAL(kP1, value);
  post(s, ErrorPoint::kYNotFinite, report::kYNotFinite);
}

void nan_entry(SolverState& s, const std::int32_t& index, const float& entry) {
  E1SETINT(kP1, index);
  E1SETREAL(kP1, entry);
  post(s, ErrorPoint::kNanEntry, report::kNanEntry);
}

void hmin_above_hmax(SolverState& s, const float& hmin, const float& hmax) {
  E1SETREAL(kP1, hmin);
  E1SETREAL(kP2, hmax);
  post(s, ErrorPoint::kHminAboveHmax, report::kHminAboveHmax);
}

void evaluation_limit(SolverState& s, const std::int32_t& needed, const std::int32_t& limit) {
  E1SETINT(kP1, needed);
  E1SETINT(kP2, limit);
  post(s, ErrorPoint::kEvaluationLimit, report::kEvaluationLimit);
}

void step_limit(SolverState& s, const std::int32_t& limit) {
  E1SETINT(kP1, limit);
  post(s, ErrorPoint::kStepLimit, report::kStepLimit);
}

void tolerance_unmet(SolverState& s, const float& tol) {
  E1SETREAL(kP1, tol);
  post(s, ErrorPoint::kToleranceUnmet, report::kToleranceUnmet);
}

void user_code_failed(SolverState& s) {
  mark(s, ErrorPoint::kUserCode);
}

bool error_posted() {
  const std::int32_t own = 0;
  return N1RTY(own) != 0;
}

void begin_call(SolverState& s) {
  s.last_error = ErrorPoint::kNone;
}

}  // namespace rkv::ode
