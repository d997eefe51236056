// LOCKHOOK marks the places where a multi-threaded build would take (1) and
// release (0) the library's lock. This build is single-threaded: it does
// nothing and returns 0.
#pragma once

#include <cstdint>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

// The two arguments LOCKHOOK takes: take the lock, release it.
inline constexpr std::int32_t kLockTake = 1;
inline constexpr std::int32_t kLockRelease = 0;

std::int32_t LOCKHOOK(const std::int32_t& flag);

}  // namespace rkv

#pragma GCC visibility pop
