// Private access to the error state for the family's own routines: the
// record and its once flag, and the cheap first-use check that every
// operation runs before it touches the record.
#pragma once

#include <cstdint>
#include <string_view>

#include "rkv/errors/state.hpp"

namespace rkv::detail {

// The one instance. Both are constant-initialised (all zero), so they are
// valid before any dynamic initialisation has run.
extern ErrorState g_error_state;
extern bool g_error_state_ready;

// The record, initialised on first use. This is on the solver's hot path
// (E1USR and N1RTY around every right-hand-side call): one load and a
// predictable branch.
inline ErrorState& state() {
  if (!g_error_state_ready) [[unlikely]] {
    E1INITIAL();
  }
  return g_error_state;
}

// Logical values are tested on bit 0.
inline bool is_true(std::int32_t logical) {
  return (logical & 1) != 0;
}

// True when `t` indexes the per-type attribute tables.
inline bool is_table_type(std::int32_t t) {
  return t >= 1 && t <= kErrorTypes;
}

// The waiting message as a view of its used part (never beyond the array).
inline std::string_view message_view(const ErrorState& s) {
  std::int32_t n = s.message_length;
  if (n < 0) n = 0;
  if (n > kMessageCapacity) n = kMessageCapacity;
  return {s.message_text.data(), static_cast<std::size_t>(n)};
}

// Ends the run after a report (the host's orderly stop).
[[noreturn]] void stop_run();

}  // namespace rkv::detail
