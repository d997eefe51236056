// The right-hand sides of the lane benchmark, each written once over its
// arithmetic type (Real for one member, rkv::Lane<Real, W> for W members):
// Lorenz with rho per member, and the trajectory model (app/model.cpp) with
// ENERGY and BCOEF per member, the program's own model operation for
// operation: steps 1 and 2 rounded to single precision, the rest in double
// rounded once when stored, exp a library call per lane, sqrt correctly
// rounded (a vector instruction gives its bits). The model's branch on the
// radicand is a select: the square root of a negative radicand is NaN in
// the lanes that do not take it and is discarded there.
#pragma once

#include <cmath>
#include <cstdint>

#include "model.hpp"
#include "rkv/ode/lane.hpp"

namespace rkv::bench {

// y1' = 10 (y2 - y1), y2' = y1 (rho - y3) - y2, y3' = y1 y2 - 8/3 y3; p[0] = rho.
struct LorenzLanes {
  template <class T>
  void operator()(const std::int32_t&, const T&, const T* y, T* yp, T* p) const {
    using R = typename LaneTraits<T>::value_type;
    yp[0] = R(10) * (y[1] - y[0]);
    yp[1] = y[0] * (p[0] - y[2]) - y[1];
    yp[2] = y[0] * y[1] - R(8) / R(3) * y[2];
  }
};

// The trajectory model on float storage; p = ENERGY, BCOEF and OUTWARD (0
// or 1, turned to 1 where |y'| first falls below the threshold, as the
// program's record is).
struct TrajectoryLanes {
  template <class T>
  void operator()(const std::int32_t&, const T&, const T* y, T* yp, T* p) const {
    using std::exp;
    using std::fabs;
    using std::sqrt;
    const app::TrajData td = app::initial_trajdata();
    const auto y1 = convert<double>(y[0]);
    const T d = convert<float>(y1 - static_cast<double>(td.R0));
    const auto dd = convert<double>(d);
    const T t1 = convert<float>(exp(-(2.0 * dd / static_cast<double>(td.WIDTH))));
    const auto t2 = 2.0 * exp(-(dd / static_cast<double>(td.WIDTH)));
    const auto v = static_cast<double>(td.DEPTH) * (convert<double>(t1) - t2);
    const auto energy = convert<double>(p[0]);
    const auto bcoef = convert<double>(p[1]);
    const auto inverse_square = bcoef * energy * bcoef / y1 / y1;
    const auto k = energy - (v + inverse_square);
    const auto s = sqrt(2.0 * static_cast<double>(td.MU) * k);
    const T root = convert<float>(select(p[2] != 0.0f, s, -s));
    yp[0] = select(k > 0.0, root, broadcast<T>(app::kOutsideDerivative));
    p[2] = select(fabs(yp[0]) < app::kTurningThreshold, broadcast<T>(1.0f), p[2]);
  }
};

}  // namespace rkv::bench
