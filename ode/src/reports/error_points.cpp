// Posting of the solver's reports through the error family: the message
// parameters stored immediately before the post, the point recorded where
// the call has a state. Whether a report is printed and whether the run
// stops is decided by the family at the routines' pops.
#include "reports/error_points.hpp"

#include "reports/report_table.hpp"
#include "rkv/errors/params.hpp"
#include "rkv/errors/post.hpp"

namespace rkv::ode {

void post_report(ErrorPoint point, std::initializer_list<ReportParam> params) {
  const Report& r = report_of(point);
  if (r.type == 0) return;
  if (r.relabel_first) E1MES(r.type, r.code, " ");
  std::int32_t integers = 0;
  std::int32_t reals = 0;
  for (const ReportParam& p : params) {
    if (p.is_real) {
      E1SETREAL(++reals, p.real);
    } else {
      E1SETINT(++integers, p.integer);
    }
  }
  E1MES(r.type, r.code, r.text);
}

void post_report(SolverState& s, ErrorPoint point, std::initializer_list<ReportParam> params) {
  s.last_error = point;
  post_report(point, params);
}

bool error_posted() {
  const std::int32_t own = 0;
  return N1RTY(own) != 0;
}

void begin_call(SolverState& s) {
  s.last_error = ErrorPoint::kNone;
}

}  // namespace rkv::ode
