// The weighted sum of eight terms that odeint's generic explicit error
// stepper needs for an eight-stage pair's error estimate: the library
// provides the sums of fewer terms only, so it is given here, in the form of
// its siblings. Include after <boost/numeric/odeint.hpp>.
#pragma once

#include <boost/numeric/odeint.hpp>

namespace boost::numeric::odeint::detail {
template <class Operations, class Fac, class Time>
struct generic_rk_scale_sum_err<8, Operations, Fac, Time>
    : public Operations::template scale_sum8<Time> {
  generic_rk_scale_sum_err(const boost::array<Fac, 8>& a, Time dt)
      : Operations::template scale_sum8<Time>(a[0] * dt, a[1] * dt, a[2] * dt, a[3] * dt, a[4] * dt,
                                              a[5] * dt, a[6] * dt, a[7] * dt) {}
  typedef void result_type;
};
}  // namespace boost::numeric::odeint::detail
