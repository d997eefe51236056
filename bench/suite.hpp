// What the verification, the benchmarks and the summary table share: the
// sizes they run, the ensemble's grid, the vector kernels under test with
// the plain loops they are compared with, and the deterministic test data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rkv::bench {

// NEQ of the P2 runs and n of the kernel runs; from kLarge on, the table
// reports bandwidth.
extern const std::vector<std::int32_t> kP2Sizes;
extern const std::vector<std::int32_t> kKernelSizes;
inline constexpr std::int32_t kLarge = 100000;
inline constexpr std::int32_t kOne = 1;  // unit stride of the kernels

// The ensemble: 8 ENERGY x 8 BCOEF members for the timings, fewer for the
// bit-for-bit check, on one thread and on every core the system reports.
inline constexpr std::int32_t kGridSide = 8;
inline constexpr std::int32_t kCheckSide = 4;
std::int32_t all_cores();
std::vector<std::int32_t> ensemble_threads();  // 1, and all cores if more

// Elements per array of a triad whose three arrays together are as large as
// Y and the workspace of a system of NEQ equations (11 NEQ floats).
std::int64_t footprint_triad(std::int32_t neq);

// base followed by n in decimal, e.g. "P2/floor/1000".
std::string sized(const char* base, std::int32_t n);

// The kernels, their names in the benchmarks, and the bytes each moves per
// element (read or written once).
enum class Kernel { kAxpy, kCopy, kSwap, kMaxabs };
struct KernelInfo {
  Kernel kernel;
  const char* name;
  double bytes_per_element;
};
extern const KernelInfo kKernels[4];

// Deterministic data in [-1, 1) with varied magnitudes and both signs.
std::vector<float> pattern(std::size_t n, std::uint32_t seed);

// The plain loops the kernels are compared with, in the kernels' arithmetic.
void loop_axpy(std::size_t n, float a, const float* x, float* __restrict y);
void loop_copy(std::size_t n, const float* x, float* __restrict y);
void loop_swap(std::size_t n, float* x, float* __restrict y);
std::int32_t loop_maxabs(std::size_t n, const float* x);

}  // namespace rkv::bench
