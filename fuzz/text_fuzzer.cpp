// Fuzz target: the decimal reader and the integer writer (C1TXTINT,
// C1INTTXT), with the substring copy and searches they sit beside.
//
// Every buffer handed to a routine is a heap block of exactly the length
// passed, so that AddressSanitizer sees any access outside it. Checked
// properties:
//  - C1INTTXT of any value into a field wide enough writes the decimal
//    text right-justified, and C1TXTINT reads it back to the same value;
//    a too-narrow field reports the digits lost and never writes outside;
//  - C1TXTINT of any text that it accepts (IER = 0) gives the value of the
//    digits it holds; overflow is reported, never wrapped;
//  - C1SUBCPY writes only T(J1..J2), and only when it reports success or a
//    truncation;
//  - C1INDEXS agrees with a plain substring search.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "driver.hpp"
#include "rkv/errors/text.hpp"

namespace {

using rkv::fuzz::check;

// A heap copy of exactly s.size() characters (no terminator).
struct Exact {
  explicit Exact(std::string_view s) : size(s.size()), data(new char[size == 0 ? 1 : size]) {
    // A zero-length text gets a one-byte block that is viewed as empty.
    if (size != 0) std::memcpy(data.get(), s.data(), size);
  }
  std::span<char> span() { return {data.get(), size}; }
  std::string_view view() const { return {data.get(), size}; }
  std::size_t size;
  std::unique_ptr<char[]> data;
};

void writer_and_reader(std::int32_t v, std::int32_t nf) {
  Exact field(std::string(static_cast<std::size_t>(nf), '#'));
  std::int32_t ier = 99;
  rkv::C1INTTXT(v, field.span(), ier);
  const std::string dec = std::to_string(v);
  const std::string out(field.view());
  if (nf < 1) {
    check(ier == -1, "C1INTTXT accepted a field length below 1");
    return;
  }
  if (v == std::numeric_limits<std::int32_t>::min()) {
    check(ier == 1 && out == std::string(static_cast<std::size_t>(nf), '#'),
          "C1INTTXT converted the most negative integer", out);
    return;
  }
  if (dec.size() <= static_cast<std::size_t>(nf)) {
    check(ier == 0, "C1INTTXT lost digits in a wide field", out);
    check(out == std::string(static_cast<std::size_t>(nf) - dec.size(), ' ') + dec,
          "C1INTTXT did not right-justify the decimal text", out);
    std::int32_t back = 0;
    std::int32_t rier = 99;
    rkv::C1TXTINT(field.view(), back, rier);
    check(rier == 0 && back == v, "C1TXTINT did not read back what C1INTTXT wrote", out);
  } else {
    check(ier > 0, "C1INTTXT reported success in a field too narrow", out);
    const std::string digits = v < 0 ? dec.substr(1) : dec;
    if (digits.size() > static_cast<std::size_t>(nf)) {
      check(out == digits.substr(digits.size() - static_cast<std::size_t>(nf)),
            "C1INTTXT did not keep the low-order digits", out);
    }
  }
}

// The value of the digits of an accepted text, as a 64-bit number.
long long digits_value(std::string_view s) {
  long long v = 0;
  bool negative = false;
  for (const char c : s) {
    if (c == '-') negative = true;
    if (c >= '0' && c <= '9') v = v * 10 + (c - '0');
    if (v > (1LL << 40)) break;
  }
  return negative ? -v : v;
}

void reader(std::string_view s) {
  Exact text(s);
  std::int32_t v = 0;
  std::int32_t ier = 99;
  rkv::C1TXTINT(text.view(), v, ier);
  if (s.empty()) {
    check(ier == -1, "C1TXTINT accepted an empty text");
    return;
  }
  check(ier >= -2 && ier <= static_cast<std::int32_t>(s.size()), "C1TXTINT status out of range",
        std::to_string(ier));
  if (ier == 0) {
    check(s.find_first_not_of(" +-0123456789") == std::string_view::npos,
          "C1TXTINT accepted a text with other characters", s);
    check(digits_value(s) == v, "C1TXTINT read another value", s);
  }
  if (ier == -2) {
    const long long d = digits_value(s);
    check(d > std::numeric_limits<std::int32_t>::max() ||
              d < -static_cast<long long>(std::numeric_limits<std::int32_t>::max()),
          "C1TXTINT reported overflow for a value that fits", s);
  }
}

void copy(FuzzedDataProvider& in) {
  const std::string src = in.ConsumeRandomLengthString(40);
  const std::size_t lt = in.ConsumeIntegralInRange<std::size_t>(0, 40);
  const auto pos = [&in] { return in.ConsumeIntegralInRange<std::int32_t>(-3, 45); };
  const std::int32_t i1 = pos();
  const std::int32_t i2 = pos();
  const std::int32_t j1 = pos();
  const std::int32_t j2 = pos();
  Exact s(src);
  const std::string before(lt, '#');
  Exact t(before);
  std::int32_t ier = 99;
  rkv::C1SUBCPY(s.view(), i1, i2, t.span(), j1, j2, ier);
  const std::string after(t.view());
  const bool refused = j2 < j1 || j1 < 1 || i2 > static_cast<std::int32_t>(src.size()) || i1 < 1 ||
                       i2 < i1 || j2 > static_cast<std::int32_t>(lt);
  if (refused) {
    check(ier < 0 && after == before, "C1SUBCPY changed T on a refused call", after);
    return;
  }
  for (std::size_t k = 0; k < lt; ++k) {
    const auto pos1 = static_cast<std::int32_t>(k + 1);
    if (pos1 < j1 || pos1 > j2) {
      check(after[k] == '#', "C1SUBCPY wrote outside T(J1..J2)", after);
    }
  }
  const std::int32_t m = std::min(i2 - i1, j2 - j1) + 1;
  check(after.compare(static_cast<std::size_t>(j1 - 1), static_cast<std::size_t>(m), src,
                      static_cast<std::size_t>(i1 - 1), static_cast<std::size_t>(m)) == 0,
        "C1SUBCPY copied other characters", after);
}

void search(FuzzedDataProvider& in) {
  const std::string s = in.ConsumeRandomLengthString(40);
  const std::string p = in.ConsumeRandomLengthString(6);
  Exact es(s);
  Exact ep(p);
  const std::int32_t got = rkv::C1INDEXS(es.view(), ep.view());
  const std::size_t want = p.empty() ? std::string::npos : s.find(p);
  const std::int32_t expect = want == std::string::npos ? 0 : static_cast<std::int32_t>(want) + 1;
  check(got == expect, "C1INDEXS disagrees with a substring search", s + "] [" + p);
  const std::int32_t folded = rkv::C1INDEXI(es.view(), ep.view());
  check(expect == 0 || (folded >= 1 && folded <= expect), "C1INDEXI missed an exact occurrence",
        s + "] [" + p);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  while (in.remaining_bytes() > 0) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
      case 0: {
        const std::int32_t v = in.ConsumeIntegral<std::int32_t>();
        writer_and_reader(v, in.ConsumeIntegralInRange<std::int32_t>(0, 14));
        break;
      }
      case 1:
        reader(in.ConsumeRandomLengthString(24));
        break;
      case 2:
        copy(in);
        break;
      default:
        search(in);
        break;
    }
  }
  return 0;
}
