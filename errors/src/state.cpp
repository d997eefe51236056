// The error state E1ERRSTATE, one record per thread, and its one-time
// initialisation (once per thread), from the process-wide initial
// attributes.
#include <algorithm>

#include "messages.hpp"
#include "rkv/errors/state.hpp"
#include "rkv/host/stop.hpp"
#include "state_internal.hpp"
#include "state_testing.hpp"

namespace rkv {
namespace detail {

namespace {
// Constant-initialised (all zero): valid before any dynamic initialisation,
// and no TLS initialisation function is needed to reach it.
constinit thread_local ErrorState t_record{};
}  // namespace

constinit thread_local ErrorState* t_error_state = nullptr;

namespace {
// The initial attributes of every thread's record, indexed by type (entry 0
// unused): NOTE and ALERT silent, WARNING printed, FATAL and TERMINAL printed
// and stopping, the immediate types as their own. Changed only by SETINITATTR.
constinit std::atomic<std::int32_t> g_initial_print[kErrorTypes + 1] = {0, 0, 0, 1, 1, 1, 1, 1};
constinit std::atomic<std::int32_t> g_initial_stop[kErrorTypes + 1] = {0, 0, 0, 0, 1, 1, 0, 1};
}  // namespace

std::atomic<std::int32_t>& initial_print(std::int32_t type) {
  return g_initial_print[type];
}

std::atomic<std::int32_t>& initial_stop(std::int32_t type) {
  return g_initial_stop[type];
}

ErrorState& first_use() {
  E1INITIAL();
  return *t_error_state;
}

void stop_run() {
  rkv::host::stop();
}

void reset_error_state_for_testing() {
  t_record = ErrorState{};
  t_error_state = nullptr;
  E1INITIAL();
}

}  // namespace detail

void E1INITIAL() {
  if (detail::t_error_state != nullptr) return;
  ErrorState& s = detail::t_record;

  s.level = 1;
  s.max_level = 50;

  s.level_type(1) = 0;
  s.level_code(1) = 0;
  for (std::int32_t l = 2; l <= kMaxStackSlots; ++l) {
    s.level_type(l) = -1;
    s.level_code(l) = -1;
  }

  s.user_level(1) = -1;
  for (std::int32_t l = 2; l <= kMaxStackSlots; ++l) s.user_level(l) = 0;

  // The process-wide initial attributes (the defaults unless SETINITATTR
  // changed them before this thread's first use of the family).
  for (std::int32_t t = 1; t <= kErrorTypes; ++t) {
    s.print_attr(t) = detail::initial_print(t).load(std::memory_order_relaxed);
    s.stop_attr(t) = detail::initial_stop(t).load(std::memory_order_relaxed);
    s.traceback_attr(t) = 1;
  }

  s.param_fill = 1;
  s.pending_warning = 0;
  s.pending_fatal = 0;

  auto& user = s.name_stack(1);
  std::fill(user.begin(), user.end(), ' ');
  std::copy(detail::msg::kUserName.begin(), detail::msg::kUserName.end(), user.begin());

  // message_length is left as it is: zero when the thread starts.
  detail::t_error_state = &s;
}

ErrorState& E1ERRSTATE() {
  return detail::state();
}

}  // namespace rkv
