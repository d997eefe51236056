// y' = -y from 0 to 1 through the installed library; prints y(1).
#include <cstdint>
#include <cstdio>

#include "rkv/ode/ivprk.hpp"

static void decay(const std::int32_t&, const float&, const float* y, float* yp) {
  yp[0] = -y[0];
}

int main() {
  std::int32_t ido = 1;
  const std::int32_t neq = 1;
  float x = 0.0f, xend = 1.0f, y = 1.0f, param[50] = {};
  const float tol = 1.0e-6f;
  rkv::IVPRK(ido, neq, decay, x, xend, tol, param, &y);
  ido = 3;
  rkv::IVPRK(ido, neq, decay, x, xend, tol, param, &y);
  std::printf("y(%g) = %.7f\n", static_cast<double>(x), static_cast<double>(y));
  return 0;
}
