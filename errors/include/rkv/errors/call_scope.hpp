// The scope of one call of a library object (an integrator, a dense output):
// it knows the outcome of the call, the most serious error type the call
// posted, and puts the routine-name stack back where it stood at the call's
// entry when an exception from user code leaves the call.
//
// Made at the entry of the call, before the call pushes its name. When
// nothing is thrown it costs two reads and two writes of the calling
// thread's error state at each end, nothing per step.
#pragma once

#include <cstdint>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

class CallScope {
 public:
  CallScope() noexcept;
  // On the way out the outcome is merged into that of an enclosing scope;
  // when an exception is leaving, E1UNWIND puts the stack back at the level
  // of the entry.
  ~CallScope();
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

  // The most serious error posted since the scope began: 0 none, 1 NOTE,
  // 2 ALERT, 3 WARNING, 4 FATAL, 5 TERMINAL (an immediate WARNING or FATAL
  // as a WARNING or FATAL).
  [[nodiscard]] std::int32_t outcome() const noexcept;

 private:
  std::int32_t level_;
  std::int32_t saved_worst_;
  int exceptions_;
};

}  // namespace rkv

#pragma GCC visibility pop
