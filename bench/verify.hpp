// The bit-for-bit check that precedes every timing: the solver against the
// floor on P1 and each P2 size, each vector kernel against its plain loop,
// the ensemble on all cores against one thread, and the comparison itself
// against one-ulp changes. One line per check on standard output.
#pragma once

#include <cstdint>
#include <map>

namespace rkv::bench {

// Bytes the floor moves per accepted step, by the NEQ of the P2 runs; the
// verification measures them from its own runs, the bandwidth table uses them.
using BytesPerStep = std::map<std::int32_t, double>;

// True when every check passes; fills `p2_bytes` for every P2 size.
bool verify(BytesPerStep& p2_bytes);

}  // namespace rkv::bench
