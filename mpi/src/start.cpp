// The start of a distributed integration (start.hpp). The reports are the
// integrator's own (type, code and text), posted under its routine names
// with the global index of the component, so that a refused start reads as
// the serial run's.
#include "start.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

#include "rkv/errors/params.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/mpi/reduce.hpp"
#include "rkv/ode/param.hpp"

namespace rkv::mpi {
namespace {

constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max();
constexpr std::string_view kFrontName = "IVPRK ";
constexpr std::string_view kIntegratorName = "I2PRK ";

// The integrator's start-up reports that concern the whole system.
struct StartReport {
  std::int32_t code;
  std::string_view text;
};
constexpr StartReport kNeqReport{1, "The number of equations NEQ = %(I1).  It must be at least 1."};
constexpr StartReport kYReport{17, "Initial value Y(%(I1)) = %(R1).  It must be a finite number."};
constexpr StartReport kRtolReport{
    19, "The relative tolerance RTOL = %(R1).  It must be 0.0 or greater."};
constexpr StartReport kAtolReport{
    20, "The absolute tolerance ATOL(%(I1)) = %(R1).  It must be 0.0 or greater."};
constexpr StartReport kCountReport{
    21,
    "The number of absolute tolerances is %(I1), but NEQ = %(I2).  There must be one for each "
    "equation."};
constexpr StartReport kWeightReport{
    22,
    "The absolute tolerance ATOL(%(I1)) and RTOL*|Y(%(I2))| are both 0.0.  The error of that "
    "component cannot be weighted."};

void set_real(std::int32_t index, float value) {
  E1SETREAL(index, value);
}
void set_real(std::int32_t index, double value) {
  E1SETDBL(index, value);
}

// Posts a TERMINAL start-up report with up to two integers and one real.
template <class Real>
void post(const StartReport& r, std::int64_t i1, std::int64_t i2, Real r1) {
  E1PSH(kFrontName);
  E1PSH(kIntegratorName);
  E1SETINT(1, static_cast<std::int32_t>(i1));
  E1SETINT(2, static_cast<std::int32_t>(i2));
  set_real(1, r1);
  E1MES(kTerminal, r.code, r.text);
  E1POP(kIntegratorName);
  E1POP(kFrontName);
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
  if (!(n.rtol >= Real{0})) post(kRtolReport, 0, 0, n.rtol);
  if (!counted) {
    post(kCountReport, count, n.global_neq, Real{0});
  } else if (key != kNone && key % 2 == 0) {
    post(kAtolReport, key / 2 + 1, 0, atol);
  } else if (key != kNone) {
    post(kWeightReport, key / 2 + 1, key / 2 + 1, Real{0});
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
    post(kNeqReport, mins[0], 0, Real{0});
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
  if (mins[2] != kNone) post(kYReport, mins[2] + 1, 0, values[0]);
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

namespace {

// The sixth root the solver derives its first step with.
double root6(float, double x) {
  return std::pow(x, static_cast<double>(std::bit_cast<float>(0x3E2AAAABu)));
}
double root6(double, double x) {
  return static_cast<double>(static_cast<float>(std::pow(x, 1.0 / 6.0)));
}

}  // namespace

template <class Real>
Real first_step_entry(const DistributedState<Real>& s, const Real& tol, const Real* param) {
  const NormSettings<Real>& n = s.norm;
  const Real given = param::get(param, param::kInitialStep);
  if (!n.tolerances || given != Real{0}) return given;
  double q = static_cast<double>(n.rtol);
  if (!(q > 0.0)) {
    Real top = Real{0};
    for (std::size_t i = 0; i < (n.per_component ? n.each.size() : 1); ++i) {
      const Real a = n.per_component ? n.each[i] : n.atol;
      top = a > top ? a : top;
    }
    q = static_cast<double>(global_max(s.comm, top));
  }
  const Real start = static_cast<Real>(static_cast<double>(tol) * q);
  Real hmax = param::get(param, param::kHmax) > Real{0} ? param::get(param, param::kHmax) : Real{2};
  const Real scale = param::get(param, param::kScale);
  if (scale > Real{0}) {
    hmax =
        static_cast<Real>(std::fmin(2.0 / static_cast<double>(scale), static_cast<double>(hmax)));
  }
  const Real h0 = static_cast<Real>((0.5 * static_cast<double>(hmax)) *
                                    root6(Real{0}, static_cast<double>(start)));
  // The local integrator takes half of PARAM(1): doubling is exact.
  return static_cast<Real>(2.0 * static_cast<double>(h0));
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
