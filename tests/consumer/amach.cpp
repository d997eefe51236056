// AMACH(99) as the only call into the library: the TERMINAL report must come
// through the error family however the program is linked (here by hand,
// from rkv.pc), and the run must stop before AMACH returns.
#include <cstdint>
#include <cstdio>

#include "rkv/machine/constants.hpp"
#include "rkv/version.h"

static_assert(RKV_VERSION_MAJOR >= 1, "rkv/version.h gives the version");

int main() {
  const std::int32_t n = 99;
  const float v = rkv::AMACH(n);
  std::printf("AMACH returned %g\n", static_cast<double>(v));
  return 1;
}
