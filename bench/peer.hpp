// An independent peer for the ODE workloads, registered only when the
// library that provides it was found at configure time.
#pragma once

#include <cstdint>
#include <vector>

namespace rkv::bench {

// Registers "P1/odeint", "P1/verner" and "P2/odeint/<NEQ>" for each of
// `sizes`. The peer's ensemble member is kPeerMember (ensemble.hpp).
void register_peer_benchmarks(const std::vector<std::int32_t>& sizes);

}  // namespace rkv::bench
