// The start of a distributed integration (start.hpp). The reports are the
// integrator's own (type, code and text), posted under its routine names
// with the global index of the component, so that a refused start reads as
// the serial run's.
#include "start.hpp"

#include <cmath>
#include <cstdint>
#include <limits>

#include "rkv/mpi/reduce.hpp"
#include "rkv/ode/companion.hpp"
#include "rkv/ode/param.hpp"

namespace rkv::mpi {
namespace {

constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max();

// Posts a start-up refusal of the integrator's with a global index.
template <class Real>
void post(ode::StartRefusal kind, std::int64_t i1, std::int64_t i2, Real r1) {
  ode::post_start_refusal(kind, static_cast<std::int32_t>(i1), static_cast<std::int32_t>(i2), r1);
}

// The first offence of the slice: a non-finite Y (key: global index) and a
// tolerance that is negative (key 2g) or a zero weight (key 2g + 1).
template <class Real>
void local_offences(const DistributedState<Real>& s, std::int32_t neq, const Real* y,
                    std::int64_t keys[2]) {
  keys[0] = kNone;
  keys[1] = kNone;
  for (std::int32_t i = 0; i < neq; ++i) {
    if (!std::isfinite(y[i])) {
      keys[0] = s.offset + i;
      break;
    }
  }
  const NormSettings<Real>& n = s.norm;
  if (!n.tolerances || (n.per_component && n.each.size() != static_cast<std::size_t>(neq))) return;
  for (std::int32_t i = 0; i < neq; ++i) {
    const Real a = n.atol_of(i);
    if (!(a >= Real{0})) {
      keys[1] = 2 * (s.offset + i);
      return;
    }
    if (a == Real{0} && (n.rtol == Real{0} || y[i] == Real{0})) {
      keys[1] = 2 * (s.offset + i) + 1;
      return;
    }
  }
}

// The tolerances' reports, in the order the integrator makes them.
template <class Real>
void post_tolerances(const DistributedState<Real>& s, bool counted, std::int64_t count,
                     std::int64_t key, Real atol) {
  const NormSettings<Real>& n = s.norm;
  if (!(n.rtol >= Real{0})) post(ode::StartRefusal::kRtol, 0, 0, n.rtol);
  if (!counted) {
    post(ode::StartRefusal::kAtolCount, count, n.global_neq, Real{0});
  } else if (key != kNone && key % 2 == 0) {
    post(ode::StartRefusal::kAtol, key / 2 + 1, 0, atol);
  } else if (key != kNone) {
    post(ode::StartRefusal::kZeroWeight, key / 2 + 1, key / 2 + 1, Real{0});
  }
}

}  // namespace

template <class Real>
bool start_checks(DistributedState<Real>& s, std::int32_t neq, const Real& x, const Real& xend,
                  const Real& tol, const Real* y) {
  const NormSettings<Real>& n = s.norm;
  const bool counted = !n.per_component || n.each.size() == static_cast<std::size_t>(neq);
  std::int64_t sums[2] = {neq, n.per_component ? static_cast<std::int64_t>(n.each.size()) : neq};
  MPI_Allreduce(MPI_IN_PLACE, sums, 2, MPI_INT64_T, MPI_SUM, s.comm);
  const std::int64_t own = neq;
  std::int64_t below = 0;
  MPI_Exscan(&own, &below, 1, MPI_INT64_T, MPI_SUM, s.comm);
  s.offset = s.rank == 0 ? 0 : below;
  s.norm.global_neq = sums[0];
  std::int64_t mins[4] = {neq, counted ? 1 : 0, kNone, kNone};
  if (neq >= 1) local_offences(s, neq, y, &mins[2]);
  MPI_Allreduce(MPI_IN_PLACE, mins, 4, MPI_INT64_T, MPI_MIN, s.comm);
  if (mins[0] < 1) {
    post(ode::StartRefusal::kNeq, mins[0], 0, Real{0});
    return false;
  }
  // Refused arguments are the local integrator's to report, alike everywhere.
  if (!(tol > Real{0}) || !std::isfinite(x) || !std::isfinite(xend)) return true;
  if (mins[2] == kNone && mins[3] == kNone && mins[1] == 1 && n.rtol >= Real{0}) return true;
  // The values of the offending components, from the processes that own
  // them (every other process adds +0, which changes no offending value).
  const auto owns = [&](std::int64_t g) { return g >= s.offset && g < s.offset + neq; };
  Real values[2] = {Real{0}, Real{0}};
  if (mins[2] != kNone && owns(mins[2])) values[0] = y[mins[2] - s.offset];
  if (mins[3] != kNone && owns(mins[3] / 2))
    values[1] = n.atol_of(static_cast<std::int32_t>(mins[3] / 2 - s.offset));
  MPI_Allreduce(MPI_IN_PLACE, values, 2, datatype<Real>(), MPI_SUM, s.comm);
  if (mins[2] != kNone) post(ode::StartRefusal::kYNotFinite, mins[2] + 1, 0, values[0]);
  if (n.tolerances) {
    // Every slice must have its own ATOL_i, even when the totals agree.
    post_tolerances(s, mins[1] == 1 && sums[1] == sums[0], sums[1], mins[3], values[1]);
  }
  return false;
}

template <class Real>
void read_norm_settings(NormSettings<Real>& n, const Real* param) {
  const Real inorm = param::get(param, 10);
  n.inorm = inorm > Real{0} && inorm < Real{4} ? static_cast<std::int32_t>(inorm) : 0;
  const Real floor = param::get(param, 11);
  n.floor = floor > Real{0} ? floor : Real{1};
}

template <class Real>
Real first_step_entry(const DistributedState<Real>& s, const Real& tol, const Real* param) {
  const NormSettings<Real>& n = s.norm;
  const Real given = param::get(param, param::kInitialStep);
  if (!n.tolerances || given != Real{0}) return given;
  // The largest ATOL_i of the whole system only when RTOL does not decide.
  Real top = Real{0};
  if (!(n.rtol > Real{0})) {
    for (std::size_t i = 0; i < (n.per_component ? n.each.size() : 1); ++i) {
      const Real a = n.per_component ? n.each[i] : n.atol;
      top = a > top ? a : top;
    }
    top = global_max(s.comm, top);
  }
  return ode::first_trial_step(tol, param, n.rtol, top);
}

#define RKV_MPI_START(Real)                                                            \
  template bool start_checks<Real>(DistributedState<Real>&, std::int32_t, const Real&, \
                                   const Real&, const Real&, const Real*);             \
  template void read_norm_settings<Real>(NormSettings<Real>&, const Real*);            \
  template Real first_step_entry<Real>(const DistributedState<Real>&, const Real&, const Real*);
RKV_MPI_START(float)
RKV_MPI_START(double)
#undef RKV_MPI_START

}  // namespace rkv::mpi
