// The mark of a level that hands control to user code, and the test for an
// error that ends the caller's call: the fast paths of E1USR and N1RTY(0).
// The solver brackets every call of the user's right-hand side with them,
// so they are inline and take the calling thread's record, E1ERRSTATE(),
// fetched once by a caller that makes many calls. The level is read afresh
// each time: the user's code may have moved it.
#pragma once

#include <cstdint>

#include "rkv/errors/post.hpp"
#include "rkv/errors/state.hpp"

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

// Marks the current level as in user code, as E1USR("ON") does; returns the
// mark the level had, for a caller that may itself run as user code.
inline std::int32_t E1UON(ErrorState& e) {
  const std::int32_t before = e.user_level(e.level);
  e.user_level(e.level) = -1;
  return before;
}

// Clears the mark, as E1USR("OFF") does, or puts back the one E1UON returned.
inline void E1UOFF(ErrorState& e, std::int32_t mark = 0) {
  e.user_level(e.level) = mark;
}

// The type recorded at the current level: N1RTY(0).
inline std::int32_t N1RLEV(const ErrorState& e) {
  return e.level_type(e.level);
}

// Whether an error of type FATAL or worse has reached the current level.
inline bool N1RSER(const ErrorState& e) {
  return N1RLEV(e) > kWarning;
}

}  // namespace rkv

#pragma GCC visibility pop
