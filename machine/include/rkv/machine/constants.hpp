// Machine constants of the arithmetic: AMACH (single-precision reals) and
// IMACH (integers of the integer and floating-point formats).
#pragma once

#include <cstdint>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

// N = 1..8: smallest normalised, largest finite, smallest and largest
// relative spacing, log10(2), quiet NaN, +infinity, -infinity. Any other N is
// a terminal error reported through the error family (which then stops the
// run); the value returned in that case is the NaN entry. Defined in the
// error family's library (rkv::errors), which posts that report.
float AMACH(const std::int32_t& n);

// N = 1..12, see the table in constants.cpp. Any other N writes a fixed
// five-line report on the standard output unit and stops the run.
std::int32_t IMACH(const std::int32_t& n);

}  // namespace rkv

#pragma GCC visibility pop
