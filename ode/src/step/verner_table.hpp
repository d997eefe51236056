// Coefficients of the eight-stage Runge-Kutta-Verner pair of orders 6 and 5,
// as the bit patterns of their single-precision roundings.
//
// Order: the stage coefficients a(s, j) row by row (a21; a31 a32; ...;
// a81 .. a87, there is no a76), then the weights b(1..8) of the propagated
// sixth-order solution, then the error weights e(j) = bhat(j) - b(j), where
// bhat are the weights of the fifth-order companion. Zero entries are stored
// and take part in their sums (so a NaN or infinite stage still propagates).
#pragma once

#include <array>
#include <cstdint>

namespace rkv::ode {

inline constexpr std::array<std::uint32_t, 43> kVernerTableBits = {
    0x3E2AAAABu,                                         // a21 = 1/6
    0x3D5A740Eu, 0x3E5A740Eu,                            // a31 = 4/75, a32 = 16/75
    0x3F555555u, 0xC02AAAABu, 0x40200000u,               // a4j = 5/6, -8/3, 5/2
    0xC0250000u, 0x4112AAABu, 0xC0D48000u, 0x3F62AAABu,  // a5j = -165/64, 55/6, -425/64, 85/96
    0x4019999Au, 0xC1000000u, 0x40D1EF45u, 0xBE9C71C7u,  // a6j = 12/5, -8, 4015/612, -11/36,
    0x3EB0B0B1u,                                         //       88/255
    0xBF0D0599u, 0x3FD3A06Du, 0xBF721212u, 0xBEA5E354u,  // a7j = -8263/15000, 124/75, -643/680,
    0x3E6F662Fu,                                         //       -81/250, 2484/10625
    0x4002450Fu, 0xC0DF417Du, 0x40B4BDE4u, 0xBE0CADC1u,  // a8j = 3501/1720, -300/43,
    0x3E929636u, 0x00000000u, 0x3E13A38Bu,               //       297275/52632, -319/2322,
                                                         //       24068/84065, 0, 3850/26703
    0x3D99999Au, 0x00000000u, 0x3EC7A4BCu, 0x3EA38E39u,  // b = 3/40, 0, 875/2244, 23/72,
    0x3E0A477Fu, 0x00000000u, 0x3C30AC6Fu, 0x3D8EF607u,  //     264/1955, 0, 125/11592, 43/616
    0x3BCCCCCDu, 0x00000000u, 0x3BE429FBu, 0xBBE38E39u,  // e = 1/160, 0, 125/17952, -1/144,
    0x3BC9222Du, 0x3D8BA2E9u, 0xBC30AC6Fu, 0xBD8EF607u,  //     12/1955, 3/44, -125/11592, -43/616
};

// Offsets (0-based) of the rows in the table: row s of a holds a(s, 1..)
// from kRowA[s]; the stages 2 to 8 use 1, 2, 3, 4, 5, 5 and 7 entries.
inline constexpr std::array<std::int32_t, 9> kRowA = {-1, -1, 0, 1, 3, 6, 10, 15, 20};
inline constexpr std::array<std::int32_t, 9> kRowLength = {0, 0, 1, 2, 3, 4, 5, 5, 7};
inline constexpr std::int32_t kRowB = 27;
inline constexpr std::int32_t kRowE = 35;

}  // namespace rkv::ode
