// Transparent huge pages for large arrays that are streamed through.
//
// A large workspace is a fresh mapping of zero pages: with 4 KiB pages every
// page costs a fault at its first write, and the dozen arrays a step streams
// through at once miss the TLB every 4 KiB. On a system of a million
// equations (40 MB of workspace) the two together took about a sixth of the
// time of a short integration. Where the kernel offers transparent huge
// pages on request, asking for them lets one fault and one TLB entry cover
// 2 MiB. It is only advice: nothing changes when it is refused, and the
// contents of the memory are not touched.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace rkv::ode {

// Advises huge pages for the page-aligned interior of [p, p + bytes) when it
// is large enough to gain from them; call it before the memory is written.
inline void advise_huge_pages(void* p, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::size_t kLarge = std::size_t{4} << 20;  // below this it cannot pay
  constexpr std::uintptr_t kPage = 4096;
  if (bytes < kLarge) return;
  const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(p) + kPage - 1) & ~(kPage - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(kPage - 1);
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the page-aligned interior of p
  static_cast<void>(madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE));
#else
  static_cast<void>(p);
  static_cast<void>(bytes);
#endif
}

}  // namespace rkv::ode
