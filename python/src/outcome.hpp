// The error family seen from Python: every call of the module runs with the
// calling thread's error attributes set to neither print nor stop, and puts
// the caller's attributes back afterwards, so that the interpreter is never
// ended and no report is printed that Python did not ask for. The outcome of
// the call (the type and code of the error it left, and the report's text)
// is read before the attributes are restored.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "rkv/errors/control.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/state.hpp"

namespace rkv::python {

// The error a call left: type 0 when there was none.
struct Outcome {
  std::int32_t type = 0;
  std::int32_t code = 0;
  std::string message;
};

// Keeps the thread's print and stop attributes of all seven error types for
// its lifetime and turns them off meanwhile.
class QuietErrors {
 public:
  QuietErrors() {
    for (std::int32_t t = 1; t <= kErrorTypes; ++t) GETERRATTR(t, print_[t - 1], stop_[t - 1]);
    SETERRATTR(kAllTypes, kAttrOff, kAttrOff);
  }
  ~QuietErrors() {
    for (std::int32_t t = 1; t <= kErrorTypes; ++t) SETERRATTR(t, print_[t - 1], stop_[t - 1]);
  }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  std::array<std::int32_t, kErrorTypes> print_{};
  std::array<std::int32_t, kErrorTypes> stop_{};
};

// The type, code and text the last library call of this thread left (an
// object's call reports its most serious error as its outcome, which the
// caller puts in place of the type).
inline Outcome read_outcome() {
  Outcome o;
  o.type = N1RTY(1);
  if (o.type != 0) {
    const ErrorState& s = E1ERRSTATE();
    o.code = s.level_code(s.level + 1);
    o.message = std::string(GETERRTEXT());
  }
  return o;
}

}  // namespace rkv::python
