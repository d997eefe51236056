// The library's one process-wide lock. It guards what all threads share: the
// units and their files, and the unit table of the machine layer. It is
// recursive, because a report holds it while it asks for its unit and writes
// its records, each of which takes it again.
#pragma once

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv::host {

void lock();
void unlock();

// Holds the lock for a scope.
class LockGuard {
 public:
  LockGuard() { lock(); }
  ~LockGuard() { unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;
};

}  // namespace rkv::host

#pragma GCC visibility pop
