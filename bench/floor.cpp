// The floor integrator. Written for speed within the solver's arithmetic:
// the stage sums have their length fixed at compile time so that the loops
// over the equations vectorise, the stage-2 argument is formed in one pass,
// the candidate, the error vector and its INORM 0 norm are formed in one
// pass (the error vector is never stored), and the accepted solution and the
// running maximum of |y| are written in one pass. None of this changes a
// bit: each stored value is the same double expression rounded once.
#include "floor.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <limits>
#include <new>
#include <type_traits>

#include "front/aligned_memory.hpp"
#include "front/huge_pages.hpp"
#include "step/isa.hpp"
#include "step/real_format.hpp"
#include "step/verner_table_double.hpp"

namespace rkv::bench {
namespace {

// The Verner pair as single-precision bit patterns: a(s, j) row by row
// (no a76), then the weights b(j), then the error weights e(j).
constexpr std::array<std::uint32_t, 43> kPairBits = {
    0x3E2AAAABu,                                                      // a21
    0x3D5A740Eu, 0x3E5A740Eu,                                         // a3j
    0x3F555555u, 0xC02AAAABu, 0x40200000u,                            // a4j
    0xC0250000u, 0x4112AAABu, 0xC0D48000u, 0x3F62AAABu,               // a5j
    0x4019999Au, 0xC1000000u, 0x40D1EF45u, 0xBE9C71C7u, 0x3EB0B0B1u,  // a6j
    0xBF0D0599u, 0x3FD3A06Du, 0xBF721212u, 0xBEA5E354u, 0x3E6F662Fu,  // a7j
    0x4002450Fu, 0xC0DF417Du, 0x40B4BDE4u, 0xBE0CADC1u, 0x3E929636u,  // a8j
    0x00000000u, 0x3E13A38Bu,                                         //
    0x3D99999Au, 0x00000000u, 0x3EC7A4BCu, 0x3EA38E39u,               // b
    0x3E0A477Fu, 0x00000000u, 0x3C30AC6Fu, 0x3D8EF607u,               //
    0x3BCCCCCDu, 0x00000000u, 0x3BE429FBu, 0xBBE38E39u,               // e
    0x3BC9222Du, 0x3D8BA2E9u, 0xBC30AC6Fu, 0xBD8EF607u,               //
};

// Coefficient k (0-based) of the pair in the storage type, widened to
// double (exactly); the double pair is the solver's own table.
template <class Real>
constexpr double coef(std::size_t k) {
  if constexpr (std::is_same_v<Real, float>) {
    return static_cast<double>(std::bit_cast<float>(kPairBits[k]));
  } else {
    return std::bit_cast<double>(ode::kVernerTableDoubleBits[k]);
  }
}

template <class Real, std::size_t M>
constexpr std::array<double, M> row(std::size_t first) {
  std::array<double, M> r{};
  for (std::size_t j = 0; j < M; ++j) r[j] = coef<Real>(first + j);
  return r;
}

template <class Real>
struct Pair {
  static constexpr auto kA3 = row<Real, 2>(1);
  static constexpr auto kA4 = row<Real, 3>(3);
  static constexpr auto kA5 = row<Real, 4>(6);
  static constexpr auto kA6 = row<Real, 5>(10);
  static constexpr auto kA7 = row<Real, 5>(15);
  static constexpr auto kA8 = row<Real, 7>(20);
  static constexpr auto kB = row<Real, 8>(27);
  static constexpr auto kE = row<Real, 8>(35);
};

// The step-size constants and x^(1/6) of the storage type's path.
template <class Real>
using Format = ode::RealFormat<Real>;

// out_i := (a_1 k1_i + ... + a_M kM_i) * h + y_i, summed from k1 upward.
template <std::size_t M, class Real>
RKV_ALWAYS_INLINE void stage_argument(std::size_t n, const std::array<double, M>& a, Real* const* k,
                                      double h, const Real* y, Real* __restrict out) {
  std::array<const Real*, M> kk{};
  for (std::size_t j = 0; j < M; ++j) kk[j] = k[j];
  for (std::size_t i = 0; i < n; ++i) {
    double s = a[0] * static_cast<double>(kk[0][i]);
    for (std::size_t j = 1; j < M; ++j) s += a[j] * static_cast<double>(kk[j][i]);
    out[i] = static_cast<Real>(s * h + static_cast<double>(y[i]));
  }
}

// Candidate solution into `cand` and the INORM 0 norm of the error vector
// max_i |err_i| / max(|y_i|, 1), err_i rounded to Real as if stored.
//
// The maxima are taken on the bit patterns, which order non-negative reals
// as their values do; that lets the loop vectorise. A NaN |y_i| yields the divisor 1 (as a maximum
// that ignores NaN would), and a NaN quotient, whose pattern exceeds every number's, makes the norm
// NaN, as in the solver, so that the step is rejected.
template <class Real>
RKV_ALWAYS_INLINE Real candidate_and_norm(std::size_t n, Real* const* k, double h, const Real* y,
                                          Real* __restrict cand) {
  // Signed patterns of the storage type's width: the comparisons vectorise
  // on every instruction set the loop is compiled for.
  using Bits = std::make_signed_t<typename Format<Real>::Bits>;
  constexpr Bits kOneBits = std::bit_cast<Bits>(Real{1});
  constexpr Bits kInfBits = static_cast<Bits>(Format<Real>::kInfinity);
  constexpr Bits kMagnitude = static_cast<Bits>(Format<Real>::kMagnitude);
  constexpr auto kB = Pair<Real>::kB;
  constexpr auto kE = Pair<Real>::kE;
  Bits enorm = 0;  // +0
  const Real* k1 = k[0];
  const Real* k2 = k[1];
  const Real* k3 = k[2];
  const Real* k4 = k[3];
  const Real* k5 = k[4];
  const Real* k6 = k[5];
  const Real* k7 = k[6];
  const Real* k8 = k[7];
  for (std::size_t i = 0; i < n; ++i) {
    const double d[8] = {static_cast<double>(k1[i]), static_cast<double>(k2[i]),
                         static_cast<double>(k3[i]), static_cast<double>(k4[i]),
                         static_cast<double>(k5[i]), static_cast<double>(k6[i]),
                         static_cast<double>(k7[i]), static_cast<double>(k8[i])};
    double sb = kB[0] * d[0];
    double se = kE[0] * d[0];
    for (std::size_t j = 1; j < 8; ++j) {
      sb += kB[j] * d[j];
      se += kE[j] * d[j];
    }
    cand[i] = static_cast<Real>(sb * h + static_cast<double>(y[i]));
    const Real err = static_cast<Real>(se);
    Bits ya = std::bit_cast<Bits>(y[i]) & kMagnitude;
    ya = ya > kOneBits && ya <= kInfBits ? ya : kOneBits;
    const Real q = static_cast<Real>(std::fabs(static_cast<double>(err)) /
                                     static_cast<double>(std::bit_cast<Real>(ya)));
    const Bits qb = std::bit_cast<Bits>(q);
    enorm = qb > enorm ? qb : enorm;
  }
  return std::bit_cast<Real>(enorm);
}

}  // namespace

template <class Real>
void BasicFloor<Real>::reserve(std::int32_t neq) {
  // The same memory treatment as the solver's workspace: a start on a cache
  // line, huge pages asked for before the first write.
  const std::size_t count = 10 * static_cast<std::size_t>(neq);
  if (capacity_ < count) {
    block_.reset();
    wk_ = nullptr;
    capacity_ = 0;
    void* block = nullptr;
    Real* p = ode::calloc_cache_aligned<Real>(count, block);
    block_.reset(block);
    if (p == nullptr) throw std::bad_alloc();
    ode::advise_huge_pages(p, count * sizeof(Real));
    wk_ = p;
    capacity_ = count;
  }
  std::fill(wk_, wk_ + count, Real{0});
}

template <class Real>
void BasicFloor<Real>::start(std::int32_t neq, const Real* y, Real hmax, Real tol) {
  neq_ = neq;
  const std::size_t n = static_cast<std::size_t>(neq);
  reserve(neq);
  Real* w = wk_ + 9 * n;
  for (std::size_t i = 0; i < n; ++i) w[i] = std::fabs(y[i]);
  hmax_ = hmax;
  hmin_ = Real{0};
  e_ = Real{0};
  step_ = Real{0};
  rejections_ = 0;
  accepted_ = 0;
  evaluations_ = 0;
  total_rejections_ = 0;
  h_ = static_cast<Real>((0.5 * static_cast<double>(hmax)) *
                         Format<Real>::root6(static_cast<double>(tol)));
}

template <class Real>
bool BasicFloor<Real>::advance(Rhs f, Real& x, Real xend, Real tol, Real* y) {
  switch (ode::active_isa()) {
    case ode::Isa::kAvx512:
      return advance_avx512(f, x, xend, tol, y);
    case ode::Isa::kAvx2:
      return advance_avx2(f, x, xend, tol, y);
    default:
      return advance_baseline(f, x, xend, tol, y);
  }
}

template <class Real>
RKV_TARGET_AVX512 bool BasicFloor<Real>::advance_avx512(Rhs f, Real& x, Real xend, Real tol,
                                                        Real* y) {
  return advance_body(f, x, xend, tol, y);
}

template <class Real>
RKV_TARGET_AVX2 bool BasicFloor<Real>::advance_avx2(Rhs f, Real& x, Real xend, Real tol, Real* y) {
  return advance_body(f, x, xend, tol, y);
}

template <class Real>
bool BasicFloor<Real>::advance_baseline(Rhs f, Real& x, Real xend, Real tol, Real* y) {
  return advance_body(f, x, xend, tol, y);
}

template <class Real>
RKV_ALWAYS_INLINE bool BasicFloor<Real>::advance_body(Rhs f, Real& x, Real xend, Real tol,
                                                      Real* y) {
  const std::size_t n = static_cast<std::size_t>(neq_);
  Real* k[8];
  for (std::size_t j = 0; j < 8; ++j) k[j] = wk_ + j * n;
  Real* const arg = wk_ + 8 * n;  // stage argument, then the candidate
  Real* const w = wk_ + 9 * n;    // running maximum of |y|
  bool retry = false;
  Real xs = Real{0};  // stage abscissa, passed by reference
  for (;;) {
    if (!retry) {
      f(neq_, x, y, k[0]);
      ++evaluations_;
    }
    if (hmin_ == Real{0}) {
      const double m =
          std::fmax(std::fabs(static_cast<double>(x)), std::fabs(static_cast<double>(xend)));
      hmin_ = static_cast<Real>(
          10.0 * std::fmax(static_cast<double>(std::numeric_limits<Real>::epsilon()) * m,
                           static_cast<double>(std::numeric_limits<Real>::min())));
    }

    // Next trial magnitude from the last one and its error measure.
    const double hd = static_cast<double>(h_);
    Real hnew;
    if (rejections_ < 2) {
      Real t;
      if (static_cast<double>(e_) * Format<Real>::kGrowthLimit <= static_cast<double>(tol)) {
        t = static_cast<Real>(2.0 * hd);
      } else {
        t = static_cast<Real>(
            Format<Real>::root6(static_cast<double>(tol) / static_cast<double>(e_)) *
            Format<Real>::kSafety * hd);
      }
      hnew = static_cast<Real>(std::fmax(0.5 * hd, static_cast<double>(t)));
    } else {
      hnew = static_cast<Real>(0.5 * hd);
    }
    h_ = hnew < hmax_ ? hnew : hmax_;
    h_ = h_ > hmin_ ? h_ : hmin_;

    // Geometry: land on xend exactly, halve the remainder when the trial
    // step covers more than half of it.
    const Real dist = static_cast<Real>(static_cast<double>(xend) - static_cast<double>(x));
    const double ad = std::fabs(static_cast<double>(dist));
    Real xnew;
    if (static_cast<double>(h_) < ad) {
      h_ = static_cast<Real>(std::fmin(static_cast<double>(h_), 0.5 * ad));
      xnew = dist >= Real{0} ? static_cast<Real>(static_cast<double>(x) + static_cast<double>(h_))
                             : static_cast<Real>(static_cast<double>(x) - static_cast<double>(h_));
    } else {
      xnew = xend;
      h_ = static_cast<Real>(ad);
    }
    step_ = static_cast<Real>(static_cast<double>(xnew) - static_cast<double>(x));
    const double hs = static_cast<double>(step_);
    const double x0 = static_cast<double>(x);

    // Stage 2: y + (a21 H) k1, the product rounded to Real first; with a
    // zero product the argument is y itself, bit for bit.
    const Real c = static_cast<Real>(coef<Real>(0) * hs);
    if (c == Real{0}) {
      for (std::size_t i = 0; i < n; ++i) arg[i] = y[i];
    } else {
      const double cd = static_cast<double>(c);
      const Real* k1 = k[0];
      for (std::size_t i = 0; i < n; ++i) {
        arg[i] = static_cast<Real>(cd * static_cast<double>(k1[i]) + static_cast<double>(y[i]));
      }
    }
    xs = static_cast<Real>(hs / 6.0 + x0);
    f(neq_, xs, arg, k[1]);
    stage_argument(n, Pair<Real>::kA3, k, hs, y, arg);
    xs = static_cast<Real>((hs * 4.0) / 15.0 + x0);
    f(neq_, xs, arg, k[2]);
    stage_argument(n, Pair<Real>::kA4, k, hs, y, arg);
    xs = static_cast<Real>((hs * 2.0) / 3.0 + x0);
    f(neq_, xs, arg, k[3]);
    stage_argument(n, Pair<Real>::kA5, k, hs, y, arg);
    xs = static_cast<Real>((hs * 5.0) / 6.0 + x0);
    f(neq_, xs, arg, k[4]);
    stage_argument(n, Pair<Real>::kA6, k, hs, y, arg);
    xs = static_cast<Real>(hs + x0);
    f(neq_, xs, arg, k[5]);
    stage_argument(n, Pair<Real>::kA7, k, hs, y, arg);
    xs = static_cast<Real>(hs / 15.0 + x0);
    f(neq_, xs, arg, k[6]);
    stage_argument(n, Pair<Real>::kA8, k, hs, y, arg);
    xs = static_cast<Real>(hs + x0);
    f(neq_, xs, arg, k[7]);
    evaluations_ += 7;

    const Real enorm = candidate_and_norm(n, k, hs, y, arg);
    e_ = static_cast<Real>(static_cast<double>(h_) * static_cast<double>(enorm) * 1.0);

    if (static_cast<double>(e_) <= static_cast<double>(tol)) {
      x = xnew;
      for (std::size_t i = 0; i < n; ++i) {
        const Real v = arg[i];
        y[i] = v;
        const Real a = std::fabs(v);
        w[i] = a > w[i] ? a : w[i];
      }
      ++accepted_;
      rejections_ = 0;
      retry = false;
      if (x == xend) return true;
    } else {
      ++rejections_;
      ++total_rejections_;
      if (!(h_ > hmin_)) return false;
      retry = true;
    }
  }
}

template class BasicFloor<float>;
template class BasicFloor<double>;

}  // namespace rkv::bench
