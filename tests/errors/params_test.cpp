// Tests of the message-parameter stores: the buffer layout, the index and
// room rules, the cuts, and the safe handling of unusable arguments.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "error_support.hpp"
#include "rkv/errors/params.hpp"

namespace rkv {
namespace {

using errtest::fresh;
using errtest::params;

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

TEST(Params, BufferLayoutOfIntegerAndReal) {
  fresh();
  E1SETINT(1, 50);
  E1SETREAL(1, 0.001f);
  EXPECT_EQ(params(), "*I1*2%50*R1*12%1.000000E-03");
  EXPECT_EQ(E1ERRSTATE().param_fill, 27);
}

TEST(Params, StoredTexts) {
  struct Case {
    const char* what;
    std::function<void()> store;
    std::string buffer;  // empty: nothing stored
  };
  const std::string s300(300, 'x');
  const Case cases[] = {
      {"int -7", [] { E1SETINT(3, -7); }, "*I3*2%-7"},
      {"int 0", [] { E1SETINT(1, 0); }, "*I1*1%0"},
      {"int max", [] { E1SETINT(9, kMax); }, "*I9*10%2147483647"},
      {"int index 10", [] { E1SETINT(10, 5); }, ""},
      {"int index 0", [] { E1SETINT(0, 5); }, ""},
      {"int index -1", [] { E1SETINT(-1, 5); }, ""},
      {"int most negative value", [] { E1SETINT(1, kMin); }, ""},
      {"real -2.5", [] { E1SETREAL(2, -2.5f); }, "*R2*13%-2.500000E+00"},
      {"real 1234.5", [] { E1SETREAL(2, 1234.5f); }, "*R2*12%1.234500E+03"},
      {"real largest", [] { E1SETREAL(1, std::bit_cast<float>(0x7F7FFFFFu)); },
       "*R1*12%3.402823E+38"},
      {"real index 0", [] { E1SETREAL(0, 1.0f); }, ""},
      {"real index most negative", [] { E1SETREAL(kMin, 1.0f); }, ""},
      {"str trailing blanks cut", [] { E1SETSTR(1, "ABC   "); }, "*L1*3%ABC"},
      {"str negative index keeps them", [] { E1SETSTR(-1, "ABC   "); }, "*L1*6%ABC   "},
      {"str all blank", [] { E1SETSTR(1, "     "); }, "*L1*1% "},
      {"str leading blanks kept", [] { E1SETSTR(2, "  x"); }, "*L2*3%  x"},
      {"str index -9", [] { E1SETSTR(-9, "q"); }, "*L9*1%q"},
      {"str index -10", [] { E1SETSTR(-10, "q"); }, ""},
      {"str index most negative", [] { E1SETSTR(kMin, "q"); }, ""},
      {"str index 10", [] { E1SETSTR(10, "q"); }, ""},
      {"str empty", [] { E1SETSTR(1, ""); }, ""},
      {"str 300 cut to 255", [&] { E1SETSTR(1, s300); }, "*L1*255%" + std::string(255, 'x')},
  };
  for (const auto& c : cases) {
    fresh();
    c.store();
    EXPECT_EQ(params(), c.buffer) << c.what;
  }
}

TEST(Params, DoublesUnderTheRealLetterWithSeventeenDigits) {
  struct Case {
    std::int32_t index;
    double value;
    std::string buffer;  // empty: nothing stored
  };
  const Case cases[] = {
      {1, 0.001, "*R1*22%1.0000000000000000E-03"},
      {2, -2.5, "*R2*23%-2.5000000000000000E+00"},
      {2, 1234.5, "*R2*22%1.2345000000000000E+03"},
      {3, 1.0 / 3.0, "*R3*22%3.3333333333333331E-01"},
      {1, 0.0, "*R1*22%0.0000000000000000E+00"},
      {1, std::numeric_limits<double>::quiet_NaN(), "*R1*3%NaN"},
      {9, std::numeric_limits<double>::min(), "*R9*22%2.2250738585072014-308"},
      {0, 1.0, ""},
      {10, 1.0, ""},
      {kMin, 1.0, ""},
  };
  for (const auto& c : cases) {
    fresh();
    E1SETDBL(c.index, c.value);
    EXPECT_EQ(params(), c.buffer) << c.index << " " << c.value;
  }
}

TEST(Params, ZeroAndNanUseThePlainExponentLayout) {
  fresh();
  E1SETREAL(1, 0.0f);
  const std::string zero = params();
  ASSERT_GE(zero.size(), 7u);
  EXPECT_EQ(zero.substr(zero.size() - 11), ".000000E+00") << zero;
  fresh();
  E1SETREAL(1, std::bit_cast<float>(0x7FC00000u));
  EXPECT_EQ(params().substr(0, 4), "*R1*") << params();
}

TEST(Params, RoomTestAndOverflow) {
  ErrorState& s = fresh();
  const std::string s300(300, 'y');
  E1SETSTR(1, s300);
  EXPECT_EQ(s.param_fill, 263);
  E1SETSTR(2, s300);  // 263 + 255 + 8 > 300
  EXPECT_EQ(s.param_fill, 263);
  E1SETINT(3, 12345);  // 263 + 5 + 8 = 276 still fits
  EXPECT_EQ(s.param_fill, 263 + 4 + 1 + 1 + 5);

  // The last entry that fits exactly ends at position 300.
  fresh();
  const std::int32_t fits = 291;  // 1 + 291 + 8 = 300
  E1PUTPARM("L", -1, fits, std::string(fits, 'z'));
  EXPECT_EQ(s.param_fill, 299);
  fresh();
  const std::int32_t too_long = 292;
  E1PUTPARM("L", -1, too_long, std::string(too_long, 'z'));
  EXPECT_EQ(s.param_fill, 1);

  // The room test uses the length before trailing blanks are trimmed.
  fresh();
  E1SETSTR(-1, std::string(250, 'a'));  // fill 258
  E1SETSTR(1, "b" + std::string(40, ' '));
  EXPECT_EQ(s.param_fill, 258);
}

TEST(Params, PutParmNeverReadsOrWritesOutsideItsArguments) {
  struct Case {
    const char* what;
    std::string letter;
    std::int32_t index, length;
    std::string text, buffer;
  };
  const Case cases[] = {
      {"length 0", "I", 1, 0, "abc", ""},
      {"negative length", "I", 1, -5, "abc", ""},
      {"most negative length", "I", -1, kMin, "abc", ""},
      {"length beyond the text", "L", 1, 10, "abc", "*L1*3%abc"},
      {"largest length", "L", -2, kMax, "abc", "*L2*3%abc"},
      {"shorter length", "L", -3, 2, "abc", "*L3*2%ab"},
      {"empty letter", "", 1, 3, "abc", ""},
      {"most negative index", "L", kMin, 3, "abc", ""},
      {"empty text", "L", 1, 1, "", ""},
  };
  for (const auto& c : cases) {
    ErrorState& s = fresh();
    s.param_buffer.fill('#');
    E1PUTPARM(c.letter, c.index, c.length, c.text);
    EXPECT_EQ(params(), c.buffer) << c.what;
    const std::size_t used = c.buffer.size();
    for (std::size_t i = used; i < s.param_buffer.size(); ++i) {
      ASSERT_EQ(s.param_buffer[i], '#') << c.what << " wrote at " << i + 1;
    }
  }
}

}  // namespace
}  // namespace rkv
