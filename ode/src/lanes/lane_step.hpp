// The Verner 6(5) attempt over a block of lanes and the take-over of its
// candidate: per lane the same IEEE operations in the same order as the
// scalar step (step/verner_body.hpp), each formula evaluated in double from
// the stored operands and rounded once to the storage type where it is
// stored; and the register-wide slices the comparisons run on. The loops
// run over the lanes innermost, with a fixed count, so that they become
// vector instructions; a lane's arithmetic does not depend on its
// neighbours'. Internal to the library.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "lanes/lane_block.hpp"
#include "step/isa.hpp"
#include "step/real_format.hpp"
#include "step/verner_body.hpp"

namespace rkv::ode::lanes {

template <int W>
using Wide = Lane<double, W>;

// The compiler's vector types of W reals, for the passes below: every
// operation on them is the elementwise IEEE operation, and
// __builtin_convertvector rounds each element as static_cast does. Written
// this way because the compilers leave the same loops over a lane's
// elements scalar (sixteen accumulators in registers). Values move in and
// out through memcpy and references only, so no function passes a vector
// by value (whose convention differs between the instruction sets).
template <class Real, int W>
struct VecOf {
  typedef Real type __attribute__((vector_size(W * sizeof(Real))));  // NOLINT(modernize-use-using)
};
template <class Real, int W>
using Vec = typename VecOf<Real, W>::type;

template <class Real, int W>
RKV_ALWAYS_INLINE void widen(const Lane<Real, W>& a, Vec<double, W>& out) {
  Vec<Real, W> v;
  std::memcpy(&v, a.v, sizeof v);
  out = __builtin_convertvector(v, Vec<double, W>);
}

// The stored column j of the block: Y for j = 0, else stage k_j.
template <class Real, int W>
RKV_ALWAYS_INLINE const Lane<Real, W>* stored_column(const LaneBlockState<Real, W>& b, int j) {
  return j == 0 ? b.y : b.k[j];
}

// Its widened copy (float storage only).
template <class Real, int W>
RKV_ALWAYS_INLINE Lane<double, W>* wide_column(const LaneBlockState<Real, W>& b, int j) {
  return j == 0 ? b.wide_y : b.wide_k[j];
}

// Row i of column j (stored_column) in double, for the sums: the block's
// widened copy where it keeps one (float storage), else the row itself.
template <class Real, int W>
RKV_ALWAYS_INLINE void load_wide(const LaneBlockState<Real, W>& b, int j, std::size_t i,
                                 Vec<double, W>& out) {
  if constexpr (LaneBlockState<Real, W>::kWidens) {
    std::memcpy(&out, wide_column(b, j)[i].v, sizeof out);
  } else {
    std::memcpy(&out, stored_column(b, j)[i].v, sizeof out);
  }
}

// The widened copy of column j, made once for the sums that read each row
// up to eight times. Measured on an Intel Xeon with AVX-512F, a conversion
// at every use cost more than loading twice the bytes (an AMD EPYC that
// splits 512-bit operations was a little faster with the conversions).
// Written on the block and its column number: with the two columns passed
// as pointers, g++ copied each widened row out through the stack in
// 16-byte pieces, and the float lanes lost what the copy gains.
template <class Real, int W>
RKV_ALWAYS_INLINE void keep_wide(LaneBlockState<Real, W>& b, int j) {
  if constexpr (LaneBlockState<Real, W>::kWidens) {
    const std::size_t n = static_cast<std::size_t>(b.neq);
    for (std::size_t i = 0; i < n; ++i) {
      Vec<double, W> d;
      widen(stored_column(b, j)[i], d);
      std::memcpy(wide_column(b, j)[i].v, &d, sizeof d);
    }
  }
}

template <class Real, int W>
RKV_ALWAYS_INLINE void narrow(const Vec<double, W>& a, Lane<Real, W>& out) {
  const Vec<Real, W> v = __builtin_convertvector(a, Vec<Real, W>);
  std::memcpy(out.v, &v, sizeof v);
}

// |v| elementwise with the sign bit cleared, as std::fabs gives it (a
// comparison with 0 would leave -0 negative).
template <class Real, int W>
RKV_ALWAYS_INLINE void magnitude(const Vec<Real, W>& v, Vec<Real, W>& out) {
  using Bits = typename RealFormat<Real>::Bits;
  using BitsVec = typename VecOf<Bits, W>::type;
  out = reinterpret_cast<Vec<Real, W>>(reinterpret_cast<BitsVec>(v) &
                                       static_cast<Bits>(RealFormat<Real>::kMagnitude));
}

// Comparisons and selects work on register-wide slices of a block's
// lanes, one register of reals at a time: g++ takes a comparison on a
// vector wider than a register element by element, and so too a
// comparison whose mask is used as a value (or-ed with another, or folded
// into one from two nested selects). So every comparison below is the
// condition of a select on one slice, and `keep_apart` stops the folding
// of two selects of one value. The variant of width W runs on registers
// of kRegisterBytes<W>.
template <int W>
inline constexpr int kRegisterBytes = !RKV_X86_VARIANTS     ? 16
                                      : W == kLaneWidths[2] ? 64
                                      : W == kLaneWidths[1] ? 32
                                                            : 16;
template <class Real, int W>
inline constexpr int kSliceWidth = kRegisterBytes<W> / static_cast<int>(sizeof(Real));
template <class Real, int W>
using Slice = Vec<Real, kSliceWidth<Real, W>>;
template <class Real, int W>
inline constexpr int kSlices = W / kSliceWidth<Real, W>;

template <class Real, int W>
RKV_ALWAYS_INLINE void load_slice(const Real* lanes, int c, Slice<Real, W>& out) {
  std::memcpy(&out, lanes + c * kSliceWidth<Real, W>, sizeof out);
}
template <class Real, int W>
RKV_ALWAYS_INLINE void store_slice(const Slice<Real, W>& v, int c, Real* lanes) {
  std::memcpy(lanes + c * kSliceWidth<Real, W>, &v, sizeof v);
}
template <class V>
RKV_ALWAYS_INLINE void keep_apart([[maybe_unused]] V& v) {
  // clang neither folds them nor takes the operand in a register here; the
  // variants for other processors are all the baseline's, in 16 bytes.
#if RKV_X86_VARIANTS && !defined(__clang__)
  asm("" : "+v"(v));
#endif
}

// out := (a_1 k1 + ... + a_M kM) * H + Y for one of the stages 3 to 8.
template <std::size_t Stage, class Real, int W>
RKV_ALWAYS_INLINE void stage_argument(LaneBlockState<Real, W>& b, const Wide<W>& h) {
  constexpr std::size_t M = static_cast<std::size_t>(kRowLength[Stage]);
  constexpr std::array<double, M> a = stepping::widened<M, Real>(kRowA[Stage]);
  Vec<double, W> hv;
  std::memcpy(&hv, h.v, sizeof hv);
  const std::size_t n = static_cast<std::size_t>(b.neq);
  for (std::size_t i = 0; i < n; ++i) {
    Vec<double, W> d;
    load_wide(b, 1, i, d);
    Vec<double, W> sum = a[0] * d;
    for (std::size_t j = 1; j < M; ++j) {
      load_wide(b, static_cast<int>(j + 1), i, d);
      sum += a[j] * d;
    }
    Vec<double, W> y;
    load_wide(b, 0, i, y);
    narrow(sum * hv + y, b.arg[i]);
  }
}

// Stage 2: Y + c k1 with c = a21 * H rounded to the storage type; Y itself
// where c is 0 (even where k1 is not finite, or Y is -0). The rounded c
// passes through memory the compiler must respect: g++ 12 at -O3 was seen
// to drop the rounding of c to float in the SSE2 variant of this loop
// (using a21 * H unrounded, one unit in the last place off the scalar
// step), a transformation only valid under -funsafe-math-optimizations.
template <class Real, int W>
RKV_ALWAYS_INLINE void stage2_argument(LaneBlockState<Real, W>& b, const Wide<W>& h) {
  Vec<double, W> hv;
  std::memcpy(&hv, h.v, sizeof hv);
  Vec<Real, W> cr = __builtin_convertvector(stepping::kWidenedTable<Real>[0] * hv, Vec<Real, W>);
  asm("" : "+m"(cr));
  const Vec<double, W> cd = __builtin_convertvector(cr, Vec<double, W>);
  // Y itself where c is 0 (Y widened and rounded back is Y).
  const std::size_t n = static_cast<std::size_t>(b.neq);
  for (std::size_t i = 0; i < n; ++i) {
    Vec<double, W> k1;
    Vec<double, W> y;
    load_wide(b, 1, i, k1);
    load_wide(b, 0, i, y);
    Vec<double, W> sum = cd * k1 + y;
    for (int c = 0; c < kSlices<double, W>; ++c) {
      Slice<double, W> cs;
      Slice<double, W> ys;
      Slice<double, W> ss;
      load_slice<double, W>(reinterpret_cast<const double*>(&cd), c, cs);
      load_slice<double, W>(reinterpret_cast<const double*>(&y), c, ys);
      load_slice<double, W>(reinterpret_cast<const double*>(&sum), c, ss);
      ss = cs == 0.0 ? ys : ss;
      store_slice<double, W>(ss, c, reinterpret_cast<double*>(&sum));
    }
    narrow(sum, b.arg[i]);
  }
}

// The candidate (into arg) and the error vector (over k2).
template <class Real, int W>
RKV_ALWAYS_INLINE void candidate_and_error(LaneBlockState<Real, W>& b, const Wide<W>& h) {
  constexpr std::array<double, 8> bw = stepping::widened<8, Real>(kRowB);
  constexpr std::array<double, 8> ew = stepping::widened<8, Real>(kRowE);
  Vec<double, W> hv;
  std::memcpy(&hv, h.v, sizeof hv);
  const std::size_t n = static_cast<std::size_t>(b.neq);
  for (std::size_t i = 0; i < n; ++i) {
    Vec<double, W> d;
    load_wide(b, 1, i, d);
    Vec<double, W> sb = bw[0] * d;
    Vec<double, W> se = ew[0] * d;
    for (std::size_t j = 1; j < 8; ++j) {
      load_wide(b, static_cast<int>(j + 1), i, d);
      sb += bw[j] * d;
      se += ew[j] * d;
    }
    Vec<double, W> y;
    load_wide(b, 0, i, y);
    narrow(sb * hv + y, b.arg[i]);
    narrow(se, b.k[2][i]);
  }
}

// The selection masks of the lanes where `lane` is set, one per slice.
template <class Real, int W>
RKV_ALWAYS_INLINE void lane_masks(const std::int32_t (&lane)[W],
                                  decltype(Slice<Real, W>{} !=
                                           Slice<Real, W>{}) (&mask)[kSlices<Real, W>]) {
  using Bits = typename RealFormat<Real>::Bits;
  Bits all[W];
  for (int l = 0; l < W; ++l) all[l] = lane[l] != 0 ? ~Bits{0} : Bits{0};
  for (int c = 0; c < kSlices<Real, W>; ++c) {
    std::memcpy(&mask[c], all + c * kSliceWidth<Real, W>, sizeof mask[c]);
  }
}

// to[i] := from[i] in the lanes where `lane` is set, for n columns.
template <class Real, int W>
RKV_ALWAYS_INLINE void take_where(const std::int32_t (&lane)[W], const Lane<Real, W>* from,
                                  Lane<Real, W>* to, std::size_t n) {
  using S = Slice<Real, W>;
  constexpr int kS = kSlices<Real, W>;
  decltype(S{} != S{}) take[kS];
  lane_masks<Real, W>(lane, take);
  for (std::size_t i = 0; i < n; ++i) {
    for (int c = 0; c < kS; ++c) {
      S v;
      S w;
      load_slice<Real, W>(from[i].v, c, v);
      load_slice<Real, W>(to[i].v, c, w);
      w = take[c] != 0 ? v : w;
      store_slice<Real, W>(w, c, to[i].v);
    }
  }
}

// Y := candidate and max|y| := max(max|y|, |Y|) in the lanes that accept,
// as stepping::accept_loop does for one member.
template <class Real, int W>
RKV_ALWAYS_INLINE void take_accepted(LaneBlockState<Real, W>& b, const std::int32_t (&accept)[W]) {
  using S = Slice<Real, W>;
  using Mask = decltype(S{} != S{});
  constexpr int kS = kSlices<Real, W>;
  constexpr int kC = kSliceWidth<Real, W>;
  Mask take[kS];
  lane_masks<Real, W>(accept, take);
  const std::size_t n = static_cast<std::size_t>(b.neq);
  for (std::size_t i = 0; i < n; ++i) {
    for (int c = 0; c < kS; ++c) {
      S v;
      S y;
      S w;
      load_slice<Real, W>(b.arg[i].v, c, v);
      load_slice<Real, W>(b.y[i].v, c, y);
      load_slice<Real, W>(b.wmax[i].v, c, w);
      S a;
      magnitude<Real, kC>(v, a);
      S raised = a > w ? a : w;
      keep_apart(raised);
      raised = w != w ? a : raised;
      y = take[c] != 0 ? v : y;
      w = take[c] != 0 ? raised : w;
      store_slice<Real, W>(y, c, b.y[i].v);
      store_slice<Real, W>(w, c, b.wmax[i].v);
    }
  }
}

}  // namespace rkv::ode::lanes
