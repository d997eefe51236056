// Zero-filled arrays that start on a cache line, for the workspace.
//
// The loops over the equations read and write whole vector registers, up to
// 64 bytes with AVX-512F. From malloc an array starts only 16 bytes aligned,
// wherever the allocator happens to place it, and then every 64-byte access
// of the columns that share the start's alignment straddles two cache lines:
// in double with 1,000 equations (columns of 8,000 bytes, so all ten alike)
// that made a step about a tenth slower than on an aligned start, by an
// amount that changed with where malloc put the block. On a cache line the
// cost is the same in every run. Alignment changes no result: each element
// is computed by the same operations wherever it lies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace rkv::ode {

inline constexpr std::size_t kCacheLine = 64;  // bytes; also the widest vector

// Room for `count` reals starting on a cache line, inside a zero-filled block
// from std::calloc one line longer; `block` receives the block, which the
// caller releases with std::free. nullptr (and a null block) when memory is
// exhausted or the size overflows. Nothing is written here, so a large block
// keeps calloc's fresh zero pages untouched until the integration writes
// them (and huge pages can still be asked for).
template <class Real>
Real* calloc_cache_aligned(std::size_t count, void*& block) {
  constexpr std::size_t kExtra = kCacheLine / sizeof(Real);
  block = nullptr;
  if (count > SIZE_MAX / sizeof(Real) - kExtra) return nullptr;
  block = std::calloc(count + kExtra, sizeof(Real));
  if (block == nullptr) return nullptr;
  void* p = block;
  std::size_t space = (count + kExtra) * sizeof(Real);
  // Always succeeds: the block is at least one line longer than needed.
  return static_cast<Real*>(std::align(kCacheLine, count * sizeof(Real), p, space));
}

}  // namespace rkv::ode
