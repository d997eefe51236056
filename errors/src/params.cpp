// Message parameters: the typed stores, the common append E1PUTPARM and the
// lookup that E1MES uses to expand placeholders.
//
// Buffer layout, entries back to back from position 1:
//   "*" letter digit "*"  length-in-decimal (1-3 digits)  "%"  text
// param_fill is the position of the last character in use; 1 means empty.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "params_internal.hpp"
#include "rkv/errors/params.hpp"
#include "rkv/errors/text.hpp"
#include "rkv/host/record.hpp"
#include "rkv/machine/lockhook.hpp"
#include "state_internal.hpp"

namespace rkv {
namespace {

using detail::state;

constexpr std::int32_t kNumberField = 14;
// A double in (1P,E24.16): 17 significant digits, enough to read back the
// same double.
constexpr std::int32_t kDoubleField = 24;
constexpr std::int32_t kDoubleDecimals = 16;
constexpr std::int32_t kMaxStringParam = 255;
constexpr std::int32_t kMinIndex = 1;
constexpr std::int32_t kMaxIndex = 9;
constexpr std::string_view kBlank = " ";

// The field from its first non-blank character to its end; empty when blank.
std::string_view strip_leading_blanks(std::string_view field) {
  const std::int32_t first = C1VERIFY(field, kBlank);
  if (first <= 0) return {};
  return field.substr(static_cast<std::size_t>(first - 1));
}

// |index| in 1..9, computed without negating the int32 (INT32_MIN is safe).
bool index_in_range(std::int32_t index) {
  const std::int64_t k = index < 0 ? -static_cast<std::int64_t>(index) : index;
  return k >= kMinIndex && k <= kMaxIndex;
}

}  // namespace

void E1SETINT(const std::int32_t& index, const std::int32_t& value) {
  (void)state();
  std::array<char, kNumberField> field;
  field.fill(' ');
  std::int32_t ier = 0;
  C1INTTXT(value, field, ier);
  if (ier != 0) return;
  if (index < kMinIndex || index > kMaxIndex) return;
  const std::string_view text = strip_leading_blanks({field.data(), field.size()});
  const std::int32_t length = static_cast<std::int32_t>(text.size());
  E1PUTPARM("I", index, length, text);
}

namespace {

// Writes `value` in the layout (1P,Ew.d), or (Ew.d) for zero and NaN, into
// a field of W characters under the lock (the host's formatting is shared),
// and stores the text without its leading blanks under the letter "R".
bool is_nan(const float& value) {
  return R1ISNAN(value) != 0;
}
bool is_nan(const double& value) {
  return std::isnan(value);
}

template <std::int32_t W, class Real>
void store_real(const std::int32_t& index, const Real& value, std::int32_t decimals) {
  (void)state();
  std::array<char, static_cast<std::size_t>(W)> field;
  field.fill(' ');
  {
    const LockHold hold;
    if (is_nan(value) || value == Real{0}) {
      rkv::host::Record().e(value, W, decimals).write_to(field);
    } else {
      rkv::host::Record().e1p(value, W, decimals).write_to(field);
    }
  }
  if (index < kMinIndex || index > kMaxIndex) return;
  const std::string_view text = strip_leading_blanks({field.data(), field.size()});
  if (text.empty()) return;
  const std::int32_t length = static_cast<std::int32_t>(text.size());
  E1PUTPARM("R", index, length, text);
}

}  // namespace

void E1SETREAL(const std::int32_t& index, const float& value) {
  store_real<kNumberField>(index, value, 6);
}

void E1SETDBL(const std::int32_t& index, const double& value) {
  store_real<kDoubleField>(index, value, kDoubleDecimals);
}

void E1SETSTR(const std::int32_t& index, std::string_view text) {
  (void)state();
  if (!index_in_range(index)) return;
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(kMaxStringParam));
  const std::int32_t length = static_cast<std::int32_t>(n);
  E1PUTPARM("L", index, length, text.substr(0, n));
}

void E1PUTPARM(std::string_view letter, const std::int32_t& index, const std::int32_t& length,
               std::string_view text) {
  ErrorState& s = state();
  if (letter.empty() || !index_in_range(index)) return;
  // Never more than the text holds; nothing at all for an empty entry.
  std::int64_t len = length;
  if (len > static_cast<std::int64_t>(text.size())) len = static_cast<std::int64_t>(text.size());
  if (len <= 0) return;
  // Room test on the whole length, before trailing blanks are trimmed.
  if (static_cast<std::int64_t>(s.param_fill) + len + 8 > kParamCapacity) return;

  const std::int32_t k = index < 0 ? -index : index;  // index is in -9..9 here
  std::int32_t l = static_cast<std::int32_t>(len);
  if (index > 0) {
    std::int32_t last = 0;
    for (std::int32_t p = l; p >= 1; --p) {
      if (text[static_cast<std::size_t>(p - 1)] != ' ') {
        last = p;
        break;
      }
    }
    l = last == 0 ? 1 : last;
  }
  const std::int32_t nd = l < 10 ? 1 : (l < 100 ? 2 : 3);
  const std::int32_t start = s.param_fill == 1 ? 1 : s.param_fill + 1;

  std::span<char> buf(s.param_buffer.data(), s.param_buffer.size());
  auto at = [&](std::int32_t pos) -> char& { return buf[static_cast<std::size_t>(pos - 1)]; };
  at(start) = '*';
  at(start + 1) = letter[0];
  at(start + 2) = static_cast<char>('0' + k);
  at(start + 3) = '*';
  std::int32_t ier = 0;
  C1INTTXT(l, buf.subspan(static_cast<std::size_t>(start) + 3, static_cast<std::size_t>(nd)), ier);
  at(start + 4 + nd) = '%';
  const std::int32_t first = start + 5 + nd;
  const std::int32_t last = start + 4 + nd + l;
  const std::int32_t one = 1;
  C1SUBCPY(text, one, l, buf, first, last, ier);
  s.param_fill = last;
}

namespace detail {

std::optional<std::string_view> lookup_param(char letter, char digit) {
  const ErrorState& s = state();
  std::int32_t fill = s.param_fill;
  if (fill < 1) return std::nullopt;
  if (fill > kParamCapacity) fill = kParamCapacity;
  const std::string_view used(s.param_buffer.data(), static_cast<std::size_t>(fill));
  const char key_chars[4] = {'*', letter, digit, '*'};
  const std::string_view key(key_chars, 4);
  const std::int32_t pos = C1INDEXI(used, key);
  if (pos <= 0) return std::nullopt;

  // The length runs from right after the key to the "%"; read it from at most
  // four characters, none of them beyond the used part of the buffer.
  const std::size_t after = static_cast<std::size_t>(pos - 1) + key.size();
  const std::string_view digits = used.substr(after, 4);
  if (digits.empty()) return std::nullopt;
  std::int32_t value = 0;
  std::int32_t ier = 0;
  C1TXTINT(digits, value, ier);
  // The status is the position of the "%": 1 (or after blanks) when no digit
  // stands before it, which is a length of 0, as " %" and "%" alike are read.
  if (ier < 1 || static_cast<std::size_t>(ier) > digits.size()) return std::nullopt;
  if (digits[static_cast<std::size_t>(ier - 1)] != '%' || value < 0) return std::nullopt;
  const std::size_t text_start = after + static_cast<std::size_t>(ier);
  return used.substr(text_start, static_cast<std::size_t>(value));
}

}  // namespace detail
}  // namespace rkv
