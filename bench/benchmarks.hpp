// The timed benchmarks: P1 and P2 through the solver and the floor, the
// triads that give the bandwidth reference, each vector kernel and its plain
// loop, the peers where their library was found, and the ensemble.
#pragma once

namespace rkv::bench {

// Registers every benchmark with the benchmark library, under the names the
// summary table looks up ("P1/floor", "P2/solver/<NEQ>", "triad/<n>", ...).
void register_all();

}  // namespace rkv::bench
