// AMACH: the single-precision constants of 32-bit IEEE arithmetic. A bad N
// is a terminal error posted through the error family, so the routine lives
// in the family's library (the layer above the other machine constants):
// every program that can call AMACH links its report, however it is linked.
//
// The reals are stored as exact bit patterns, so that no decimal conversion
// of the compiler can alter them.
#include <array>
#include <bit>
#include <cstdint>

#include "messages.hpp"
#include "rkv/errors/params.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/machine/constants.hpp"

namespace rkv {
namespace {

// Index 0 unused; entries 1..8.
constexpr std::array<std::uint32_t, 9> kAmachBits = {
    0x00000000u,
    0x00800000u,  // 1: 2^-126, smallest positive normalised number
    0x7F7FFFFFu,  // 2: (2 - 2^-23) * 2^127, largest finite number
    0x33800000u,  // 3: 2^-24, smallest relative spacing
    0x34000000u,  // 4: 2^-23, largest relative spacing (just above 1)
    0x3E9A209Bu,  // 5: log10(2) rounded to single precision
    0x7FC00000u,  // 6: quiet NaN, also the result of a bad N
    0x7F800000u,  // 7: +infinity
    0xFF800000u,  // 8: -infinity
};

}  // namespace

float AMACH(const std::int32_t& n) {
  if (n >= 1 && n <= 8) return std::bit_cast<float>(kAmachBits[static_cast<std::size_t>(n)]);
  // Posted under AMACH's own name; with the initial attributes E1MES prints
  // it at once (type 5) and the run stops at the pop, so the NaN below is
  // seen only by a caller whose attributes let the run go on.
  static constexpr std::int32_t kType = kTerminal;
  static constexpr std::int32_t kCode = 5;
  static constexpr std::int32_t kIndex = 1;
  E1PSH(detail::msg::kAmachName);
  E1SETINT(kIndex, n);
  E1MES(kType, kCode, detail::msg::kAmachArgument);
  E1POP(detail::msg::kAmachName);
  return std::bit_cast<float>(kAmachBits[6]);
}

}  // namespace rkv
