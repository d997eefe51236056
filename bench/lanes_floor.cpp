// The lanes' vector work alone (lanes_floor.hpp), on the library's own
// block state and attempt, compiled once per set like the ensemble's loop.
#include "lanes_floor.hpp"

#include <cmath>
#include <cstddef>
#include <ctime>

#include "lanes/lane_attempt.hpp"
#include "lanes/lane_block.hpp"
#include "lanes/lane_norm.hpp"
#include "lanes/lane_step.hpp"

namespace rkv::bench {
namespace {

double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Members first .. first + W - 1 (member 0 past the end) into the lanes.
template <class Real, int W>
RKV_ALWAYS_INLINE void load_members(ode::LaneBlockState<Real, W>& b, const LaneProblem<Real>& p,
                                    std::int32_t first) {
  const std::size_t n = static_cast<std::size_t>(p.neq);
  const std::size_t np = static_cast<std::size_t>(p.npar);
  for (int l = 0; l < W; ++l) {
    const std::int32_t m = first + l < p.members ? first + l : 0;
    const std::size_t um = static_cast<std::size_t>(m);
    b.member[l] = m;
    b.xcur[l] = p.x0[um];
    for (std::size_t i = 0; i < n; ++i) {
      b.y[i].v[l] = p.y0[um * n + i];
      b.wmax[i].v[l] = std::fabs(b.y[i].v[l]);
    }
    for (std::size_t j = 0; j < np; ++j) b.par[j].v[l] = p.parameters[um * np + j];
  }
}

template <class Real, int W>
RKV_ALWAYS_INLINE double vector_work(const LaneProblem<Real>& p, LaneBlockFunction<Real> fn,
                                     void* context, double step, std::int32_t passes) {
  ode::LaneBlockState<Real, W> b(p.neq, p.npar);
  ode::lanes::Wide<W> h{};
  ode::lanes::Wide<W> x{};
  // Every lane attempts and accepts, under the default norm (INORM 0).
  std::int32_t all[W];
  for (int l = 0; l < W; ++l) {
    all[l] = 1;
    b.attempting[l] = 1;
    h.v[l] = step;
  }
  const double t0 = thread_seconds();
  for (std::int32_t first = 0; first < p.members; first += W) {
    load_members(b, p, first);
    for (std::int32_t pass = 0; pass < passes; ++pass) {
      for (int l = 0; l < W; ++l) {
        b.x.v[l] = b.xcur[l];
        x.v[l] = static_cast<double>(b.xcur[l]);
      }
      ode::lanes::call_block(b, fn, context, b.k[1], b.y);
      ode::lanes::verner(b, fn, context, h, x);
      Real enorm[W];
      ode::lanes::error_norms(b, enorm);
      asm volatile("" : : "r"(enorm) : "memory");  // the norms are formed, though unused
      ode::lanes::take_accepted(b, all);
      for (int l = 0; l < W; ++l) b.xcur[l] = static_cast<Real>(x.v[l] + h.v[l]);
    }
  }
  return thread_seconds() - t0;
}

template <class Real>
RKV_TARGET_AVX512 double work_avx512(const LaneProblem<Real>& p, const LaneRhs<Real>& rhs,
                                     double step, std::int32_t passes) {
  return vector_work<Real, kLaneWidths[2]>(p, rhs.block[2], rhs.context, step, passes);
}
template <class Real>
RKV_TARGET_AVX2 double work_avx2(const LaneProblem<Real>& p, const LaneRhs<Real>& rhs, double step,
                                 std::int32_t passes) {
  return vector_work<Real, kLaneWidths[1]>(p, rhs.block[1], rhs.context, step, passes);
}
template <class Real>
double work_baseline(const LaneProblem<Real>& p, const LaneRhs<Real>& rhs, double step,
                     std::int32_t passes) {
  return vector_work<Real, kLaneWidths[0]>(p, rhs.block[0], rhs.context, step, passes);
}

volatile double peak_sink = 0.0;

// Twelve independent chains on registers of B bytes, half multiplications
// and half additions, more than the units' latency keeps busy: additions
// and multiplications of doubles per ns.
template <int B>
RKV_ALWAYS_INLINE double peak_rate(std::int64_t rounds) {
  using V = ode::lanes::Vec<double, B / 8>;
  const V m = V{} + 1.0000001;
  const V c = V{} + 1e-9;
  V a0 = V{} + 1.0, a1 = V{} + 2.0, a2 = V{} + 3.0, a3 = V{} + 4.0, a4 = V{} + 5.0, a5 = V{} + 6.0,
    a6 = V{} + 7.0, a7 = V{} + 8.0, a8 = V{} + 9.0, a9 = V{} + 10.0, a10 = V{} + 11.0,
    a11 = V{} + 12.0;
  const double t0 = thread_seconds();
  for (std::int64_t k = 0; k < rounds; ++k) {
    a0 = a0 * m, a1 = a1 * m, a2 = a2 * m, a3 = a3 * m, a4 = a4 * m, a5 = a5 * m;
    a6 = a6 + c, a7 = a7 + c, a8 = a8 + c, a9 = a9 + c, a10 = a10 + c, a11 = a11 + c;
  }
  const double seconds = thread_seconds() - t0;
  const V all = a0 + a1 + a2 + a3 + a4 + a5 + a6 + a7 + a8 + a9 + a10 + a11;
  peak_sink = all[0];  // the chains are used, so they are computed
  return 12.0 * static_cast<double>(rounds) * (B / 8) / (seconds * 1e9);
}

double peak_baseline(std::int64_t rounds) {
  return peak_rate<16>(rounds);
}
#if RKV_X86_VARIANTS
RKV_TARGET_AVX512 double peak_avx512(std::int64_t rounds) {
  return peak_rate<64>(rounds);
}
RKV_TARGET_AVX2 double peak_avx2(std::int64_t rounds) {
  return peak_rate<32>(rounds);
}
#else  // one set, and registers of 16 bytes
double peak_avx512(std::int64_t rounds) {
  return peak_baseline(rounds);
}
double peak_avx2(std::int64_t rounds) {
  return peak_baseline(rounds);
}
#endif

}  // namespace

double peak_operations_per_ns(ode::Isa isa) {
  constexpr std::int64_t kRounds = 100000000;
  if (isa == ode::Isa::kAvx512) return peak_avx512(kRounds);
  if (isa == ode::Isa::kAvx2) return peak_avx2(kRounds);
  return peak_baseline(kRounds);
}

template <class Real>
double lane_vector_work(const LaneProblem<Real>& p, const LaneRhs<Real>& rhs, ode::Isa isa,
                        double step, std::int32_t passes) {
  if (isa == ode::Isa::kAvx512) return work_avx512(p, rhs, step, passes);
  if (isa == ode::Isa::kAvx2) return work_avx2(p, rhs, step, passes);
  return work_baseline(p, rhs, step, passes);
}

template double lane_vector_work<float>(const LaneProblem<float>&, const LaneRhs<float>&, ode::Isa,
                                        double, std::int32_t);
template double lane_vector_work<double>(const LaneProblem<double>&, const LaneRhs<double>&,
                                         ode::Isa, double, std::int32_t);

}  // namespace rkv::bench
