// The process-wide error state E1ERRSTATE and its one-time initialisation.
#include <algorithm>

#include "messages.hpp"
#include "rkv/errors/state.hpp"
#include "rkv/host/stop.hpp"
#include "state_internal.hpp"
#include "state_testing.hpp"

namespace rkv {
namespace detail {

ErrorState g_error_state{};
bool g_error_state_ready = false;

void stop_run() {
  rkv::host::stop();
}

void reset_error_state_for_testing() {
  g_error_state = ErrorState{};
  g_error_state_ready = false;
  E1INITIAL();
}

}  // namespace detail

void E1INITIAL() {
  using detail::g_error_state;
  if (detail::g_error_state_ready) return;
  ErrorState& s = g_error_state;

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

  static constexpr std::int32_t kPrint[kErrorTypes] = {0, 0, 1, 1, 1, 1, 1};
  static constexpr std::int32_t kStop[kErrorTypes] = {0, 0, 0, 1, 1, 0, 1};
  for (std::int32_t t = 1; t <= kErrorTypes; ++t) {
    s.print_attr(t) = kPrint[t - 1];
    s.stop_attr(t) = kStop[t - 1];
    s.traceback_attr(t) = 1;
  }

  s.param_fill = 1;
  s.pending_warning = 0;
  s.pending_fatal = 0;

  auto& user = s.name_stack(1);
  std::fill(user.begin(), user.end(), ' ');
  std::copy(detail::msg::kUserName.begin(), detail::msg::kUserName.end(), user.begin());

  // message_length is left as it is: zero at program start.
  detail::g_error_state_ready = true;
}

ErrorState& E1ERRSTATE() {
  return detail::state();
}

}  // namespace rkv
