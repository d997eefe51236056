// The routine-name stack: every library routine pushes its name on entry and
// pops it on every way out. The pop hands a recorded error down to the
// calling routine's level and, when the caller is user code, prints it and
// stops the run as the type's attributes say.
#pragma once

#include <cstdint>
#include <string_view>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

void E1PSH(std::string_view name);
void E1POP(std::string_view name);

// Puts the stack back at LEVEL (1 or above, not above the current level)
// after an exception from user code has left the routines above it: their
// names are removed without a report, their error slots and user-code marks
// cleared, as if each had popped without an error. The error of the routine
// at LEVEL + 1, if one was recorded, stays in its slot for N1RTY(1).
void E1UNWIND(const std::int32_t& level);

// Stop check for the pending immediate WARNING/FATAL flags; consumes them.
std::int32_t E1PENDSTOP();

}  // namespace rkv

#pragma GCC visibility pop
