/* Example: keeping control after an error, through the C interface; the same
 * problem and the same output as the C++ example. The stops (and the
 * printing) of every error type are turned off, so that the step limit does
 * not end the program: the program reads the error's type with rkv_n1rty(1)
 * and its text with rkv_geterrtext, then goes on with a raised limit
 * (IDO = 3, a new PARAM, IDO = 1). */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "rkv/rkv.h"

static void decay(const int32_t* neq, const float* x, const float* y, float* yprime) {
  (void)neq;
  (void)x;
  yprime[0] = -y[0];
}

static unsigned bits(float v) {
  uint32_t u;
  memcpy(&u, &v, sizeof u);
  return (unsigned)u;
}

static void show(int32_t ido, float x, float y) {
  const int32_t last_call = 1;
  printf("error type %d, IDO = %d, x = %-8.6g y = %-12.9g [%08x %08x]\n",
         (int)rkv_n1rty(&last_call), (int)ido, (double)x, (double)y, bits(x), bits(y));
}

int main(void) {
  const int32_t all_types = RKV_ALL_TYPES, off = RKV_ATTR_OFF, last_call = 1;
  int32_t ido = 1;
  const int32_t neq = 1;
  float x = 0.0f;
  const float xend = 1.0f;
  float y[1] = {1.0f};
  const float tol = 1.0e-5f;
  float param[50] = {0};
  char text[200];
  const int32_t text_len = (int32_t)sizeof text;
  int32_t length = 0;

  rkv_seterrattr(&all_types, &off, &off);
  param[3 - 1] = 0.001f; /* HMAX: at least 1000 steps to XEND */
  param[4 - 1] = 300.0f; /* step limit */

  rkv_ivprk(&ido, &neq, decay, &x, &xend, &tol, param, y);
  show(ido, x, y[0]);
  rkv_geterrtext(text, &text_len, &length);
  printf("message: %.*s\n", (int)(length < text_len ? length : text_len), text);

  if (rkv_n1rty(&last_call) == RKV_FATAL) {
    ido = 3; /* close, then start again where the integration stopped */
    rkv_ivprk(&ido, &neq, decay, &x, &xend, &tol, param, y);
    param[4 - 1] = 2000.0f;
    ido = 1;
    rkv_ivprk(&ido, &neq, decay, &x, &xend, &tol, param, y);
  }
  show(ido, x, y[0]);
  printf("accepted steps %.0f since the new start\n", (double)param[34 - 1]);
  ido = 3;
  rkv_ivprk(&ido, &neq, decay, &x, &xend, &tol, param, y);
  return 0;
}
