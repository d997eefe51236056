// The process-wide recursive lock. Its storage is never destroyed: the
// orderly stop ends the process while holding it, so that no other thread
// can write once the units have been flushed and closed.
#include "rkv/host/lock.hpp"

#include <mutex>
#include <new>

namespace rkv::host {
namespace {

std::recursive_mutex& the_lock() {
  alignas(std::recursive_mutex) static unsigned char storage[sizeof(std::recursive_mutex)];
  static std::recursive_mutex* const m = new (storage) std::recursive_mutex;
  return *m;
}

}  // namespace

void lock() {
  the_lock().lock();
}

void unlock() {
  the_lock().unlock();
}

}  // namespace rkv::host
