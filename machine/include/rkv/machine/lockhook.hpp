// LOCKHOOK takes (1) and releases (0) the library's process-wide lock, which
// guards what all threads share: the units, their files and the unit table
// of UMACH. The lock is recursive, so takes may nest; a release without a
// matching take on the same thread, and any other flag, do nothing. The
// result is always 0.
#pragma once

#include <cstdint>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

// The two arguments LOCKHOOK takes: take the lock, release it.
inline constexpr std::int32_t kLockTake = 1;
inline constexpr std::int32_t kLockRelease = 0;

std::int32_t LOCKHOOK(const std::int32_t& flag);

// Holds the lock through LOCKHOOK for a scope: taken on construction,
// released when the scope is left, by a return or by an exception.
class LockHold {
 public:
  LockHold() { (void)LOCKHOOK(kLockTake); }
  ~LockHold() { (void)LOCKHOOK(kLockRelease); }
  LockHold(const LockHold&) = delete;
  LockHold& operator=(const LockHold&) = delete;
};

}  // namespace rkv

#pragma GCC visibility pop
