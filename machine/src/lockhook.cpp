// LOCKHOOK: takes (flag 1) and releases (flag 0) the library's process-wide
// lock, the host's recursive lock that also guards the units. Takes nest;
// each thread counts its own, so that a release without a take (or any other
// flag) does nothing.
#include "rkv/machine/lockhook.hpp"

#include "rkv/host/lock.hpp"

namespace rkv {
namespace {

constinit thread_local std::int32_t t_depth = 0;

}  // namespace

std::int32_t LOCKHOOK(const std::int32_t& flag) {
  if (flag == kLockTake) {
    host::lock();
    ++t_depth;
  } else if (flag == kLockRelease && t_depth > 0) {
    --t_depth;
    host::unlock();
  }
  return 0;
}

}  // namespace rkv
