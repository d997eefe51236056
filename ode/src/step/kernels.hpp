// Vector kernels of the solver (unit or general increments), for both
// storage types; internal to the library.
#pragma once

#include <cstdint>

namespace rkv {

// Index (1..n) of the element of largest magnitude; 0 for n < 1.
std::int32_t V1MAXABS(const std::int32_t& n, const float* x, const std::int32_t& incx);
void V1VSWAP(const std::int32_t& n, float* x, const std::int32_t& incx, float* y,
             const std::int32_t& incy);
void V1VCOPY(const std::int32_t& n, const float* x, const std::int32_t& incx, float* y,
             const std::int32_t& incy);
// y := a*x + y, evaluated in double and rounded once; nothing when a = 0.
void V1VAXPY(const std::int32_t& n, const float& a, const float* x, const std::int32_t& incx,
             float* y, const std::int32_t& incy);

// The same over double (the axpy in plain double arithmetic).
std::int32_t V1MAXABS(const std::int32_t& n, const double* x, const std::int32_t& incx);
void V1VSWAP(const std::int32_t& n, double* x, const std::int32_t& incx, double* y,
             const std::int32_t& incy);
void V1VCOPY(const std::int32_t& n, const double* x, const std::int32_t& incx, double* y,
             const std::int32_t& incy);
void V1VAXPY(const std::int32_t& n, const double& a, const double* x, const std::int32_t& incx,
             double* y, const std::int32_t& incy);

}  // namespace rkv
