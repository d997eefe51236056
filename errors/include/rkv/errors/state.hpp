// E1ERRSTATE, the error state of the library: the routine-name stack, the
// error type and code recorded at each level, the waiting message, the
// stored message parameters, the per-type attributes and the text of the
// last report. Each thread has its own record, so errors posted on one
// thread never reach another.
//
// Arrays are indexed 1-based through operator(); element 0 is never used.
// A thread's record is initialised on its first use of any operation of the
// family.
#pragma once

#include <array>
#include <cstdint>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

// A fixed array indexed from 1 to N, as the record's tables are.
template <typename T, std::size_t N>
struct Table1 {
  std::array<T, N + 1> data{};
  constexpr T& operator()(std::int32_t i) { return data[static_cast<std::size_t>(i)]; }
  constexpr const T& operator()(std::int32_t i) const { return data[static_cast<std::size_t>(i)]; }
};

inline constexpr std::int32_t kMaxStackSlots = 51;
inline constexpr std::int32_t kNameLength = 32;
inline constexpr std::int32_t kMessageCapacity = 1024;
inline constexpr std::int32_t kParamCapacity = 300;
inline constexpr std::int32_t kErrorTypes = 7;

struct ErrorState {
  Table1<std::int32_t, kMaxStackSlots> user_level;  // logical, bit 0 tested
  std::array<char, kMessageCapacity> message_text;  // message_text[0] is position 1
  std::array<char, kParamCapacity> param_buffer;    // param_buffer[0] is position 1
  Table1<std::array<char, kNameLength>, kMaxStackSlots> name_stack;
  std::int32_t level;
  std::int32_t max_level;
  std::int32_t message_length;
  Table1<std::int32_t, kMaxStackSlots> level_type;
  Table1<std::int32_t, kMaxStackSlots> level_code;
  Table1<std::int32_t, kErrorTypes> print_attr;
  Table1<std::int32_t, kErrorTypes> stop_attr;
  std::int32_t param_fill;
  std::int32_t pending_warning;
  std::int32_t pending_fatal;
  Table1<std::int32_t, kErrorTypes> traceback_attr;
  // The message text of the last report printed (without the ".  " that
  // every waiting message begins with), kept for GETERRTEXT.
  std::array<char, kMessageCapacity> printed_text;
  std::int32_t printed_length;
  // The most serious error type posted since the innermost CallScope began
  // (call_scope.hpp): 0 none, 1 to 5, the immediate types 6 and 7 counted as
  // 3 and 4.
  std::int32_t worst_posted;
};

// One-time initialisation (does its work on the thread's first call only).
void E1INITIAL();

// The calling thread's record, initialised before it is returned.
ErrorState& E1ERRSTATE();

}  // namespace rkv

#pragma GCC visibility pop
