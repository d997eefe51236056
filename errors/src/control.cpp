// SETERRATTR, GETERRATTR, SETINITATTR, GETINITATTR and GETERRTEXT: the
// caller's access to the print and stop attributes (the thread's and the
// process-wide initial ones) and to the text of the last report. Misuse is posted under
// the routine's own name as a TERMINAL error, like every other refusal of
// the family, so that the attributes in force decide what follows.
#include <algorithm>
#include <atomic>

#include "messages.hpp"
#include "rkv/errors/control.hpp"
#include "rkv/errors/params.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/stack.hpp"
#include "state_internal.hpp"

namespace rkv {
namespace {

using detail::state;
namespace msg = detail::msg;

constexpr std::int32_t kTypeCode = 1;
constexpr std::int32_t kValueCode = 2;

bool is_attribute_value(std::int32_t v) {
  return v == kAttrOff || v == kAttrOn || v == kAttrKeep;
}

// Posts a refusal with one integer (and optionally one text) parameter.
void refuse(std::string_view routine, std::int32_t code, std::string_view text, std::int32_t value,
            std::string_view name = {}) {
  static constexpr std::int32_t kIndex = 1;
  E1PSH(routine);
  if (!name.empty()) E1SETSTR(kIndex, name);
  E1SETINT(kIndex, value);
  E1MES(kTerminal, code, text);
  E1POP(routine);
}

// Whether SETERRATTR's arguments are acceptable; refused under `routine`
// when not.
bool accepted(std::string_view routine, std::int32_t t, std::int32_t p, std::int32_t q) {
  if (t < kAllTypes || t > kErrorTypes) {
    refuse(routine, kTypeCode, msg::kSetAttrType, t);
    return false;
  }
  if (!is_attribute_value(p)) {
    refuse(routine, kValueCode, msg::kAttrValue, p, msg::kPrintArg);
    return false;
  }
  if (!is_attribute_value(q)) {
    refuse(routine, kValueCode, msg::kAttrValue, q, msg::kStopArg);
    return false;
  }
  return true;
}

void set_initial(std::atomic<std::int32_t>& (*table)(std::int32_t), std::int32_t type,
                 std::int32_t value) {
  if (value == kAttrKeep) return;
  const std::int32_t first = type == kAllTypes ? 1 : type;
  const std::int32_t last = type == kAllTypes ? kErrorTypes : type;
  for (std::int32_t t = first; t <= last; ++t) table(t).store(value, std::memory_order_relaxed);
}

void set(Table1<std::int32_t, kErrorTypes>& table, std::int32_t type, std::int32_t value) {
  if (value == kAttrKeep) return;
  if (type == kAllTypes) {
    for (std::int32_t t = 1; t <= kErrorTypes; ++t) table(t) = value;
  } else {
    table(type) = value;
  }
}

}  // namespace

void SETERRATTR(const std::int32_t& type, const std::int32_t& print, const std::int32_t& stop) {
  // Copies: the arguments may alias each other or the record.
  const std::int32_t t = type;
  const std::int32_t p = print;
  const std::int32_t q = stop;
  if (!accepted(msg::kSetAttrName, t, p, q)) return;
  ErrorState& s = state();
  set(s.print_attr, t, p);
  set(s.stop_attr, t, q);
}

void SETINITATTR(const std::int32_t& type, const std::int32_t& print, const std::int32_t& stop) {
  const std::int32_t t = type;
  const std::int32_t p = print;
  const std::int32_t q = stop;
  if (!accepted(msg::kSetInitAttrName, t, p, q)) return;
  set_initial(detail::initial_print, t, p);
  set_initial(detail::initial_stop, t, q);
  ErrorState& s = state();
  set(s.print_attr, t, p);
  set(s.stop_attr, t, q);
}

void GETINITATTR(const std::int32_t& type, std::int32_t& print, std::int32_t& stop) {
  const std::int32_t t = type;
  if (!detail::is_table_type(t)) {
    refuse(msg::kGetInitAttrName, kTypeCode, msg::kGetAttrType, t);
    return;
  }
  print = detail::initial_print(t).load(std::memory_order_relaxed);
  stop = detail::initial_stop(t).load(std::memory_order_relaxed);
}

void GETERRATTR(const std::int32_t& type, std::int32_t& print, std::int32_t& stop) {
  const std::int32_t t = type;
  if (!detail::is_table_type(t)) {
    refuse(msg::kGetAttrName, kTypeCode, msg::kGetAttrType, t);
    return;
  }
  const ErrorState& s = state();
  print = s.print_attr(t);
  stop = s.stop_attr(t);
}

std::string_view GETERRTEXT() {
  const ErrorState& s = state();
  if (s.message_length > 0) return detail::report_text(detail::message_view(s));
  const std::int32_t n = std::clamp(s.printed_length, 0, kMessageCapacity);
  return {s.printed_text.data(), static_cast<std::size_t>(n)};
}

void GETERRTEXT(std::span<char> text, std::int32_t& length) {
  const std::string_view t = GETERRTEXT();
  const std::size_t n = std::min(t.size(), text.size());
  std::copy_n(t.begin(), n, text.begin());
  std::fill(text.begin() + static_cast<std::ptrdiff_t>(n), text.end(), ' ');
  length = static_cast<std::int32_t>(t.size());
}

}  // namespace rkv
