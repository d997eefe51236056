// Text and number conversion utilities of the error family.
//
// Strings are fixed-length and blank-padded: an input is a std::string_view
// (its size is the length), an output a std::span<char> (its size is the
// length). Positions are 1-based. Nothing here allocates, keeps state, or
// touches a character outside the lengths given.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

// Integer V right-justified in S(1..NF), NF = s.size(). IER 0 done; -1 NF < 1;
// positive: digits lost (plus one for a lost sign); the most negative integer
// is not converted (IER 1, S unchanged).
void C1INTTXT(const std::int32_t& v, std::span<char> s, std::int32_t& ier);

// Reads a decimal integer from S(1..N), N = s.size(); overflow is judged
// against IMACH(5).
void C1TXTINT(std::string_view s, std::int32_t& v, std::int32_t& ier);

// Copies S(I1..I2) into T(J1..J2) with blank fill; LS = s.size(), LT = t.size().
void C1SUBCPY(std::string_view s, const std::int32_t& i1, const std::int32_t& i2, std::span<char> t,
              const std::int32_t& j1, const std::int32_t& j2, std::int32_t& ier);

// Fixed-length assignment T := S (cut or blank-padded to t.size()).
void C1ASSIGN(std::string_view s, std::span<char> t);

// Position of the first occurrence of P in S (case-sensitive / ignoring case), or 0.
std::int32_t C1INDEXS(std::string_view s, std::string_view p);
std::int32_t C1INDEXI(std::string_view s, std::string_view p);

// Position of the first character of S not in CH, 0 if none, 1 for empty S or CH.
std::int32_t C1VERIFY(std::string_view s, std::string_view ch);

// Case-insensitive comparison, the shorter string extended with blanks: -1, 0, +1.
std::int32_t C1CMPNOC(std::string_view s1, std::string_view s2);

// Character codes 0..255 (C1UPCODE folds a-z only), and the character of code K.
std::int32_t C1UPCODE(const char& c);
std::int32_t C1CHCODE(const char& c);
void C1CODECH(char& c, const std::int32_t& k);

// Logical: -1 when X is a NaN, 0 otherwise (infinities included).
std::int32_t R1ISNAN(const float& x);

}  // namespace rkv

#pragma GCC visibility pop
