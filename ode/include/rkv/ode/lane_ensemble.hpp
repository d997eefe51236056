// rkv::integrate_lanes: an ensemble of small systems integrated in SIMD
// lanes, several members per vector, each member bit for bit what a
// BasicIntegrator<Real> gives for it alone.
//
// Member m integrates NEQ equations from X0[m] to XEND[m] with the shared
// TOL and its PARAM (one for all or one per member; entries 1 to 5 and 9 to
// 11 are honoured, the pauses 7 and 8 are not: the lanes follow the protocol
// without pauses). Its results are what a fresh integrator gives after
// integrate(IDO = 1) to XEND and integrate(IDO = 3): Y, X, PARAM(31..35),
// and the type and code of the error that ended it (0 and 0 when it reached
// XEND; 4 with code 1, 2 or 3 for TOL unmet at HMIN, the evaluation or the
// step limit; 5 with the start-up checks' codes for bad X0, XEND, Y0 or
// PARAM). An error ends only its own member: nothing is printed, nothing
// stops the process, the lane takes the next member.
//
// The right-hand side is one callable with a template call operator over
// the arithmetic type T, which is Real for one member and Lane<Real, W>
// (lane.hpp) for W members:
//   template <class T>
//   void operator()(const std::int32_t& neq, const T& x, const T* y,
//                   T* yprime, T* p) const;
// where p holds the member's NPAR parameters (the problem's own, not PARAM:
// a coefficient of a sweep, a model's switch ...), set from the problem's
// at the member's start and kept with its lane; the right-hand side may
// update them (a switch that the model turns over as it goes), as long as
// an update depends on X, Y and the parameters alone. Each lane must
// compute what the scalar call computes for its member (lane.hpp says how,
// and the build contract: no FMA contraction, no fast-math). It is called
// for all W lanes of a block at once, idle lanes and lanes that are retrying
// a rejected step included (their values are the last ones they held and
// their results are ignored), so it must be deterministic and must not
// fail on finite inputs. With threads > 1 it is called from that many
// threads at once. An exception from it leaves integrate_lanes on the
// calling thread, after every thread has stopped; the members not yet
// finished then have no results.
//
// Lanes per block: 4 on the baseline (SSE2), 8 with AVX2, 16 with AVX-512F
// (two vectors of doubles each, interleaved); the widest set the processor
// offers is used. The width never changes a bit.
#pragma once

#include <cstdint>
#include <type_traits>

#include "rkv/ode/lane.hpp"

#pragma GCC visibility push(default)  // the interface the shared libraries export

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define RKV_LANES_TARGET_AVX2 __attribute__((target("avx2")))
#define RKV_LANES_TARGET_AVX512 __attribute__((target("avx512f")))
#else
#define RKV_LANES_TARGET_AVX2
#define RKV_LANES_TARGET_AVX512
#endif

namespace rkv {

// Members per block for the baseline, AVX2 and AVX-512F, in that order.
inline constexpr std::int32_t kLaneWidths[3] = {8, 16, 32};

// integrate_lanes' result when it refuses its arguments (nothing written),
// and when members were left without results because the lanes' columns
// (about 11 x NEQ x 16 reals per thread) could not be allocated.
inline constexpr std::int32_t kLanesRefused = -1;
inline constexpr std::int32_t kLanesNoStorage = -2;

template <class Real>
struct LaneProblem {
  std::int32_t members = 0;
  std::int32_t neq = 0;
  std::int32_t npar = 0;             // parameters per member, for the right-hand side
  const Real* x0 = nullptr;          // [members]
  const Real* xend = nullptr;        // [members]
  const Real* y0 = nullptr;          // [members][neq]
  const Real* parameters = nullptr;  // [members][npar]; may be null when npar is 0
  Real tol{};                        // TOL, shared
  const Real* param = nullptr;       // PARAM (param::kSize entries); null: every entry 0
  std::int32_t param_stride = 0;     // 0: one PARAM for all; param::kSize: one per member
};

// Where the members' results go; any pointer but y may be null.
template <class Real>
struct LaneResults {
  Real* y = nullptr;                   // [members][neq]
  Real* x = nullptr;                   // [members]
  Real* statistics = nullptr;          // [members][5]: PARAM(31..35)
  std::int32_t* error_type = nullptr;  // [members]
  std::int32_t* error_code = nullptr;  // [members]
};

// One evaluation on a block, as the library hands it over: x, y, yprime
// and the parameters are arrays of Lane<Real, width> (1, neq, neq, npar);
// member[l] is lane l's member, or -1 for an idle lane.
template <class Real>
struct LaneBlock {
  std::int32_t width;
  std::int32_t neq;
  std::int32_t npar;
  const void* x;
  const void* y;
  void* yprime;
  void* parameters;
  const std::int32_t* member;
};
template <class Real>
using LaneBlockFunction = void (*)(void* context, const LaneBlock<Real>& block);

// The block function of each instruction set (widths kLaneWidths), one
// indirect call per evaluation of a block.
template <class Real>
struct LaneRhs {
  LaneBlockFunction<Real> block[3];
  void* context;
};

namespace ode {
// The ensemble over block functions; threads < 1 means one per core.
// Returns the most serious error type of the members (0 when all reached
// their XEND), kLanesNoStorage, or kLanesRefused for a count below 0, NEQ
// below 1, NPAR below 0, a PARAM stride other than 0 and param::kSize, or
// a null array the problem needs. Marked for export by name: the pragma
// around this header does not reach a function template's instantiations.
template <class Real>
__attribute__((visibility("default"))) std::int32_t run_lanes(const LaneProblem<Real>& problem,
                                                              const LaneRhs<Real>& rhs,
                                                              const LaneResults<Real>& results,
                                                              std::int32_t threads);
extern template std::int32_t run_lanes<float>(const LaneProblem<float>&, const LaneRhs<float>&,
                                              const LaneResults<float>&, std::int32_t);
extern template std::int32_t run_lanes<double>(const LaneProblem<double>&, const LaneRhs<double>&,
                                               const LaneResults<double>&, std::int32_t);

// The user's template on one block of width W, compiled in the caller's
// translation unit for the instruction set of that width.
template <class Real, int W, class F>
inline __attribute__((always_inline)) void lane_block_body(void* context,
                                                           const LaneBlock<Real>& b) {
  using L = Lane<Real, W>;
  const F& f = *static_cast<const F*>(context);
  f(b.neq, *static_cast<const L*>(b.x), static_cast<const L*>(b.y), static_cast<L*>(b.yprime),
    static_cast<L*>(b.parameters));
}
// Flattened: the user's call operator and the lane operators it calls are
// inlined into the variant, so that they run with its instruction set
// (compiled on their own they would get the caller's default set).
template <class Real, class F>
__attribute__((flatten)) void lane_block_baseline(void* context, const LaneBlock<Real>& b) {
  lane_block_body<Real, kLaneWidths[0], F>(context, b);
}
template <class Real, class F>
RKV_LANES_TARGET_AVX2 __attribute__((flatten)) void lane_block_avx2(void* context,
                                                                    const LaneBlock<Real>& b) {
  lane_block_body<Real, kLaneWidths[1], F>(context, b);
}
template <class Real, class F>
RKV_LANES_TARGET_AVX512 __attribute__((flatten)) void lane_block_avx512(void* context,
                                                                        const LaneBlock<Real>& b) {
  lane_block_body<Real, kLaneWidths[2], F>(context, b);
}
}  // namespace ode

template <class Real, class F>
std::int32_t integrate_lanes(const LaneProblem<Real>& problem, const F& f,
                             const LaneResults<Real>& results, std::int32_t threads = 1) {
  static_assert(std::is_same_v<Real, float> || std::is_same_v<Real, double>,
                "the storage type is float or double");
  const LaneRhs<Real> rhs{{&ode::lane_block_baseline<Real, F>, &ode::lane_block_avx2<Real, F>,
                           &ode::lane_block_avx512<Real, F>},
                          const_cast<F*>(&f)};  // NOLINT(cppcoreguidelines-pro-type-const-cast)
  return ode::run_lanes(problem, rhs, results, threads);
}

// Member m's right-hand side as an integrator takes it: f on Real with the
// member's parameters (a copy the caller keeps for the run, updated as the
// lanes update theirs): the scalar run every lane reproduces.
template <class Real, class F>
auto member_rhs(const F& f, Real* parameters) {
  return [&f, parameters](const std::int32_t& neq, const Real& x, const Real* y, Real* yprime) {
    f(neq, x, y, yprime, parameters);
  };
}

}  // namespace rkv

#pragma GCC visibility pop
