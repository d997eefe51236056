// Tests of the text and number conversion utilities: statuses, 1-based
// positions, case folding limited to a-z, 32-bit overflow limits, and that
// nothing outside the given lengths is written (guard characters around
// every output buffer).
#include "rkv/errors/text.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace {

// An output buffer of `body` framed by guard characters; span() covers the
// body only, so a write past either end shows up in guards_intact().
class Guarded {
 public:
  explicit Guarded(std::string body) : buf_(kGuard + body + kGuard), n_(body.size()) {}
  std::span<char> span() { return {buf_.data() + kGuard.size(), n_}; }
  std::string body() const { return buf_.substr(kGuard.size(), n_); }
  bool guards_intact() const {
    return buf_.compare(0, kGuard.size(), kGuard) == 0 &&
           buf_.compare(kGuard.size() + n_, kGuard.size(), kGuard) == 0;
  }

 private:
  inline static const std::string kGuard = "\x7f#\x7f";
  std::string buf_;
  std::size_t n_;
};

TEST(C1INTTXT, ConvertsRightJustifiedWithStatus) {
  struct Case {
    std::int32_t v;
    std::string before, after;
    std::int32_t ier;
  };
  const Case cases[] = {
      {0, "x", "0", 0},
      {0, "xxxx", "   0", 0},
      {7, "xxx", "  7", 0},
      {-45, "xxxxx", "  -45", 0},
      {-45, "xxx", "-45", 0},
      {-45, "xx", "45", 1},  // digits fill the field: no room for the sign
      {12345, "xxx", "345", 2},
      {-12345, "xxx", "345", 3},
      {2147483647, "xxxxxxxxxx", "2147483647", 0},
      {2147483647, "xxxxxxxxxxxx", "  2147483647", 0},
      {2147483647, "xxxxxxxxx", "147483647", 1},
      {-2147483647, "xxxxxxxxxxx", "-2147483647", 0},
      {-2147483647, "xxxxxxxxxx", "2147483647", 1},
      {-2147483647, "xxxxxxxxx", "147483647", 2},
      // No 32-bit magnitude: refused, S unchanged, whatever the field.
      {INT32_MIN, "xxxxxxxxxxxx", "xxxxxxxxxxxx", 1},
      {INT32_MIN, "xxx", "xxx", 1},
  };
  for (const auto& c : cases) {
    Guarded s(c.before);
    std::int32_t ier = 99;
    rkv::C1INTTXT(c.v, s.span(), ier);
    EXPECT_EQ(s.body(), c.after) << "V=" << c.v << " NF=" << c.before.size();
    EXPECT_EQ(ier, c.ier) << "V=" << c.v << " NF=" << c.before.size();
    EXPECT_TRUE(s.guards_intact()) << "V=" << c.v;
  }
}

TEST(C1INTTXT, EmptyFieldIsRefusedAndUntouched) {
  for (std::int32_t v : {0, 5, -5, INT32_MIN}) {
    Guarded s("");
    std::int32_t ier = 99;
    rkv::C1INTTXT(v, s.span(), ier);
    EXPECT_EQ(ier, -1) << v;
    EXPECT_TRUE(s.guards_intact());
  }
}

TEST(C1TXTINT, ReadsOneIntegerWithStatus) {
  struct Case {
    std::string_view s;
    std::int32_t v, ier;
  };
  const Case cases[] = {
      {"7", 7, 0},
      {"  -0012", -12, 0},
      {"+12", 12, 0},
      {"12)", 12, 3},
      {"12 ", 12, 3},
      {"x", 0, 1},
      {"  x", 0, 3},
      {"- 5", -5, 0},
      {"   ", 0, 1},
      {"-", 0, 1},
      {"  +", 0, 3},
      {" -   ", 0, 2},
      {"- x", 0, 1},
      {"000", 0, 0},
      {"-000", 0, 0},
      {"00x", 0, 3},  // first character after the zeros
      {"007x", 7, 4},
      {"2147483647", 2147483647, 0},
      {"-2147483647", -2147483647, 0},
      {"0002147483647", 2147483647, 0},
      // Overflow: V holds the digits read so far, without sign.
      {"2147483648", 214748364, -2},
      {"-2147483648", 214748364, -2},
      {"99999999999", 999999999, -2},
  };
  for (const auto& c : cases) {
    std::int32_t v = 123, ier = 123;
    rkv::C1TXTINT(c.s, v, ier);
    EXPECT_EQ(v, c.v) << '"' << c.s << '"';
    EXPECT_EQ(ier, c.ier) << '"' << c.s << '"';
  }
}

TEST(C1TXTINT, EmptyTextIsRefused) {
  std::int32_t v = 5, ier = 5;
  rkv::C1TXTINT(std::string_view{}, v, ier);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(ier, -1);
}

TEST(C1TXTINT, ReadsOnlyWithinTheLength) {
  // The digits after the length must not be read.
  const std::string text = "12345";
  std::int32_t v = 0, ier = 0;
  rkv::C1TXTINT(std::string_view(text).substr(0, 2), v, ier);
  EXPECT_EQ(v, 12);
  EXPECT_EQ(ier, 0);
}

TEST(C1SUBCPY, CopiesWithBlankFillAndStatus) {
  struct Case {
    std::string_view src;
    std::int32_t i1, i2;
    std::string dst;
    std::int32_t j1, j2;
    std::string after;
    std::int32_t ier;
  };
  const Case cases[] = {
      {"abcde", 1, 5, "......", 3, 4, "..ab..", -3},  // three characters lost
      {"abcde", 1, 2, "......", 1, 6, "ab    ", 0},
      {"abcde", 2, 4, "......", 2, 4, ".bcd..", 0},
      {"abcde", 5, 5, "......", 6, 6, ".....e", 0},
      {"abcde", 1, 3, "......", 1, 1, "a.....", -2},  // loss of two, same as a refusal
      {"abcde", 1, 2, "......", 1, 1, "a.....", -1},
      // Refused with -2: bad source or destination positions.
      {"abcde", 1, 5, "......", 4, 3, "......", -2},
      {"abcde", 1, 5, "......", 0, 3, "......", -2},
      {"abcde", 1, 6, "......", 1, 3, "......", -2},
      {"abcde", 0, 2, "......", 1, 3, "......", -2},
      {"abcde", 3, 2, "......", 1, 3, "......", -2},
      {"abcde", INT32_MIN, INT32_MAX, "......", 1, 3, "......", -2},
      {"", 1, 1, "......", 1, 3, "......", -2},
      // Refused with -1: the destination range runs past LT.
      {"abcde", 1, 2, "......", 1, 7, "......", -1},
      {"abcde", 1, 2, "......", 6, INT32_MAX, "......", -1},
  };
  for (const auto& c : cases) {
    Guarded t(c.dst);
    std::int32_t ier = 99;
    rkv::C1SUBCPY(c.src, c.i1, c.i2, t.span(), c.j1, c.j2, ier);
    const auto where = ::testing::Message()
                       << c.i1 << ".." << c.i2 << " -> " << c.j1 << ".." << c.j2;
    EXPECT_EQ(t.body(), c.after) << where;
    EXPECT_EQ(ier, c.ier) << where;
    EXPECT_TRUE(t.guards_intact()) << where;
  }
}

TEST(C1SUBCPY, OverlappingRangesOfOneBufferCopyAsIfThroughATemporary) {
  std::string buf = "abcdef";
  std::int32_t ier = 99;
  rkv::C1SUBCPY(buf, 1, 4, std::span<char>(buf), 3, 6, ier);
  EXPECT_EQ(buf, "ababcd");
  EXPECT_EQ(ier, 0);
  buf = "abcdef";
  rkv::C1SUBCPY(buf, 3, 6, std::span<char>(buf), 1, 4, ier);
  EXPECT_EQ(buf, "cdefef");
  EXPECT_EQ(ier, 0);
}

TEST(C1ASSIGN, CutsOrPadsToTheDestination) {
  struct Case {
    std::string_view src;
    std::string dst, after;
  };
  const Case cases[] = {
      {"abc", "......", "abc   "},
      {"abcdefgh", "....", "abcd"},
      {"", "...", "   "},
      {"abc", "", ""},
  };
  for (const auto& c : cases) {
    Guarded t(c.dst);
    rkv::C1ASSIGN(c.src, t.span());
    EXPECT_EQ(t.body(), c.after) << c.src;
    EXPECT_TRUE(t.guards_intact()) << c.src;
  }
}

TEST(C1INDEX, FindsFirstOccurrence) {
  struct Case {
    std::string_view s, p;
    std::int32_t exact, folded;
  };
  const Case cases[] = {
      {"ab%/cd", "%/", 3, 3},
      {"X FROM Y", "from", 0, 3},
      {"X FROM Y", "FROM", 3, 3},
      {"aaab", "ab", 3, 3},
      {"abc", "abc", 1, 1},
      {"abc", "c", 3, 3},
      {"abc", "abcd", 0, 0},  // NS < NP
      {"abc", "", 0, 0},
      {"", "a", 0, 0},
      {"", "", 0, 0},
      {"ab[", "{", 0, 0},  // '[' and '{' differ by 32 but are not letters
      {"@", "`", 0, 0},
      {"\xe0", "\xc0", 0, 0},  // codes beyond a-z do not fold
  };
  for (const auto& c : cases) {
    EXPECT_EQ(rkv::C1INDEXS(c.s, c.p), c.exact) << c.s << " / " << c.p;
    EXPECT_EQ(rkv::C1INDEXI(c.s, c.p), c.folded) << c.s << " / " << c.p;
  }
}

TEST(C1INDEX, DoesNotMatchPastTheLength) {
  const std::string text = "abcdef";
  EXPECT_EQ(rkv::C1INDEXS(std::string_view(text).substr(0, 4), "de"), 0);
  EXPECT_EQ(rkv::C1INDEXI(std::string_view(text).substr(0, 4), "DE"), 0);
}

TEST(C1VERIFY, FirstCharacterNotInSet) {
  struct Case {
    std::string_view s, ch;
    std::int32_t pos;
  };
  const Case cases[] = {
      {"   7", " ", 4},  {"    ", " ", 0},   {"", " ", 1},      {"abc", "", 1},
      {"abc", "cba", 0}, {"abcx", "cba", 4}, {"Abc", "abc", 1}, {"x", " ", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(rkv::C1VERIFY(c.s, c.ch), c.pos) << '"' << c.s << "\" / \"" << c.ch << '"';
  }
}

TEST(C1CMPNOC, ComparesIgnoringCaseWithBlankExtension) {
  struct Case {
    std::string_view s1, s2;
    std::int32_t r;
  };
  const Case cases[] = {
      {"abc", "ABC  ", 0}, {"ABC  ", "abc", 0}, {"ab", "ABC", -1},
      {"ABC", "ab", 1},    {"abd", "ABC", 1},   {"abc", "abd", -1},
      {"abc", "abc", 0},   {"", "", 0},         {"", "   ", -1},  // empty strings compare by length
      {"  ", "", 1},       {"a", "a\t", 1},                       // tab (9) is below the blank (32)
      {"a\t", "a", -1},    {"a", "a!", -1},                       // '!' (33) is above the blank
      {"[", "{", -1},       // not letters: compared by their own codes
      {"\xe0", "\xc0", 1},  // unsigned codes, no folding beyond a-z
      {"\x80", "a", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(rkv::C1CMPNOC(c.s1, c.s2), c.r) << '"' << c.s1 << "\" vs \"" << c.s2 << '"';
  }
}

TEST(CharacterCodes, UnsignedAndFoldingOnlyAToZ) {
  for (int k = 0; k < 256; ++k) {
    const char c = static_cast<char>(static_cast<unsigned char>(k));
    const std::int32_t up = (k >= 'a' && k <= 'z') ? k - 32 : k;
    EXPECT_EQ(rkv::C1CHCODE(c), k);
    EXPECT_EQ(rkv::C1UPCODE(c), up) << k;
    char back = 'q';
    rkv::C1CODECH(back, k);
    EXPECT_EQ(back, c);
  }
}

TEST(CharacterCodes, CodeToCharacterReducesModulo256) {
  struct Case {
    std::int32_t k, code;
  };
  const Case cases[] = {{-1, 0}, {INT32_MIN, 0}, {256, 0}, {321, 65}, {511, 255}, {INT32_MAX, 255}};
  for (const auto& c : cases) {
    char ch = 'q';
    rkv::C1CODECH(ch, c.k);
    EXPECT_EQ(rkv::C1CHCODE(ch), c.code) << c.k;
  }
}

TEST(R1ISNAN, ExactlyTheNaNPatterns) {
  struct Case {
    std::uint32_t bits;
    std::int32_t nan;
  };
  const Case cases[] = {
      {0x7FC00000u, -1}, {0x7F800001u, -1}, {0xFFC00000u, -1}, {0xFFFFFFFFu, -1},
      {0x7FBFFFFFu, -1},  // signalling NaN
      {0x7F800000u, 0},  {0xFF800000u, 0},  {0x7F7FFFFFu, 0},  {0x00000000u, 0},
      {0x80000000u, 0},  {0x00000001u, 0},  {0x3F800000u, 0},
  };
  for (const auto& c : cases) {
    const float x = std::bit_cast<float>(c.bits);
    EXPECT_EQ(rkv::R1ISNAN(x), c.nan) << std::hex << c.bits;
  }
}

}  // namespace
