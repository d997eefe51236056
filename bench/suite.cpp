// The shared sizes, the kernel table, the test data and the plain loops.
#include "suite.hpp"

#include <cmath>
#include <thread>
#include <utility>

namespace rkv::bench {

const std::vector<std::int32_t> kP2Sizes = {1, 10, 100, 1000, 100000, 1000000};
const std::vector<std::int32_t> kKernelSizes = {1000, 1000000};

const KernelInfo kKernels[4] = {{Kernel::kAxpy, "V1VAXPY", 12.0},
                                {Kernel::kCopy, "V1VCOPY", 8.0},
                                {Kernel::kSwap, "V1VSWAP", 16.0},
                                {Kernel::kMaxabs, "V1MAXABS", 4.0}};

std::int32_t all_cores() {
  const unsigned n = std::thread::hardware_concurrency();
  return n > 1 ? static_cast<std::int32_t>(n) : 1;
}

std::vector<std::int32_t> ensemble_threads() {
  std::vector<std::int32_t> t = {1};
  if (all_cores() > 1) t.push_back(all_cores());
  return t;
}

std::int64_t footprint_triad(std::int32_t neq) {
  return (11 * static_cast<std::int64_t>(neq) + 2) / 3;
}

std::string sized(const char* base, std::int32_t n) {
  return base + std::to_string(n);
}

std::vector<float> pattern(std::size_t n, std::uint32_t seed) {
  std::vector<float> v(n);
  std::uint32_t s = seed;
  for (float& e : v) {
    s = s * 1664525u + 1013904223u;
    e = static_cast<float>(static_cast<double>(s >> 8) / 8388608.0 - 1.0);
  }
  return v;
}

void loop_axpy(std::size_t n, float a, const float* x, float* __restrict y) {
  if (a == 0.0f) return;
  const double da = static_cast<double>(a);
  for (std::size_t i = 0; i < n; ++i) {
    y[i] = static_cast<float>(da * static_cast<double>(x[i]) + static_cast<double>(y[i]));
  }
}

void loop_copy(std::size_t n, const float* x, float* __restrict y) {
  for (std::size_t i = 0; i < n; ++i) y[i] = x[i];
}

void loop_swap(std::size_t n, float* x, float* __restrict y) {
  for (std::size_t i = 0; i < n; ++i) std::swap(x[i], y[i]);
}

std::int32_t loop_maxabs(std::size_t n, const float* x) {
  if (n == 0) return 0;
  std::size_t best = 0;
  float big = std::fabs(x[0]);
  for (std::size_t i = 1; i < n; ++i) {
    const float v = std::fabs(x[i]);
    if (v > big) {
      big = v;
      best = i;
    }
  }
  return static_cast<std::int32_t>(best + 1);
}

}  // namespace rkv::bench
