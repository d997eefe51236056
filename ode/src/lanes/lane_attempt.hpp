// One step attempt of a block of lanes once its steps and starts are
// chosen: the seven evaluations of the Verner stages at X + c H, each after
// the sums that form its argument, and the candidate and error vector.
// The right-hand side is called once per stage for the whole block. Used
// by the ensemble's loop and by the benchmark's measure of the vector work
// alone. Internal to the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "lanes/lane_block.hpp"
#include "lanes/lane_step.hpp"
#include "rkv/ode/lane_ensemble.hpp"
#include "step/isa.hpp"

namespace rkv::ode::lanes {

// The right-hand side on the whole block: out := f(x, y) lane by lane.
template <class Real, int W>
RKV_ALWAYS_INLINE void call_block(LaneBlockState<Real, W>& b, LaneBlockFunction<Real> fn,
                                  void* context, Lane<Real, W>* out, const Lane<Real, W>* y) {
  const LaneBlock<Real> block{W, b.neq, b.npar, &b.x, y, out, b.par, b.member};
  fn(context, block);
}

// Stage k_j at the abscissae X + c H, rounded to the storage type.
template <class Real, int W>
RKV_ALWAYS_INLINE void stage(LaneBlockState<Real, W>& b, LaneBlockFunction<Real> fn, void* context,
                             int j, const Wide<W>& xs) {
  for (int l = 0; l < W; ++l) b.x.v[l] = static_cast<Real>(xs.v[l]);
  call_block(b, fn, context, b.k[j], b.arg);
  keep_wide(b, j);
}

// Whether some lane's signed step differs in its bits from the one the
// block's stage offsets were formed for; records it as that one. A member
// whose step HMAX binds keeps it from one attempt to the next, and then the
// offsets stand.
template <class Real, int W>
RKV_ALWAYS_INLINE bool new_steps(LaneBlockState<Real, W>& b, const Wide<W>& h) {
  std::uint64_t changed = 0;
  for (int l = 0; l < W; ++l) {
    std::uint64_t now;
    std::uint64_t then;
    std::memcpy(&now, &h.v[l], sizeof now);
    std::memcpy(&then, &b.offset_step.v[l], sizeof then);
    changed |= now ^ then;
  }
  b.offset_step = h;
  return changed != 0;
}

// The offset c H of stage Stage's abscissa (stepping::abscissa_offset)
// where the steps are new, else the block's. Each is formed just before its
// stage: formed all at once, they held up the attempt's first stages behind
// the divider, 2 ns per member-step with the controller free. Kept, they
// saved 1 to 1.6 ns of 27 to 31 with HMAX binding and AVX2.
template <int Stage, class Real, int W>
RKV_ALWAYS_INLINE const Wide<W>& stage_offset(LaneBlockState<Real, W>& b, const Wide<W>& h,
                                              bool fresh) {
  Wide<W>& c = b.offsets[Stage == 7 ? 4 : Stage - 2];
  if (fresh) c = stepping::abscissa_offset<Stage>(h);
  return c;
}

// The seven evaluations of the attempt from k1, signed steps h and starts
// x; the candidate is left in arg and the error vector in k2.
template <class Real, int W>
RKV_ALWAYS_INLINE void verner(LaneBlockState<Real, W>& b, LaneBlockFunction<Real> fn, void* context,
                              const Wide<W>& h, const Wide<W>& x) {
  keep_wide(b, 0);
  keep_wide(b, 1);
  const bool fresh = new_steps(b, h);
  stage2_argument(b, h);
  stage(b, fn, context, 2, stage_offset<2>(b, h, fresh) + x);
  stage_argument<3>(b, h);
  stage(b, fn, context, 3, stage_offset<3>(b, h, fresh) + x);
  stage_argument<4>(b, h);
  stage(b, fn, context, 4, stage_offset<4>(b, h, fresh) + x);
  stage_argument<5>(b, h);
  stage(b, fn, context, 5, stage_offset<5>(b, h, fresh) + x);
  stage_argument<6>(b, h);
  stage(b, fn, context, 6, h + x);
  stage_argument<7>(b, h);
  stage(b, fn, context, 7, stage_offset<7>(b, h, fresh) + x);
  stage_argument<8>(b, h);
  stage(b, fn, context, 8, h + x);
  candidate_and_error(b, h);
}

}  // namespace rkv::ode::lanes
