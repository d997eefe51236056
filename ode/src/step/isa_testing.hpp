// A hook for the tests, the trace driver and the benchmark only (not part of
// the library's interface): narrows the instruction set the loops use.
#pragma once

#include "step/isa.hpp"

namespace rkv::ode {

// Makes the loops use `isa`, or the widest supported set below it; returns
// the set now in use. For comparing the variants with each other.
Isa select_isa_for_testing(Isa isa);

}  // namespace rkv::ode
