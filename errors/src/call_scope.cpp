// CallScope: the outcome of one call of a library object and the unwinding
// of the name stack when an exception from user code leaves it.
#include "rkv/errors/call_scope.hpp"

#include <algorithm>
#include <exception>

#include "rkv/errors/stack.hpp"
#include "state_internal.hpp"

namespace rkv {

CallScope::CallScope() noexcept : exceptions_(std::uncaught_exceptions()) {
  ErrorState& s = detail::state();
  level_ = s.level;
  saved_worst_ = s.worst_posted;
  s.worst_posted = 0;
}

CallScope::~CallScope() {
  ErrorState& s = detail::state();
  if (std::uncaught_exceptions() > exceptions_) E1UNWIND(level_);
  s.worst_posted = std::max(saved_worst_, s.worst_posted);
}

std::int32_t CallScope::outcome() const noexcept {
  return detail::state().worst_posted;
}

}  // namespace rkv
