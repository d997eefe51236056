/* y' = -y from 0 to 1 through the installed C interface; prints y(1). */
#include <stdint.h>
#include <stdio.h>

#include "rkv/rkv.h"

static void decay(const int32_t* neq, const float* x, const float* y, float* yp) {
  (void)neq;
  (void)x;
  yp[0] = -y[0];
}

int main(void) {
  int32_t ido = 1;
  const int32_t neq = 1;
  float x = 0.0f, xend = 1.0f, y = 1.0f, param[50] = {0};
  const float tol = 1.0e-6f;
  rkv_ivprk(&ido, &neq, decay, &x, &xend, &tol, param, &y);
  ido = 3;
  rkv_ivprk(&ido, &neq, decay, &x, &xend, &tol, param, &y);
  printf("y(%g) = %.7f\n", (double)x, (double)y);
  return 0;
}
