// The ensemble workload: M members of the trajectory model, the same
// equation over a grid of ENERGY and BCOEF values, each integrated as the
// program integrates its one trajectory (from y = 10 in output intervals of
// 0.1 with HMAX = 0.001 and TOL = 1e-6, until x reaches 20 or y leaves
// (-10.1, 10.1)) but with the step limit lifted, on T threads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "model.hpp"

namespace rkv::bench {

inline constexpr float kEnsembleHmax = 0.001f;
inline constexpr float kEnsembleStepLimit = 1.0e7f;  // PARAM(4): far above any member's steps

// One member: its record (the context of its right-hand side) and start.
struct Member {
  app::TrajData data;
  float y0 = 10.0f;
};

// What a member leaves: the point reached, its solution and, for the
// solver, PARAM(31..35); `ok` when every solver call ended with IDO = 2.
struct MemberResult {
  float x = 0.0f;
  float y = 0.0f;
  std::array<float, 5> stats{};
  float accepted = 0.0f;
  bool ok = false;
};

// energies x bcoefs members: ENERGY = E0 (1/2 + i/4), BCOEF = j/4, with E0
// the program's ENERGY; ordered by ENERGY ascending (the longest first).
std::vector<Member> ensemble_grid(std::int32_t energies, std::int32_t bcoefs);

// The program's loop conditions, for every integrator alike.
bool member_goes_on(float x, float y);  // before an interval
bool member_below_top(float y);         // after one
float next_member_output(float x);

// Integrates one member; the number of accepted steps.
using MemberFunction = std::size_t (*)(const Member& m, MemberResult& out);

// The solver's member: its own integrator with the member's record as
// context.
extern const MemberFunction kSolverMember;

// The peer's member (see peer.hpp); null without the peer's library.
extern const MemberFunction kPeerMember;

// Runs every member on `threads` std::threads, each thread taking the next
// member nobody has taken yet; results in member order. Returns the total
// of accepted steps.
std::size_t run_ensemble(const std::vector<Member>& members, std::int32_t threads, MemberFunction f,
                         std::vector<MemberResult>& results);

}  // namespace rkv::bench
