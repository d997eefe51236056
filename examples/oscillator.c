/* Example: the harmonic oscillator y1' = y2, y2' = -y1 through the C
 * interface, with both pauses switched on and the first passing attempt
 * vetoed; the same problem and the same output as the C++ example. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "rkv/rkv.h"

static void oscillator(const int32_t* neq, const float* x, const float* y, float* yprime) {
  (void)neq;
  (void)x;
  yprime[0] = y[1];
  yprime[1] = -y[0];
}

static unsigned bits(float v) {
  uint32_t u;
  memcpy(&u, &v, sizeof u);
  return (unsigned)u;
}

int main(void) {
  int32_t ido = 1;
  const int32_t neq = 2;
  float x = 0.0f;
  float y[2] = {1.0f, 0.0f};
  const float tol = 1.0e-5f;
  float param[50] = {0};
  int pauses_before = 0, passed = 0, failed = 0, vetoed = 0;
  int k;
  param[7 - 1] = 1.0f; /* pause before each step */
  param[8 - 1] = 1.0f; /* pause after each attempt */

  for (k = 1; k <= 4; ++k) {
    const float xend = 0.25f * (float)k;
    for (;;) {
      rkv_ivprk(&ido, &neq, oscillator, &x, &xend, &tol, param, y);
      if (ido == 4) {
        ++pauses_before;
      } else if (ido == 5) {
        ++passed;
        if (vetoed == 0) {
          ++vetoed;
          ido = 6;
        }
      } else if (ido == 6) {
        ++failed;
      } else {
        break;
      }
    }
    printf("x = %-8.6g y1 = %-15.9g y2 = %-15.9g  [%08x %08x %08x]\n", (double)x, (double)y[0],
           (double)y[1], bits(x), bits(y[0]), bits(y[1]));
  }
  ido = 3;
  rkv_ivprk(&ido, &neq, oscillator, &x, &x, &tol, param, y);
  printf("accepted steps %.0f, evaluations %.0f, pauses before a step %d\n", (double)param[34 - 1],
         (double)param[35 - 1], pauses_before);
  printf("attempts that passed %d (vetoed %d), that failed %d\n", passed, vetoed, failed);
  return 0;
}
