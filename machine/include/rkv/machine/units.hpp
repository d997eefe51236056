// Unit numbers of the library: UMACH reads (N > 0) or replaces (N < 0) one of
// three process-wide entries: 1 standard input (5), 2 standard output (6),
// 3 the unit for error messages and tracebacks (6).
#pragma once

#include <cstdint>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

// |N| outside 1..3 writes a fixed five-line report on the error-message unit
// and stops the run.
void UMACH(const std::int32_t& n, std::int32_t& unitnum);

}  // namespace rkv

#pragma GCC visibility pop
