// The trajectory model's right-hand side. Steps 1 and 2 are rounded to single
// precision; the rest is carried in double and rounded once, when YPRIME(1)
// is stored.
#include "model.hpp"

#include <cmath>

namespace rkv::app {

TrajData TRAJDATA = initial_trajdata();

namespace {

// The model on one record; inlined into both forms.
inline void evaluate(TrajData& td, const float* y, float* yprime) {
  const float y1 = y[0];
  const float d = static_cast<float>(static_cast<double>(y1) - static_cast<double>(td.R0));
  const float t1 =
      static_cast<float>(std::exp(-(2.0 * static_cast<double>(d) / static_cast<double>(td.WIDTH))));
  const double t2 = 2.0 * std::exp(-(static_cast<double>(d) / static_cast<double>(td.WIDTH)));
  const double v = static_cast<double>(td.DEPTH) * (static_cast<double>(t1) - t2);
  const double inverse_square = static_cast<double>(td.BCOEF) * static_cast<double>(td.ENERGY) *
                                static_cast<double>(td.BCOEF) / static_cast<double>(y1) /
                                static_cast<double>(y1);
  const double k = static_cast<double>(td.ENERGY) - (v + inverse_square);
  if (k > 0.0) {  // false for a NaN radicand too
    const double s = std::sqrt(2.0 * static_cast<double>(td.MU) * k);
    yprime[0] = static_cast<float>((td.OUTWARD & 1) != 0 ? s : -s);
  } else {
    yprime[0] = kOutsideDerivative;
  }
  if (std::fabs(yprime[0]) < kTurningThreshold) td.OUTWARD = -1;
}

}  // namespace

void RHSFUN(const std::int32_t& /*neq*/, const float& /*x*/, const float* y, float* yprime) {
  evaluate(TRAJDATA, y, yprime);
}

void RHSTRAJ(void* context, const std::int32_t& /*neq*/, const float& /*x*/, const float* y,
             float* yprime) {
  evaluate(*static_cast<TrajData*>(context), y, yprime);
}

}  // namespace rkv::app
