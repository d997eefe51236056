// The routine-name stack: E1PSH, E1POP and the stop check for immediate
// errors. The pop is where an error recorded at a level is handed down to
// the caller and, when the caller is user code, printed and turned into a
// stop as the type's attributes say.
#include <algorithm>

#include "messages.hpp"
#include "rkv/errors/params.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/print.hpp"
#include "rkv/errors/stack.hpp"
#include "state_internal.hpp"

namespace rkv {
namespace {

using detail::state;

// The name as the stack holds it: cut to 32 characters or blank-padded.
void store_name(std::array<char, kNameLength>& slot, std::string_view name) {
  const std::size_t n = std::min(name.size(), slot.size());
  std::copy_n(name.begin(), n, slot.begin());
  std::fill(slot.begin() + static_cast<std::ptrdiff_t>(n), slot.end(), ' ');
}

// Case-sensitive comparison, the shorter side extended with blanks.
bool same_name(std::string_view name, const std::array<char, kNameLength>& slot) {
  const std::string_view entry(slot.data(), slot.size());
  const std::size_t common = std::min(name.size(), entry.size());
  if (name.substr(0, common) != entry.substr(0, common)) return false;
  const std::string_view rest = name.size() > common ? name.substr(common) : entry.substr(common);
  return std::all_of(rest.begin(), rest.end(), [](char c) { return c == ' '; });
}

}  // namespace

void E1PSH(std::string_view name) {
  ErrorState& s = state();
  if (s.level >= s.max_level) {
    static constexpr std::int32_t kIndex = 1;
    static constexpr std::int32_t kCode = 1;
    const std::int32_t max_level = s.max_level;
    E1SETINT(kIndex, max_level);
    E1MES(kTerminal, kCode, detail::msg::kPushOverflow);
    detail::stop_run();
  }
  s.level = s.level + 1;
  store_name(s.name_stack(s.level), name);
  s.level_type(s.level) = 0;
  s.level_code(s.level) = 0;
}

void E1POP(std::string_view name) {
  ErrorState& s = state();
  const std::int32_t l = s.level;

  if (l <= 1) {
    static constexpr std::int32_t kIndex = 1;
    static constexpr std::int32_t kCode = 1;
    E1PSH(detail::msg::kE1popName);
    E1SETSTR(kIndex, name);
    E1MES(kTerminal, kCode, detail::msg::kPopEmpty);
    detail::stop_run();
  }

  if (!same_name(name, s.name_stack(l))) {
    static constexpr std::int32_t kGiven = 1;
    static constexpr std::int32_t kTop = 2;
    static constexpr std::int32_t kCode = 2;
    const auto& top = s.name_stack(l);
    E1SETSTR(kGiven, name);
    E1SETSTR(kTop, std::string_view(top.data(), top.size()));
    E1MES(kTerminal, kCode, detail::msg::kPopMismatch);
    detail::stop_run();
  }

  const std::int32_t t = s.level_type(l);
  if (t != 0 && detail::is_table_type(t)) {
    const bool to_user = detail::is_true(s.user_level(l - 1));
    if (t >= 2) {
      s.level_type(l - 1) = t;
      s.level_code(l - 1) = s.level_code(l);
    }
    if (t <= 4) {
      if (s.print_attr(t) == 1 && to_user) E1PRINTM();
      if (s.stop_attr(t) == 1 && to_user) detail::stop_run();
    } else {
      if (s.print_attr(t) == 1) E1PRINTM();
      if (t == kTerminal) {
        if (s.stop_attr(kTerminal) == 1) detail::stop_run();
      } else if (to_user && E1PENDSTOP() != 0) {
        detail::stop_run();
      }
    }
  }

  if (l < s.max_level) {
    s.level_type(l + 1) = -1;
    s.level_code(l + 1) = -1;
  }
  s.level = l - 1;
}

void E1UNWIND(const std::int32_t& level) {
  ErrorState& s = state();
  const std::int32_t top = s.level;
  const std::int32_t target = std::clamp(level, std::int32_t{1}, std::max(top, std::int32_t{1}));
  for (std::int32_t l = target + 1; l <= top; ++l) s.user_level(l) = 0;
  for (std::int32_t l = target + 2; l <= std::min(top + 1, kMaxStackSlots); ++l) {
    s.level_type(l) = -1;
    s.level_code(l) = -1;
  }
  s.level = target;
}

std::int32_t E1PENDSTOP() {
  ErrorState& s = state();
  std::int32_t r = 0;
  if (s.pending_warning > 0) {
    r = s.stop_attr(kWarningImmediate);
    s.pending_warning = 0;
  }
  if (s.pending_fatal > 0) {
    r = s.stop_attr(kFatalImmediate);
    s.pending_fatal = 0;
  }
  return r;
}

}  // namespace rkv
