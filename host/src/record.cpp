// Fixed-layout records: the typed field formatters (Iw, Fw.d, Ew.d, 1P,Ew.d,
// Aw, nA1) and the positioning of items within a record.
//
// Decimal digits come from the C library: the value (a float widened exactly
// to double, or a double) is printed with enough digits to be its exact
// decimal value, and that digit string is then rounded to the field's
// precision, half away from zero (the classic rule of formatted output: 0.125
// in F5.2 is " 0.13"). Floats and doubles share every rule; only the number
// of digits needed to be exact differs.
#include "rkv/host/record.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "rkv/host/lock.hpp"
#include "rkv/host/units.hpp"

namespace rkv::host {
namespace {

// A non-negative decimal value 0.d1 d2 d3 ... x 10^exp10 with d1 != 0, or
// zero when `digits` is empty.
struct Decimal {
  std::string digits;
  int exp10 = 0;
};

// Every float is a dyadic rational whose exact decimal expansion has at most
// 112 significant digits (the smallest subnormal, 2^-149, has 105), so 150
// digits after the point of %e are exact and the rest are zeros. A double
// has at most 767 (the largest subnormal; 2^-1074 has 751).
constexpr int kExactDigitsFloat = 150;
constexpr int kExactDigitsDouble = 770;

// `digits` after the point of %e, at most kExactDigitsDouble.
Decimal exact_decimal(double magnitude, int digits) {
  Decimal d;
  if (magnitude == 0.0) return d;
  char buf[kExactDigitsDouble + 16];
  const int n = std::snprintf(buf, sizeof buf, "%.*e", digits, magnitude);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buf) return d;  // cannot happen
  // buf = "d.ddd...e+XX"
  const char* e = buf;
  while (*e != 'e') ++e;
  d.digits.push_back(buf[0]);
  d.digits.append(static_cast<const char*>(buf + 2), e);
  d.exp10 = std::atoi(e + 1) + 1;
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  return d;
}

// Keeps the first n significant digits of x, rounding half away from zero on
// the magnitude (a first dropped digit of 5 or more rounds up). n <= 0 keeps
// nothing: the value becomes zero unless it rounds up to one unit of the
// first kept position.
Decimal round_significant(const Decimal& x, int n) {
  if (x.digits.empty() || n >= static_cast<int>(x.digits.size())) return x;
  if (n < 0) return {};
  const std::size_t keep = static_cast<std::size_t>(n);
  const bool up = x.digits[keep] >= '5';
  Decimal r{x.digits.substr(0, keep), x.exp10};
  if (up) {
    std::size_t i = keep;
    while (i > 0 && r.digits[i - 1] == '9') {
      r.digits[i - 1] = '0';
      --i;
    }
    if (i == 0) {
      // Carried out of the first digit: 99.96 -> 100.0.
      r.digits.insert(r.digits.begin(), '1');
      r.exp10 += 1;
    } else {
      r.digits[i - 1] = static_cast<char>(r.digits[i - 1] + 1);
    }
  }
  while (!r.digits.empty() && r.digits.back() == '0') r.digits.pop_back();
  return r;
}

// The digit of x with weight 10^p; '0' outside the stored digits.
char digit_at(const Decimal& x, int p) {
  const int i = x.exp10 - 1 - p;
  if (i < 0 || i >= static_cast<int>(x.digits.size())) return '0';
  return x.digits[static_cast<std::size_t>(i)];
}

std::string stars(int w) {
  // Not a braced list: {n, '*'} would pick the initializer-list constructor.
  // NOLINTNEXTLINE(modernize-return-braced-init-list)
  return std::string(static_cast<std::size_t>(w), '*');
}

std::string right_justify(const std::string& s, int w) {
  if (static_cast<int>(s.size()) > w) return stars(w);
  return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + s;
}

// NaN and the infinities in a real field: "NaN", "Infinity" / "-Infinity",
// or "Inf" / "-Inf" when the long form does not fit; asterisks otherwise.
std::string format_special(double value, int w) {
  if (std::isnan(value)) return right_justify("NaN", w);
  const std::string sign = std::signbit(value) ? "-" : "";
  const std::string full = sign + "Infinity";
  if (static_cast<int>(full.size()) <= w) return right_justify(full, w);
  return right_justify(sign + "Inf", w);
}

// The exponent part of an E field: "E+ee" for |e| <= 99, "+eee" up to 999.
// Empty when it cannot be written in four characters.
std::string exponent_part(int e) {
  const char sign = e < 0 ? '-' : '+';
  const int m = e < 0 ? -e : e;
  char buf[8];
  if (m <= 99) {
    std::snprintf(buf, sizeof buf, "E%c%02d", sign, m);
  } else if (m <= 999) {
    std::snprintf(buf, sizeof buf, "%c%03d", sign, m);
  } else {
    return {};
  }
  return buf;
}

}  // namespace

std::string format_i(std::int32_t value, int w) {
  if (w <= 0) return {};
  char buf[16];
  // to_chars writes the most negative value correctly; no negation involved.
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  return right_justify(std::string(buf, res.ptr), w);
}

std::string format_f(float value, int w, int d) {
  if (w <= 0) return {};
  // The point and d decimals need d + 1 positions at least; checking this
  // first also keeps x.exp10 + d from overflowing.
  if (d < 0 || d >= w) return stars(w);
  if (!std::isfinite(value)) return format_special(value, w);
  const bool negative = std::signbit(value);
  const Decimal x = exact_decimal(std::fabs(static_cast<double>(value)), kExactDigitsFloat);
  // Keep the digits down to weight 10^-d.
  const Decimal r = round_significant(x, x.exp10 + d);
  std::string int_part;
  for (int p = r.exp10 - 1; p >= 0; --p) int_part.push_back(digit_at(r, p));
  std::string frac;
  for (int p = -1; p >= -d; --p) frac.push_back(digit_at(r, p));

  const std::string sign = negative ? "-" : "";
  std::string body = sign + int_part + "." + frac;
  if (int_part.empty()) {
    // Below 1 in magnitude: the zero before the point is written when the
    // width allows it, and always when there are no decimals (a bare "."
    // would show no digit at all).
    const std::string with_zero = sign + "0." + frac;
    if (static_cast<int>(with_zero.size()) <= w || d == 0) body = with_zero;
  }
  return right_justify(body, w);
}

namespace {

// Ew.d and 1P,Ew.d of a double whose exact decimal value needs at most
// `exact_digits` digits after the point of %e.
std::string exponent_field(double value, int w, int d, bool scale1p, int exact_digits) {
  if (w <= 0) return {};
  // 0.ddd form needs at least one digit after the point. A field narrower
  // than its digits cannot hold them (and d + 1 below cannot overflow).
  if (d < 0 || (!scale1p && d == 0) || d >= w) return stars(w);
  if (!std::isfinite(value)) return format_special(value, w);
  const bool negative = std::signbit(value);
  const Decimal x = exact_decimal(std::fabs(value), exact_digits);
  const int significant = scale1p ? d + 1 : d;
  const Decimal r = round_significant(x, significant);
  std::string mantissa;
  for (int i = 0; i < significant; ++i) {
    const std::size_t k = static_cast<std::size_t>(i);
    mantissa.push_back(k < r.digits.size() ? r.digits[k] : '0');
  }
  // Zero is written with exponent 0 in either form.
  const int exponent = r.digits.empty() ? 0 : (scale1p ? r.exp10 - 1 : r.exp10);
  const std::string exp = exponent_part(exponent);
  if (exp.empty()) return stars(w);

  const std::string sign = negative ? "-" : "";
  std::string body;
  if (scale1p) {
    body = sign + mantissa.substr(0, 1) + "." + mantissa.substr(1) + exp;
  } else {
    body = sign + "." + mantissa + exp;
    const std::string with_zero = sign + "0" + body.substr(sign.size());
    if (static_cast<int>(with_zero.size()) <= w) body = with_zero;
  }
  return right_justify(body, w);
}

}  // namespace

std::string format_e(float value, int w, int d, bool scale1p) {
  return exponent_field(static_cast<double>(value), w, d, scale1p, kExactDigitsFloat);
}

std::string format_e(double value, int w, int d, bool scale1p) {
  return exponent_field(value, w, d, scale1p, kExactDigitsDouble);
}

void Record::put(std::string_view s) {
  if (pos_ > line_.size()) line_.resize(pos_, ' ');
  for (const char c : s) {
    if (pos_ < line_.size()) {
      line_[pos_] = c;
    } else {
      line_.push_back(c);
    }
    ++pos_;
  }
}

Record& Record::text(std::string_view s) {
  if (!stopped_) put(s);
  return *this;
}

Record& Record::slash() {
  if (stopped_) return *this;
  done_.push_back(line_);
  line_.clear();
  pos_ = 0;
  return *this;
}

Record& Record::tr(int n) {
  if (!stopped_ && n > 0) pos_ += static_cast<std::size_t>(n);
  return *this;
}

Record& Record::t(int column) {
  if (!stopped_) pos_ = column > 1 ? static_cast<std::size_t>(column - 1) : 0;
  return *this;
}

Record& Record::i(std::int32_t value, int w) {
  if (!stopped_) put(format_i(value, w));
  return *this;
}

Record& Record::f(float value, int w, int d) {
  if (!stopped_) put(format_f(value, w, d));
  return *this;
}

Record& Record::e(float value, int w, int d) {
  if (!stopped_) put(format_e(value, w, d, false));
  return *this;
}

Record& Record::e1p(float value, int w, int d) {
  if (!stopped_) put(format_e(value, w, d, true));
  return *this;
}

Record& Record::e(double value, int w, int d) {
  if (!stopped_) put(format_e(value, w, d, false));
  return *this;
}

Record& Record::e1p(double value, int w, int d) {
  if (!stopped_) put(format_e(value, w, d, true));
  return *this;
}

Record& Record::a(std::string_view s, int w) {
  if (stopped_ || w <= 0) return *this;
  const std::size_t width = static_cast<std::size_t>(w);
  if (s.size() >= width) {
    put(s.substr(0, width));
  } else {
    put(std::string(width - s.size(), ' '));
    put(s);
  }
  return *this;
}

Record& Record::a1(std::string_view items, int n) {
  if (stopped_) return *this;
  const std::size_t count = n > 0 ? static_cast<std::size_t>(n) : 0;
  put(items.substr(0, std::min(count, items.size())));
  // The layout asked for more values than there are: the record ends here.
  if (items.size() < count) stopped_ = true;
  return *this;
}

std::vector<std::string> Record::lines() const {
  std::vector<std::string> all = done_;
  all.push_back(line_);
  return all;
}

void Record::write(std::int32_t unit) const {
  // The lines of one layout stay together when several threads write.
  const LockGuard guard;
  for (const std::string& line : done_) write_record(unit, line);
  write_record(unit, line_);
}

void Record::write_to(std::span<char> out) const {
  // A text holds one record: the first line of the layout.
  const std::string& first = done_.empty() ? line_ : done_.front();
  const std::size_t n = std::min(first.size(), out.size());
  std::copy_n(first.begin(), n, out.begin());
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(n), out.end(), ' ');
}

}  // namespace rkv::host
