// rkv_lanes_integrate and rkv_dlanes_integrate (rkv/lanes.h): the C
// structures mapped onto rkv::LaneProblem and rkv::LaneResults, and the C
// block function called on the lanes' columns as flat arrays of
// width x count reals, with the active mask formed from the member indices.
#include "rkv/lanes.h"

#include <cstdint>

#include "rkv/ode/lane.hpp"
#include "rkv/ode/lane_ensemble.hpp"

namespace {

template <class Real, class Fn>
struct CBlock {
  Fn fn;
  void* context;
};

// The first real of an array of Lane<Real, W>: the lanes lie end to end
// without padding, so the array is read as width x count reals.
template <class Real, int W>
Real* reals(const void* lanes) {
  static_assert(sizeof(rkv::Lane<Real, W>) == W * sizeof(Real), "lanes lie end to end");
  return const_cast<Real*>(  // NOLINT(cppcoreguidelines-pro-type-const-cast)
      static_cast<const rkv::Lane<Real, W>*>(lanes)->v);
}

template <class Real, class Fn, int W>
void call_c(void* context, const rkv::LaneBlock<Real>& b) {
  const auto& c = *static_cast<const CBlock<Real, Fn>*>(context);
  std::int32_t active[W];
  for (int l = 0; l < W; ++l) active[l] = b.member[l] >= 0 ? 1 : 0;
  c.fn(c.context, W, b.neq, reals<Real, W>(b.x), reals<Real, W>(b.y), reals<Real, W>(b.yprime),
       b.npar, reals<Real, W>(b.parameters), b.member, active);
}

template <class Real, class Problem, class Results, class Fn>
std::int32_t integrate(const Problem* p, Fn fcn, void* context, std::int32_t threads,
                       const Results* r) {
  if (p == nullptr || r == nullptr || fcn == nullptr) return rkv::kLanesRefused;
  const rkv::LaneProblem<Real> problem{p->members, p->neq,         p->npar,       p->x0,
                                       p->xend,    p->y0,          p->parameters, p->tol,
                                       p->param,   p->param_stride};
  const rkv::LaneResults<Real> results{r->y, r->x, r->statistics, r->error_type, r->error_code};
  CBlock<Real, Fn> c{fcn, context};
  const rkv::LaneRhs<Real> rhs{
      {&call_c<Real, Fn, rkv::kLaneWidths[0]>, &call_c<Real, Fn, rkv::kLaneWidths[1]>,
       &call_c<Real, Fn, rkv::kLaneWidths[2]>},
      &c};
  return rkv::ode::run_lanes(problem, rhs, results, threads);
}

}  // namespace

extern "C" {

int32_t rkv_lanes_integrate(const rkv_lanes_problem* problem, rkv_lanes_fn fcn, void* context,
                            int32_t threads, const rkv_lanes_results* results) {
  return integrate<float>(problem, fcn, context, threads, results);
}

int32_t rkv_dlanes_integrate(const rkv_dlanes_problem* problem, rkv_dlanes_fn fcn, void* context,
                             int32_t threads, const rkv_dlanes_results* results) {
  return integrate<double>(problem, fcn, context, threads, results);
}

}  // extern "C"
