// An allocator whose arrays start on a cache line, for the solutions Y the
// benchmarks pass to the solver and to the floor. The solver's workspace and
// the floor's start on a line; a Y placed wherever malloc puts it would make
// the time of both depend on that place (a 64-byte vector access straddles
// two lines unless Y does start on one), differently in every run.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#include "front/aligned_memory.hpp"

namespace rkv::bench {

template <class T>
struct CacheAligned {
  using value_type = T;

  CacheAligned() = default;
  template <class U>
  explicit CacheAligned(const CacheAligned<U>& /*other*/) {}

  T* allocate(std::size_t n) {
    constexpr std::size_t kLine = ode::kCacheLine;
    if (n > (SIZE_MAX - kLine) / sizeof(T)) throw std::bad_alloc();
    const std::size_t bytes = (n * sizeof(T) + kLine - 1) / kLine * kLine;
    void* p = std::aligned_alloc(kLine, bytes == 0 ? kLine : bytes);
    if (p == nullptr) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t /*n*/) { std::free(p); }

  template <class U>
  bool operator==(const CacheAligned<U>& /*other*/) const {
    return true;
  }
};

}  // namespace rkv::bench
