// Vector kernels of the solver. With both increments 1 the elements are
// processed directly (the swap and the axpy take the first n mod m one at a
// time and the rest in groups of m, the copy is a block copy); otherwise a
// walk with a non-negative increment starts at element 1 and one with a
// negative increment at element 1 + (1 - n) * inc, so that it ends at
// element 1. Index arithmetic is done in 64 bits: no increment or length
// can overflow it. Nothing happens for n < 1.
#include "step/kernels.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>

namespace rkv {
namespace {

using Index = std::ptrdiff_t;

// 0-based position of the first element visited by a walk of n elements.
Index first(std::int32_t n, std::int32_t inc) {
  return inc < 0 ? static_cast<Index>(1 - static_cast<Index>(n)) * static_cast<Index>(inc) : 0;
}

template <class Real>
std::int32_t max_abs(const std::int32_t& n, const Real* x, const std::int32_t& incx) {
  if (n < 1) return 0;
  if (n == 1) return 1;
  // A negative increment would walk off the front of x: nothing is searched.
  if (incx < 0) return 0;
  std::int32_t best = 1;
  Real big = std::fabs(x[0]);
  Index at = 0;
  for (std::int32_t k = 2; k <= n; ++k) {
    at += incx;
    const Real v = std::fabs(x[at]);
    if (v > big) {  // strictly greater: the first of equal maxima wins
      big = v;
      best = k;
    }
  }
  return best;
}

template <class Real>
void swap(const std::int32_t& n, Real* x, const std::int32_t& incx, Real* y,
          const std::int32_t& incy) {
  if (n < 1) return;
  if (incx == 1 && incy == 1) {
    const Index count = n;
    const Index head = count % 3;
    for (Index i = 0; i < head; ++i) {
      const Real t = x[i];
      x[i] = y[i];
      y[i] = t;
    }
    for (Index i = head; i < count; i += 3) {
      const Real t0 = x[i];
      const Real t1 = x[i + 1];
      const Real t2 = x[i + 2];
      x[i] = y[i];
      x[i + 1] = y[i + 1];
      x[i + 2] = y[i + 2];
      y[i] = t0;
      y[i + 1] = t1;
      y[i + 2] = t2;
    }
    return;
  }
  Index ix = first(n, incx);
  Index iy = first(n, incy);
  for (std::int32_t k = 0; k < n; ++k, ix += incx, iy += incy) {
    const Real t = x[ix];
    x[ix] = y[iy];
    y[iy] = t;
  }
}

template <class Real>
void copy(const std::int32_t& n, const Real* x, const std::int32_t& incx, Real* y,
          const std::int32_t& incy) {
  if (n < 1) return;
  if (incx == 1 && incy == 1) {
    // A block copy: values move unchanged whatever the grouping, and the
    // library's copy is several times faster than a seven-way unroll. It
    // may not be used when y starts inside x past its first element: the
    // element-by-element forward copy then re-reads what it has written
    // (it smears x(1) along), which a block copy would not reproduce.
    const std::less<> before;  // a total order even for unrelated pointers
    if (before(y, x) || !before(y, x + n)) {
      std::copy(x, x + n, y);
    } else {
      for (std::int32_t i = 0; i < n; ++i) y[i] = x[i];
    }
    return;
  }
  Index ix = first(n, incx);
  Index iy = first(n, incy);
  for (std::int32_t k = 0; k < n; ++k, ix += incx, iy += incy) y[iy] = x[ix];
}

template <class Real>
void axpy(const std::int32_t& n, const Real& a, const Real* x, const std::int32_t& incx, Real* y,
          const std::int32_t& incy) {
  if (n < 1) return;
  if (a == Real{0}) return;  // y untouched, even where x is not finite
  const double da = static_cast<double>(a);
  const auto axpy = [da](Real xi, Real yi) {
    return static_cast<Real>(da * static_cast<double>(xi) + static_cast<double>(yi));
  };
  if (incx == 1 && incy == 1) {
    const Index count = n;
    const Index head = count % 4;
    for (Index i = 0; i < head; ++i) y[i] = axpy(x[i], y[i]);
    for (Index i = head; i < count; i += 4) {
      y[i] = axpy(x[i], y[i]);
      y[i + 1] = axpy(x[i + 1], y[i + 1]);
      y[i + 2] = axpy(x[i + 2], y[i + 2]);
      y[i + 3] = axpy(x[i + 3], y[i + 3]);
    }
    return;
  }
  Index ix = first(n, incx);
  Index iy = first(n, incy);
  for (std::int32_t k = 0; k < n; ++k, ix += incx, iy += incy) y[iy] = axpy(x[ix], y[iy]);
}

}  // namespace

std::int32_t V1MAXABS(const std::int32_t& n, const float* x, const std::int32_t& incx) {
  return max_abs(n, x, incx);
}
std::int32_t V1MAXABS(const std::int32_t& n, const double* x, const std::int32_t& incx) {
  return max_abs(n, x, incx);
}
void V1VSWAP(const std::int32_t& n, float* x, const std::int32_t& incx, float* y,
             const std::int32_t& incy) {
  swap(n, x, incx, y, incy);
}
void V1VSWAP(const std::int32_t& n, double* x, const std::int32_t& incx, double* y,
             const std::int32_t& incy) {
  swap(n, x, incx, y, incy);
}
void V1VCOPY(const std::int32_t& n, const float* x, const std::int32_t& incx, float* y,
             const std::int32_t& incy) {
  copy(n, x, incx, y, incy);
}
void V1VCOPY(const std::int32_t& n, const double* x, const std::int32_t& incx, double* y,
             const std::int32_t& incy) {
  copy(n, x, incx, y, incy);
}
void V1VAXPY(const std::int32_t& n, const float& a, const float* x, const std::int32_t& incx,
             float* y, const std::int32_t& incy) {
  axpy(n, a, x, incx, y, incy);
}
void V1VAXPY(const std::int32_t& n, const double& a, const double* x, const std::int32_t& incx,
             double* y, const std::int32_t& incy) {
  axpy(n, a, x, incx, y, incy);
}

}  // namespace rkv
