// The trajectory model: the shared data area TRAJDATA and the right-hand side
// RHSFUN of dy/dx = -/+ sqrt(2*MU*(ENERGY - V(y) - ENERGY*BCOEF^2/y^2)), where
// V is a Morse-type well of depth DEPTH with its minimum at y = R0. The sign
// is negative until the derivative first becomes small (the turning point)
// and positive from then on.
#pragma once

#include <bit>
#include <cstdint>

namespace rkv::app {

struct TrajData {
  float R0;
  float DEPTH;
  float WIDTH;
  float ENERGY;
  std::int32_t OUTWARD;  // logical: 0 false (negative root), -1 true (positive root)
  float BCOEF;
  float M1;
  float M2;
  float MU;
};

// MU = 1/(1/M1 + 1/M2) rounded at every operation in single precision: one
// unit in the last place below the correctly rounded 35/36.
inline constexpr std::uint32_t kMuBits = 0x3F78E38Du;
// ENERGY = MU/2, exact.
inline constexpr std::uint32_t kEnergyBits = 0x3EF8E38Du;

// The values the program starts with (OUTWARD false).
inline TrajData initial_trajdata() {
  return TrajData{2.0f, 5.0f, 1.0f,  std::bit_cast<float>(kEnergyBits), 0,
                  0.0f, 1.0f, 35.0f, std::bit_cast<float>(kMuBits)};
}

// The program's one record. RHSFUN reads it and is its only writer of
// OUTWARD once the run has started.
extern TrajData TRAJDATA;

// Derivative outside the allowed region (radicand not positive, or NaN).
inline constexpr float kOutsideDerivative = 10.0f;
// A derivative of magnitude below this marks the turning point.
inline constexpr float kTurningThreshold = 0.01f;

// Writes YPRIME(1) from Y(1) with the program's one record TRAJDATA; NEQ
// and X are not used.
void RHSFUN(const std::int32_t& neq, const float& x, const float* y, float* yprime);

// The same model with the record given as context (a TrajData*), for an
// integrator per record: RHSFUN is RHSTRAJ on &TRAJDATA, bit for bit. The
// record's OUTWARD flag is written as RHSFUN writes TRAJDATA's.
void RHSTRAJ(void* context, const std::int32_t& neq, const float& x, const float* y, float* yprime);

}  // namespace rkv::app
