/* Compiled right-hand sides for the tests and the benchmark, in the signature
 * rkv takes: void f(int32_t n, double t, const double *y, double *dydt,
 * void *user_data). The arithmetic is written out in the order the Python
 * versions in problems.py use, so that both give the same bits. */
#include <stdint.h>

void oscillator(int32_t n, double t, const double* y, double* dydt, void* user_data) {
  (void)n, (void)t, (void)user_data;
  dydt[0] = y[1];
  dydt[1] = -y[0];
}

/* The restricted three-body problem (Arenstorf's periodic orbit). */
void arenstorf(int32_t n, double t, const double* y, double* dydt, void* user_data) {
  (void)n, (void)t, (void)user_data;
  const double mu = 0.012277471, nu = 1.0 - mu;
  const double a = (y[0] + mu) * (y[0] + mu) + y[1] * y[1];
  const double b = (y[0] - nu) * (y[0] - nu) + y[1] * y[1];
  const double d1 = a * __builtin_sqrt(a), d2 = b * __builtin_sqrt(b);
  dydt[0] = y[2];
  dydt[1] = y[3];
  dydt[2] = y[0] + 2.0 * y[3] - nu * (y[0] + mu) / d1 - mu * (y[0] - nu) / d2;
  dydt[3] = y[1] - 2.0 * y[2] - nu * y[1] / d1 - mu * y[1] / d2;
}

void lorenz(int32_t n, double t, const double* y, double* dydt, void* user_data) {
  (void)n, (void)t, (void)user_data;
  dydt[0] = 10.0 * (y[1] - y[0]);
  dydt[1] = y[0] * (28.0 - y[2]) - y[1];
  dydt[2] = y[0] * y[1] - 8.0 / 3.0 * y[2];
}

/* y' = -k y with k read from user_data (a double). */
void decay(int32_t n, double t, const double* y, double* dydt, void* user_data) {
  (void)t;
  const double k = *(const double*)user_data;
  for (int32_t i = 0; i < n; ++i) dydt[i] = -k * y[i];
}

void lotka_volterra(int32_t n, double t, const double* y, double* dydt, void* user_data) {
  (void)n, (void)t, (void)user_data;
  dydt[0] = 1.5 * y[0] - y[0] * y[1];
  dydt[1] = -3.0 * y[1] + y[0] * y[1];
}
