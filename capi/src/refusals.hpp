// The C interface's own refusals besides the null pointers, which the C++
// layer has no occasion for: an event crossing outside the three kinds (a C
// int can hold any value), the dense handle's copy of an event list that
// cannot be allocated, and a tolerance norm that is neither of the two. They are TERMINAL errors
// posted under the routine's name, as the null pointers are, with codes from 30 on, apart from the
// routines' own.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "rkv/dense.h"
#include "rkv/errors/params.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/integrator.h"

namespace rkv::capi {

struct Refusal {
  std::int32_t code;
  std::string_view text;
};

inline constexpr Refusal kBadCrossing{
    RKV_BAD_CROSSING_CODE,
    "The crossing of event function %(I1) is %(I2).  It must be 0 (either direction), 1 (rising) "
    "or 2 (falling)."};
inline constexpr Refusal kEventStorage{
    RKV_EVENT_STORAGE_CODE, "The storage for a list of %(I1) event functions cannot be allocated."};
inline constexpr Refusal kBadNorm{
    RKV_BAD_NORM_CODE,
    "The tolerance norm NORM = %(I1).  It must be 1 (the maximum) or 2 (the root mean square)."};

// Posts `r` under `routine` with the integers %(I1), %(I2), ... of `ints`.
inline void refuse_with(std::string_view routine, const Refusal& r,
                        std::initializer_list<std::int32_t> ints) {
  E1PSH(routine);
  std::int32_t index = 1;
  for (const std::int32_t v : ints) E1SETINT(index++, v);
  E1MES(kTerminal, r.code, r.text);
  E1POP(routine);
}

inline void refuse_crossing(std::string_view routine, std::int32_t event, std::int32_t crossing) {
  refuse_with(routine, kBadCrossing, {event, crossing});
}
inline void refuse_storage(std::string_view routine, std::int32_t events) {
  refuse_with(routine, kEventStorage, {events});
}
inline void refuse_norm(std::string_view routine, std::int32_t norm) {
  refuse_with(routine, kBadNorm, {norm});
}

}  // namespace rkv::capi
