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
    switch (p.kind) {
      case ReportParam::Kind::kFloat:
        E1SETREAL(++reals, static_cast<float>(p.real));
        break;
      case ReportParam::Kind::kDouble:
        E1SETDBL(++reals, p.real);
        break;
      default:
        E1SETINT(++integers, p.integer);
        break;
    }
  }
  E1MES(r.type, r.code, r.text);
}

bool error_posted() {
  const std::int32_t own = 0;
  return N1RTY(own) != 0;
}

}  // namespace rkv::ode
