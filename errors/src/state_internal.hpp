// Private access to the error state for the family's own routines: the
// calling thread's record and the cheap first-use check that every operation
// runs before it touches it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "messages.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/state.hpp"

namespace rkv::detail {

// The calling thread's record, set by its first initialisation. The record
// itself is a thread_local of state.cpp; this pointer is what the hot path
// reads (E1USR and N1RTY work around every right-hand-side call): with the
// initial-exec model it is one load from the thread pointer and a
// predictable branch, with no call into the TLS machinery. A copy of the
// libraries built into a module loaded at run time (the Python extension)
// defines RKV_TLS_DYNAMIC: such a module may not ask for the initial-exec
// model, whose static TLS space is too small for the thread's records.
#if defined(RKV_TLS_DYNAMIC)
extern constinit thread_local ErrorState* t_error_state;
#else
extern constinit thread_local ErrorState* t_error_state __attribute__((tls_model("initial-exec")));
#endif

// Initialises the calling thread's record and returns it.
ErrorState& first_use();

inline ErrorState& state() {
  ErrorState* const s = t_error_state;
  if (s == nullptr) [[unlikely]] {
    return first_use();
  }
  return *s;
}

// Logical values are tested on bit 0.
inline bool is_true(std::int32_t logical) {
  return (logical & 1) != 0;
}

// True when `t` indexes the per-type attribute tables.
inline bool is_table_type(std::int32_t t) {
  return t >= 1 && t <= kErrorTypes;
}

// The rank of a recorded type among the outcomes of a call: the immediate
// WARNING and FATAL (6, 7) rank as WARNING and FATAL; anything outside 1..7
// is no error.
inline std::int32_t severity(std::int32_t t) {
  if (t == kWarningImmediate) return kWarning;
  if (t == kFatalImmediate) return kFatal;
  return is_table_type(t) ? t : 0;
}

// The process-wide attributes a thread's error state starts from, indexed by
// error type 1..7 (SETINITATTR).
std::atomic<std::int32_t>& initial_print(std::int32_t type);
std::atomic<std::int32_t>& initial_stop(std::int32_t type);

// The waiting message as a view of its used part (never beyond the array).
inline std::string_view message_view(const ErrorState& s) {
  std::int32_t n = s.message_length;
  if (n < 0) n = 0;
  if (n > kMessageCapacity) n = kMessageCapacity;
  return {s.message_text.data(), static_cast<std::size_t>(n)};
}

// A waiting message as the caller reads it: without the ".  " it begins with.
inline std::string_view report_text(std::string_view message) {
  if (message.substr(0, msg::kMessagePrefix.size()) == msg::kMessagePrefix) {
    message.remove_prefix(msg::kMessagePrefix.size());
  }
  return message;
}

// Ends the run after a report (the host's orderly stop).
[[noreturn]] void stop_run();

}  // namespace rkv::detail
