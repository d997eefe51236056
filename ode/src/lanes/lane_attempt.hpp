// One step attempt of a block of lanes once its steps and starts are
// chosen: the seven evaluations of the Verner stages at X + c H, each after
// the sums that form its argument, and the candidate and error vector.
// The right-hand side is called once per stage for the whole block. Used
// by the ensemble's loop and by the benchmark's measure of the vector work
// alone. Internal to the library.
#pragma once

#include <cstddef>

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

// The seven evaluations of the attempt from k1, signed steps h and starts
// x; the candidate is left in arg and the error vector in k2.
template <class Real, int W>
RKV_ALWAYS_INLINE void verner(LaneBlockState<Real, W>& b, LaneBlockFunction<Real> fn, void* context,
                              const Wide<W>& h, const Wide<W>& x) {
  keep_wide(b, 0);
  keep_wide(b, 1);
  stage2_argument(b, h);
  stage(b, fn, context, 2, h / 6.0 + x);
  stage_argument<3>(b, h);
  stage(b, fn, context, 3, (h * 4.0) / 15.0 + x);
  stage_argument<4>(b, h);
  stage(b, fn, context, 4, (h * 2.0) / 3.0 + x);
  stage_argument<5>(b, h);
  stage(b, fn, context, 5, (h * 5.0) / 6.0 + x);
  stage_argument<6>(b, h);
  stage(b, fn, context, 6, h + x);
  stage_argument<7>(b, h);
  stage(b, fn, context, 7, h / 15.0 + x);
  stage_argument<8>(b, h);
  stage(b, fn, context, 8, h + x);
  candidate_and_error(b, h);
}

}  // namespace rkv::ode::lanes
