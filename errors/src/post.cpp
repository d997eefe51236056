// Posting and querying errors: E1MES records a type and code at the caller's
// level and builds the waiting message (placeholders expanded from the stored
// parameters); N1RTY reads a recorded type; E1USR marks the current level as
// handing control to user code.
#include <algorithm>
#include <span>

#include "messages.hpp"
#include "params_internal.hpp"
#include "rkv/errors/params.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/print.hpp"
#include "rkv/errors/text.hpp"
#include "rkv/errors/user_code.hpp"
#include "state_internal.hpp"

namespace rkv {
namespace {

using detail::state;

constexpr std::int32_t kPlaceholderLength = 5;  // "%(" letter digit ")"

// A placeholder starts at text[i] (0-based; i + 5 <= text.size()).
bool is_placeholder(std::string_view text, std::size_t i) {
  if (text[i] != '%' || text[i + 1] != '(' || text[i + 4] != ')') return false;
  if (C1INDEXI(detail::msg::kPlaceholderLetters, text.substr(i + 2, 1)) <= 0) return false;
  std::int32_t digit = 0;
  std::int32_t ier = 0;
  C1TXTINT(text.substr(i + 3, 1), digit, ier);
  return ier == 0 && digit != 0;
}

// Builds the waiting message ".  " + text with its placeholders expanded,
// never more than the message capacity.
void build_message(ErrorState& s, std::string_view text) {
  constexpr std::size_t kCap = kMessageCapacity;
  const std::size_t n = std::min(text.size(), kCap);
  char* const out = s.message_text.data();
  const std::string_view prefix = detail::msg::kMessagePrefix;
  std::copy(prefix.begin(), prefix.end(), out);
  std::size_t j = prefix.size();

  std::size_t i = 0;
  while (i + kPlaceholderLength <= n) {
    if (is_placeholder(text, i)) {
      if (const auto value = detail::lookup_param(text[i + 2], text[i + 3])) {
        const std::size_t m = std::min(value->size(), kCap - j);
        std::copy_n(value->begin(), m, out + j);
        j += m;
        i += kPlaceholderLength;
        if (j >= kCap) {
          s.message_length = kMessageCapacity;
          return;
        }
        continue;
      }
    }
    if (j >= kCap) {
      s.message_length = kMessageCapacity;
      return;
    }
    out[j++] = text[i++];
  }
  // The last at most four characters are never a placeholder start.
  for (; i < n && j < kCap; ++i) out[j++] = text[i];
  s.message_length = static_cast<std::int32_t>(j);
}

// Stores a fixed text directly as the waiting message.
void set_message(ErrorState& s, std::string_view text) {
  const std::size_t n = std::min(text.size(), s.message_text.size());
  C1ASSIGN(text, std::span<char>(s.message_text.data(), n));
  s.message_length = static_cast<std::int32_t>(n);
}

}  // namespace

void E1MES(const std::int32_t& type, const std::int32_t& code, std::string_view text) {
  ErrorState& s = state();
  if (type < -1 || type > kErrorTypes) {
    // Nothing is recorded: the header shows the level's type and code as
    // they were.
    set_message(s, detail::msg::kIllegalType);
    E1PRINTM();
    detail::stop_run();
  }
  const std::int32_t l = s.level;
  if (type != -1) s.level_type(l) = type;
  if (code >= 0) s.level_code(l) = code;
  const std::int32_t t = s.level_type(l);

  if (type == 0 || code == 0) {
    s.message_length = 0;
    s.param_fill = 1;
    return;
  }

  s.worst_posted = std::max(s.worst_posted, detail::severity(t));

  // An empty or one-blank text relabels the waiting message.
  const bool relabel = text.empty() || (text.size() == 1 && text[0] == ' ');
  if (!relabel) build_message(s, text);

  if (t == kWarningImmediate) s.pending_warning = 1;
  if (t == kFatalImmediate) s.pending_fatal = 1;
  if (t >= kTerminal && t <= kErrorTypes && s.print_attr(t) == 1) E1PRINTM();
  s.param_fill = 1;
}

std::int32_t N1RTY(const std::int32_t& which) {
  ErrorState& s = state();
  if (which == 0) return N1RLEV(s);
  // Slot level + 1 exists even at the top level (the table has 51 slots).
  if (which == 1) return s.level_type(s.level + 1);
  s.level_type(s.level) = kTerminal;
  s.level_code(s.level) = 1;
  set_message(s, detail::msg::kN1rtyArgument);
  E1PRINTM();
  detail::stop_run();
}

void E1USR(std::string_view switch_value) {
  ErrorState& s = state();
  // Called around every right-hand-side evaluation: compare in place, with
  // trailing blanks ignored, and nothing else.
  std::size_t n = switch_value.size();
  while (n > 0 && switch_value[n - 1] == ' ') --n;
  const char* c = switch_value.data();
  if (n == 2 && ((c[0] == 'O' && c[1] == 'N') || (c[0] == 'o' && c[1] == 'n'))) {
    (void)E1UON(s);
    return;
  }
  if (n == 3 && ((c[0] == 'O' && c[1] == 'F' && c[2] == 'F') ||
                 (c[0] == 'o' && c[1] == 'f' && c[2] == 'f'))) {
    E1UOFF(s);
    return;
  }
  static constexpr std::int32_t kIndex = 1;
  static constexpr std::int32_t kCode = 1;
  E1SETSTR(kIndex, switch_value);
  E1MES(kTerminal, kCode, detail::msg::kBadSwitch);
}

}  // namespace rkv
