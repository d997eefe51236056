// The refusal of null pointer arguments, shared by the C routines: the first
// null argument is reported as a TERMINAL error posted under the name of the
// routine called, naming the argument, so that the caller's attributes decide
// whether it is printed and whether it ends the run.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "rkv/errors/params.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/rkv.h"

namespace rkv::capi {

struct Arg {
  std::string_view name;  // as the message names it
  bool null;
};

// Posts the refusal of the first null argument of `args`; true if there was
// one.
inline bool refused(std::string_view routine, std::initializer_list<Arg> args) {
  static constexpr std::int32_t kNullCode = RKV_NULL_POINTER_CODE;
  static constexpr std::string_view kNullText =
      "The argument %(L1) is a null pointer.  It must point to its value.";
  for (const Arg& a : args) {
    if (!a.null) continue;
    static constexpr std::int32_t kIndex = 1;
    static constexpr std::int32_t kType = rkv::kTerminal;
    rkv::E1PSH(routine);
    rkv::E1SETSTR(kIndex, a.name);
    rkv::E1MES(kType, kNullCode, kNullText);
    rkv::E1POP(routine);
    return true;
  }
  return false;
}

}  // namespace rkv::capi
