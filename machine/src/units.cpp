// UMACH: the process-wide table of the library's unit numbers (standard
// input, standard output, error messages), read with N > 0 and replaced with
// N < 0. Every thread sees the same table; it is read and written under the
// library's lock.
#include "rkv/machine/units.hpp"

#include <array>

#include "rkv/host/record.hpp"
#include "rkv/host/stop.hpp"
#include "rkv/machine/lockhook.hpp"

namespace rkv {
namespace {

// Entries 1..3 (index 0 unused): 1 standard input, 2 standard output,
// 3 the unit of error messages and tracebacks.
std::array<std::int32_t, 4> g_units = {0, 5, 6, 6};

// The report of a bad |N|, written under the lock and released before the
// stop, which takes the lock itself (a stop hook that leaves by throwing
// must not keep it).
void report_bad_index(std::int64_t m) {
  const LockHold hold;
  // The record's integer field is 32-bit; a magnitude beyond the largest
  // integer is far too wide for I6 either way, so it is shown as the largest
  // integer, which prints as asterisks just the same.
  const std::int32_t shown = m <= INT32_MAX ? static_cast<std::int32_t>(m) : INT32_MAX;
  host::Record()
      .slash()
      .text(" *** TERMINAL ERROR 5 from UMACH.  The absolute")
      .slash()
      .text(" ***          value of the index variable must be")
      .slash()
      .text(" ***          1, 2, or 3.  IABS(N) = ")
      .i(shown, 6)
      .text(".")
      .slash()
      .write(g_units[3]);
}

}  // namespace

void UMACH(const std::int32_t& n, std::int32_t& unitnum) {
  // |N| in 64 bits: the magnitude of the most negative integer does not fit
  // in 32.
  const std::int64_t m = n < 0 ? -static_cast<std::int64_t>(n) : static_cast<std::int64_t>(n);
  if (m >= 1 && m <= 3) {
    const LockHold hold;
    if (n < 0) {
      g_units[static_cast<std::size_t>(m)] = unitnum;
    } else {
      unitnum = g_units[static_cast<std::size_t>(m)];
    }
    return;
  }
  report_bad_index(m);
  host::stop();
}

}  // namespace rkv
