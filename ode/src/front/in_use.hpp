// The in-use flag of a solver instance. A call holds it from its entry to its
// way out, so that a second call of the same instance made meanwhile (from
// the right-hand side, the norm routine or another thread) is refused at
// once, before it reads or writes anything of the call in progress.
#pragma once

#include <atomic>
#include <cstdint>

namespace rkv::ode {

using InUseFlag = std::atomic<std::int32_t>;

// Takes the flag for the lifetime of the guard when it is free; held() says
// whether it was. Released on every way out, an unwinding one included.
class InUse {
 public:
  explicit InUse(InUseFlag& flag)
      : flag_(flag), held_(flag.exchange(1, std::memory_order_acquire) == 0) {}
  ~InUse() {
    if (held_) flag_.store(0, std::memory_order_release);
  }
  InUse(const InUse&) = delete;
  InUse& operator=(const InUse&) = delete;

  [[nodiscard]] bool held() const { return held_; }

 private:
  InUseFlag& flag_;
  bool held_;
};

}  // namespace rkv::ode
