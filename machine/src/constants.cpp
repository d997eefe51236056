// Machine constants: IMACH for 32-bit two's-complement integers and the IEEE
// single and double formats. (AMACH, whose bad argument is reported through
// the error family, is compiled into the family's library: errors/src.)
//
// The integer exponents (entries 8, 9, 11, 12) follow the convention
// x = 0.d1d2... * 2^e with 1/2 <= significand < 1, one more than the IEEE
// exponents of the form 1.d * 2^e.
#include "rkv/machine/constants.hpp"

#include <array>

#include "rkv/host/record.hpp"
#include "rkv/host/stop.hpp"
#include "rkv/machine/lockhook.hpp"
#include "rkv/machine/units.hpp"

namespace rkv {
namespace {

// Index 0 unused; entries 1..12.
constexpr std::array<std::int32_t, 13> kImach = {
    0,
    32,          // 1: bits per integer storage unit
    4,           // 2: characters per integer storage unit
    2,           // 3: base of the integer representation
    31,          // 4: base-2 digits of an integer, sign excluded
    2147483647,  // 5: largest integer, 2^31 - 1
    2,           // 6: base of the floating-point representation
    24,          // 7: base-2 digits of a single-precision significand
    -125,        // 8: smallest single-precision exponent
    128,         // 9: largest single-precision exponent
    53,          // 10: base-2 digits of a double-precision significand
    -1021,       // 11: smallest double-precision exponent
    1024,        // 12: largest double-precision exponent
};

// A self-contained report that does not use the error state, since the
// error family itself relies on these constants. The lock is released
// before the stop, as UMACH's report does: the stop takes the lock itself,
// and a stop hook that leaves by throwing must not keep it.
void report_bad_index(std::int32_t n) {
  const LockHold hold;
  const std::int32_t standard_output = 2;
  std::int32_t unit = 0;
  UMACH(standard_output, unit);
  host::Record()
      .slash()
      .text(" *** TERMINAL ERROR 5 from IMACH.  The argument")
      .slash()
      .text(" ***          must be between 1 and 12 inclusive.")
      .slash()
      .text(" ***          N = ")
      .i(n, 6)
      .text(".")
      .slash()
      .write(unit);
}

}  // namespace

std::int32_t IMACH(const std::int32_t& n) {
  if (n >= 1 && n <= 12) {
    const LockHold hold;
    return kImach[static_cast<std::size_t>(n)];
  }
  report_bad_index(n);
  host::stop();
}

}  // namespace rkv
