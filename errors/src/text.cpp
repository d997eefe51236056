// Text and number conversion utilities used to build, search and print the
// messages of the error family.
//
// Every string is a caller's buffer with an explicit length (the size of the
// view or span); positions in the contracts are 1-based, so position p is
// element p - 1. Lengths and positions are widened to 64 bits before any
// arithmetic so that no combination of arguments can overflow, and every
// access is inside the lengths given. Character codes are unsigned bytes,
// whatever the signedness of char.
#include "rkv/errors/text.hpp"

#include <bit>
#include <cstring>

#include "rkv/machine/constants.hpp"

namespace rkv {
namespace {

constexpr char kBlank = ' ';
constexpr std::int32_t kBlankCode = 32;

// Code of a character as an unsigned byte, 0..255.
std::int32_t code_of(char c) {
  return static_cast<std::int32_t>(static_cast<unsigned char>(c));
}

// Code folded to upper case: only a-z (97..122) fold.
std::int32_t up_code_of(char c) {
  const std::int32_t k = code_of(c);
  return (k >= 97 && k <= 122) ? k - 32 : k;
}

std::int64_t length_of(std::string_view s) {
  return static_cast<std::int64_t>(s.size());
}
std::int64_t length_of(std::span<char> s) {
  return static_cast<std::int64_t>(s.size());
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Shared search loop of C1INDEXS / C1INDEXI; `fold` selects case folding.
std::int32_t index_of(std::string_view s, std::string_view p, bool fold) {
  const std::int64_t ns = length_of(s);
  const std::int64_t np = length_of(p);
  if (np <= 0 || ns <= 0 || ns < np) return 0;
  for (std::int64_t i = 0; i <= ns - np; ++i) {
    bool match = true;
    for (std::int64_t k = 0; k < np; ++k) {
      const char a = s[static_cast<std::size_t>(i + k)];
      const char b = p[static_cast<std::size_t>(k)];
      if (fold ? up_code_of(a) != up_code_of(b) : a != b) {
        match = false;
        break;
      }
    }
    // Positions are reported as 32-bit integers; a text longer than that
    // cannot report a match beyond it, so such a match counts as none.
    if (match) return i + 1 <= INT32_MAX ? static_cast<std::int32_t>(i + 1) : 0;
  }
  return 0;
}

}  // namespace

void C1INTTXT(const std::int32_t& v, std::span<char> s, std::int32_t& ier) {
  const std::int64_t nf = length_of(s);
  if (nf < 1) {
    ier = -1;
    return;
  }
  // The magnitude of the most negative integer has no 32-bit representation;
  // it is refused as one lost character and S is left as it was.
  if (v == INT32_MIN) {
    ier = 1;
    return;
  }
  if (v == 0) {
    std::memset(s.data(), kBlank, static_cast<std::size_t>(nf - 1));
    s[static_cast<std::size_t>(nf - 1)] = '0';
    ier = 0;
    return;
  }

  std::int64_t mag = v < 0 ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
  std::int64_t pos = nf;  // next position to receive a digit (1-based)
  while (mag > 0 && pos >= 1) {
    s[static_cast<std::size_t>(pos - 1)] = static_cast<char>('0' + mag % 10);
    mag /= 10;
    --pos;
  }
  if (mag > 0) {
    std::int32_t left = 0;
    while (mag > 0) {
      ++left;
      mag /= 10;
    }
    ier = left + (v < 0 ? 1 : 0);
    return;
  }
  if (v < 0) {
    if (pos < 1) {  // the digits fill the field: no room for the sign
      ier = 1;
      return;
    }
    s[static_cast<std::size_t>(pos - 1)] = '-';
    --pos;
  }
  std::memset(s.data(), kBlank, static_cast<std::size_t>(pos));
  ier = 0;
}

namespace {

// Reads the digits of s from position p (1-based) up to `last` into value;
// p ends at the first position that is not a digit. Overflow is judged
// against the largest integer before each digit is added, in 64 bits, so
// the test itself cannot overflow; false then, with the value read so far.
bool read_digits(std::string_view s, std::int64_t last, std::int64_t& p, std::int64_t& value) {
  const std::int64_t g = IMACH(5);
  while (p <= last && is_digit(s[static_cast<std::size_t>(p - 1)])) {
    const std::int64_t d = s[static_cast<std::size_t>(p - 1)] - '0';
    if (value > (g - d) / 10) return false;
    value = 10 * value + d;
    ++p;
  }
  return true;
}

}  // namespace

void C1TXTINT(std::string_view s, std::int32_t& v, std::int32_t& ier) {
  v = 0;
  const std::int64_t n = length_of(s);
  if (n < 1) {
    ier = -1;
    return;
  }
  // Positions fit 32 bits for every text this library handles; longer texts
  // are read only up to the largest position that can be reported.
  const std::int64_t last = n <= INT32_MAX ? n : INT32_MAX;
  auto at = [&](std::int64_t p) { return s[static_cast<std::size_t>(p - 1)]; };

  std::int64_t p = 1;
  while (p <= last && at(p) == kBlank) ++p;
  if (p > last) {
    ier = 1;
    return;
  }
  const std::int64_t p0 = p;
  const bool negative = at(p) == '-';
  if (at(p) == '-' || at(p) == '+') {
    ++p;
    if (p > last) {
      ier = static_cast<std::int32_t>(p0);
      return;
    }
    while (p <= last && at(p) == kBlank) ++p;
    if (p > last) {
      ier = static_cast<std::int32_t>(p0);
      return;
    }
  }
  const std::int64_t before_zeros = p;
  while (p <= last && at(p) == '0') ++p;
  if (p > last) {
    ier = 0;
    return;
  }
  const bool zeros_skipped = p > before_zeros;
  const std::int64_t first_digit = p;

  std::int64_t value = 0;
  if (!read_digits(s, last, p, value)) {
    v = static_cast<std::int32_t>(value);
    ier = -2;
    return;
  }
  if (p == first_digit) {
    v = 0;
    ier = static_cast<std::int32_t>(zeros_skipped ? first_digit : p0);
    return;
  }
  v = static_cast<std::int32_t>(negative ? -value : value);
  ier = p > last ? 0 : static_cast<std::int32_t>(p);
}

void C1SUBCPY(std::string_view s, const std::int32_t& i1, const std::int32_t& i2, std::span<char> t,
              const std::int32_t& j1, const std::int32_t& j2, std::int32_t& ier) {
  const std::int64_t ls = length_of(s);
  const std::int64_t lt = length_of(t);
  const std::int64_t a1 = i1, a2 = i2, b1 = j1, b2 = j2;
  if (b2 < b1 || b1 < 1 || a2 > ls || a1 < 1 || a2 < a1) {
    ier = -2;
    return;
  }
  if (b2 > lt) {
    ier = -1;
    return;
  }
  // From here 1 <= I1 <= I2 <= LS and 1 <= J1 <= J2 <= LT: every position
  // touched lies inside both buffers.
  const std::int64_t source = a2 - a1 + 1;
  const std::int64_t room = b2 - b1 + 1;
  const std::int64_t m = source < room ? source : room;
  // The source and the destination may be parts of one buffer; memmove
  // copies as if through a temporary, so an overlap never corrupts the text.
  std::memmove(t.data() + (b1 - 1), s.data() + (a1 - 1), static_cast<std::size_t>(m));
  std::memset(t.data() + (b1 - 1 + m), kBlank, static_cast<std::size_t>(room - m));
  ier = static_cast<std::int32_t>(-(source - m));
}

void C1ASSIGN(std::string_view s, std::span<char> t) {
  const std::size_t ls = s.size();
  const std::size_t lt = t.size();
  const std::size_t m = ls < lt ? ls : lt;
  if (m > 0) std::memmove(t.data(), s.data(), m);
  if (lt > m) std::memset(t.data() + m, kBlank, lt - m);
}

std::int32_t C1INDEXS(std::string_view s, std::string_view p) {
  return index_of(s, p, false);
}

std::int32_t C1INDEXI(std::string_view s, std::string_view p) {
  return index_of(s, p, true);
}

std::int32_t C1VERIFY(std::string_view s, std::string_view ch) {
  if (s.empty() || ch.empty()) return 1;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (C1INDEXS(ch, s.substr(i, 1)) == 0) {
      return i + 1 <= INT32_MAX ? static_cast<std::int32_t>(i + 1) : 0;
    }
  }
  return 0;
}

std::int32_t C1CMPNOC(std::string_view s1, std::string_view s2) {
  const std::size_t n1 = s1.size();
  const std::size_t n2 = s2.size();
  const std::size_t common = n1 < n2 ? n1 : n2;
  for (std::size_t i = 0; i < common; ++i) {
    const std::int32_t a = up_code_of(s1[i]);
    const std::int32_t b = up_code_of(s2[i]);
    if (a != b) return a < b ? -1 : 1;
  }
  if (n1 == n2) return 0;
  if (n1 == 0 || n2 == 0) return n1 < n2 ? -1 : 1;
  // The shorter string counts as extended with blanks.
  if (n1 > n2) {
    for (std::size_t i = common; i < n1; ++i) {
      const std::int32_t a = up_code_of(s1[i]);
      if (a != kBlankCode) return a < kBlankCode ? -1 : 1;
    }
  } else {
    for (std::size_t i = common; i < n2; ++i) {
      const std::int32_t b = up_code_of(s2[i]);
      if (b != kBlankCode) return kBlankCode < b ? -1 : 1;
    }
  }
  return 0;
}

std::int32_t C1UPCODE(const char& c) {
  return up_code_of(c);
}

std::int32_t C1CHCODE(const char& c) {
  return code_of(c);
}

void C1CODECH(char& c, const std::int32_t& k) {
  const std::int32_t code = k < 0 ? 0 : k % 256;
  c = static_cast<char>(static_cast<unsigned char>(code));
}

std::int32_t R1ISNAN(const float& x) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(x);
  const bool exponent_all_ones = (bits & 0x7F800000u) == 0x7F800000u;
  const bool fraction_nonzero = (bits & 0x007FFFFFu) != 0u;
  return (exponent_all_ones && fraction_nonzero) ? -1 : 0;
}

}  // namespace rkv
