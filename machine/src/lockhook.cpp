// LOCKHOOK: the place where a multi-threaded build would take (flag 1) and
// release (flag 0) the library's lock. This build runs on one thread, so it
// does nothing.
#include "rkv/machine/lockhook.hpp"

namespace rkv {

std::int32_t LOCKHOOK(const std::int32_t& /*flag*/) {
  return 0;
}

}  // namespace rkv
