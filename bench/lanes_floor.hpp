// The vector work of the lanes alone: the ensemble's accepted steps taken
// by blocks of lanes with a fixed step and no step-size control (k1, the
// seven stages and their sums, the error norm and the take-over of Y), so
// that scalar time over this time bounds the speed-up any controller in
// lanes could reach on the machine.
#pragma once

#include <cstdint>

#include "rkv/ode/lane_ensemble.hpp"
#include "step/isa.hpp"

namespace rkv::bench {

// The block functions of F for the three sets, as integrate_lanes makes them.
template <class Real, class F>
LaneRhs<Real> lane_rhs_of(const F& f) {
  return {{&ode::lane_block_baseline<Real, F>, &ode::lane_block_avx2<Real, F>,
           &ode::lane_block_avx512<Real, F>},
          const_cast<F*>(&f)};  // NOLINT(cppcoreguidelines-pro-type-const-cast)
}

// Processor seconds (this thread) for every member to take `passes` steps
// of `step` from its X0 in lanes of the set `isa`; the members fill blocks
// in order, the last block padded with member 0.
template <class Real>
double lane_vector_work(const LaneProblem<Real>& p, const LaneRhs<Real>& rhs, ode::Isa isa,
                        double step, std::int32_t passes);

// The most additions and multiplications of doubles one core performs per
// ns on the registers of the set `isa`, from independent chains of them.
double peak_operations_per_ns(ode::Isa isa);

extern template double lane_vector_work<float>(const LaneProblem<float>&, const LaneRhs<float>&,
                                               ode::Isa, double, std::int32_t);
extern template double lane_vector_work<double>(const LaneProblem<double>&, const LaneRhs<double>&,
                                                ode::Isa, double, std::int32_t);

}  // namespace rkv::bench
