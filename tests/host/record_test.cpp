// Fixed-layout records: field formatters and the composition of items.
#include "rkv/host/record.hpp"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

namespace {

using rkv::host::format_e;
using rkv::host::format_f;
using rkv::host::format_i;
using rkv::host::Record;

constexpr float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

struct ICase {
  std::int32_t v;
  int w;
  const char* want;
};

TEST(RecordFieldTest, Integer) {
  const ICase cases[] = {
      {0, 3, "  0"},
      {-5, 3, " -5"},
      {123, 3, "123"},
      {1234, 3, "***"},
      {-12, 2, "**"},
      {4, 6, "     4"},
      {INT32_MIN, 11, "-2147483648"},
      {INT32_MIN, 10, "**********"},
      {INT32_MAX, 10, "2147483647"},
      {5, 0, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(format_i(c.v, c.w), c.want) << c.v << " I" << c.w;
}

struct RCase {
  float v;
  int w;
  int d;
  const char* want;
};

TEST(RecordFieldTest, FixedPoint) {
  const RCase cases[] = {
      {0.0f, 5, 2, " 0.00"},
      {10.0f, 7, 3, " 10.000"},
      {9.9996f, 7, 3, " 10.000"},  // carry through every digit
      {9.9994f, 7, 3, "  9.999"},
      {99.996f, 5, 2, "*****"},  // carry makes it one digit too wide
      {-0.5f, 5, 2, "-0.50"},
      {0.5f, 4, 3, ".500"},  // no room for the zero before the point
      {-0.5f, 5, 3, "-.500"},
      {-0.5f, 4, 3, "****"},
      {-0.001f, 5, 2, "-0.00"},  // rounds to zero, keeps its sign
      {0.125f, 5, 2, " 0.13"},   // exact ties round away from zero
      {-0.125f, 5, 2, "-0.13"},
      {0.375f, 5, 2, " 0.38"},
      {0.005f, 5, 2, " 0.00"},  // the float lies below the tie
      {2.675f, 5, 2, " 2.67"},
      {2.5f, 3, 0, " 3."},
      {0.4f, 2, 0, "0."},
      {0.4f, 1, 0, "*"},
      {123.456f, 5, 2, "*****"},
      {-9.609f, 7, 3, " -9.609"},
      {std::numeric_limits<float>::max(), 40, 0, "340282346638528859811704183484516925440."},
      {kNaN, 5, 2, "  NaN"},
      {kInf, 9, 2, " Infinity"},
      {-kInf, 9, 2, "-Infinity"},
      {kInf, 5, 2, "  Inf"},
      {-kInf, 4, 1, "-Inf"},
      {kInf, 2, 1, "**"},
      {1.0f, 4, -1, "****"},
      {1.0f, 5, INT32_MAX, "*****"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(format_f(c.v, c.w, c.d), c.want) << c.v << " F" << c.w << "." << c.d;
  }
}

TEST(RecordFieldTest, Exponent) {
  const RCase cases[] = {
      {0.0f, 14, 6, "  0.000000E+00"},
      {0.0f, 12, 6, "0.000000E+00"},
      {0.0f, 11, 6, ".000000E+00"},  // the zero is dropped when it does not fit
      {0.0f, 10, 6, "**********"},
      {1234.5f, 14, 6, "  0.123450E+04"},
      {-2.5f, 14, 6, " -0.250000E+01"},
      {0.001f, 14, 6, "  0.100000E-02"},
      {0.99999994f, 14, 6, "  0.100000E+01"},  // carry raises the exponent
      {1.0f, 8, 2, "0.10E+01"},
      {1.0f, 8, 0, "********"},
      {1.0f, 5, INT32_MAX, "*****"},
      {std::numeric_limits<float>::max(), 14, 6, "  0.340282E+39"},
      {std::bit_cast<float>(0x00000001u), 14, 6, "  0.140130E-44"},
      {-kInf, 14, 6, "     -Infinity"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(format_e(c.v, c.w, c.d, false), c.want) << c.v << " E" << c.w << "." << c.d;
  }
}

TEST(RecordFieldTest, ExponentScaled) {
  const RCase cases[] = {
      {0.001f, 14, 6, "  1.000000E-03"},
      {-2.5f, 14, 6, " -2.500000E+00"},
      {1234.5f, 14, 6, "  1.234500E+03"},
      {0.0f, 14, 6, "  0.000000E+00"},
      {9.9996f, 10, 3, " 1.000E+01"},  // carry raises the exponent
      {123456.0f, 10, 3, " 1.235E+05"},
      {-123456.0f, 8, 3, "********"},
      {2.5f, 6, 0, "3.E+00"},
      {2.5f, 5, INT32_MAX, "*****"},
      {1234567.5f, 14, 6, "  1.234568E+06"},
      {1234566.5f, 14, 6, "  1.234567E+06"},  // tie away from zero, not to even
      {std::bit_cast<float>(0x00000001u), 14, 6, "  1.401298E-45"},
      {kNaN, 14, 6, "           NaN"},
      {kInf, 14, 6, "      Infinity"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(format_e(c.v, c.w, c.d, true), c.want) << c.v << " 1PE" << c.w << "." << c.d;
  }
}

struct DCase {
  double v;
  bool scale1p;
  const char* want;
};

TEST(RecordFieldTest, ExponentOfADouble) {
  const double tiny = std::bit_cast<double>(std::uint64_t{1});
  const DCase cases[] = {
      {0.001, true, "  1.0000000000000000E-03"},
      {0.1, true, "  1.0000000000000001E-01"},  // 17 digits show the double, not 0.1
      {-2.5, true, " -2.5000000000000000E+00"},
      {1.0 / 3.0, true, "  3.3333333333333331E-01"},
      {std::numeric_limits<double>::min(), true, "  2.2250738585072014-308"},
      {std::numeric_limits<double>::max(), true, "  1.7976931348623157+308"},
      {tiny, true, "  4.9406564584124654-324"},
      {0.0, false, "  0.0000000000000000E+00"},
      {-std::numeric_limits<double>::quiet_NaN(), true, "                     NaN"},
      {-std::numeric_limits<double>::infinity(), false, "               -Infinity"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(format_e(c.v, 24, 16, c.scale1p), c.want) << c.v;
    EXPECT_EQ(Record().e1p(c.v, 24, 16).lines(),
              std::vector<std::string>{format_e(c.v, 24, 16, true)});
  }
}

// Properties over many bit patterns: (1P,E24.16) reads back as the same
// double; a float written through the double overload gives the float text.
TEST(RecordFieldTest, DoublesRoundTripAndFloatsAgree) {
  std::uint64_t state = 0x9E3779B97F4A7C15u;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  for (int k = 0; k < 4000; ++k) {
    const double v = std::bit_cast<double>(next());
    if (!std::isfinite(v)) continue;
    std::string text = format_e(v, 24, 16, true);
    // An exponent beyond 99 stands without its E; strtod wants it back.
    const std::size_t sign = text.find_last_of("+-");
    if (text.find('E') == std::string::npos && sign != std::string::npos) {
      text = text.substr(0, sign) + 'E' + text.substr(sign);
    }
    EXPECT_EQ(std::bit_cast<std::uint64_t>(std::strtod(text.c_str(), nullptr)),
              std::bit_cast<std::uint64_t>(v))
        << text;
    const float f = std::bit_cast<float>(static_cast<std::uint32_t>(next()));
    EXPECT_EQ(format_e(static_cast<double>(f), 14, 6, true), format_e(f, 14, 6, true));
    EXPECT_EQ(format_e(static_cast<double>(f), 40, 30, false), format_e(f, 40, 30, false));
  }
}

TEST(RecordTest, TextFields) {
  EXPECT_EQ(Record().a("AB", 4).lines(), std::vector<std::string>{"  AB"});
  EXPECT_EQ(Record().a("ABCDEF", 4).lines(), std::vector<std::string>{"ABCD"});
  EXPECT_EQ(Record().a("", 3).text("|").lines(), std::vector<std::string>{"   |"});
  // Written trailing blanks stay.
  EXPECT_EQ(Record().text("A  ").lines(), std::vector<std::string>{"A  "});
  EXPECT_EQ(Record().a1("C  ", 3).lines(), std::vector<std::string>{"C  "});
}

TEST(RecordTest, Composition) {
  struct Case {
    Record r;
    std::vector<std::string> want;
  };
  const std::string name32 = "I2PRK" + std::string(27, ' ');
  const std::vector<Case> cases = {
      {Record().tr(1).f(0.0f, 5, 2).text("'").tr(2).f(10.0f, 7, 3).text("'"),
       {"  0.00'   10.000'"}},
      {Record().slash().text(" *** ").a1("FATAL   ", 8).text(" ERROR").a1(" 3 from IVPRK.", 59),
       {"", " *** FATAL    ERROR 3 from IVPRK."}},
      // Running out of one-character items ends the record: later items,
      // slashes included, are ignored; earlier text stays.
      {Record().text("P").a1("AB", 5).text("X").slash().i(3, 2), {"PAB"}},
      {Record().text("P").a1("", 3).text("Q"), {"P"}},
      {Record().a1("ABCDEF", 3).text("-"), {"ABC-"}},
      {Record().text("A").slash(), {"A", ""}},
      {Record().slash().slash(), {"", "", ""}},
      // Moving right adds blanks only before something written.
      {Record().text("A").tr(5), {"A"}},
      {Record().text("A").tr(5).text("B"), {"A     B"}},
      {Record().text("ABCDEF").t(3).text("xy"), {"ABxyEF"}},
      {Record().text("ABC").t(6).text("Z").t(0).text("a"), {"aBC  Z"}},
      {Record().tr(5).a(name32, 32).i(5, 6).tr(6).i(1, 6).tr(4).text("(Called internally)"),
       {"     I2PRK                                5           1    (Called internally)"}},
      {Record().text(" ***          N = ").i(13, 6).text(".").slash(),
       {" ***          N =     13.", ""}},
  };
  for (std::size_t k = 0; k < cases.size(); ++k) EXPECT_EQ(cases[k].r.lines(), cases[k].want) << k;
}

TEST(RecordTest, WriteToFixedText) {
  std::array<char, 14> buf14{};
  Record().e1p(1234.5f, 14, 6).write_to(buf14);
  EXPECT_EQ(std::string(buf14.data(), buf14.size()), "  1.234500E+03");
  std::array<char, 5> buf5{};
  Record().text("AB").write_to(buf5);
  EXPECT_EQ(std::string(buf5.data(), buf5.size()), "AB   ");
  Record().text("ABCDEFG").write_to(buf5);
  EXPECT_EQ(std::string(buf5.data(), buf5.size()), "ABCDE");
  Record().text("L1").slash().text("L2").write_to(buf5);
  EXPECT_EQ(std::string(buf5.data(), buf5.size()), "L1   ");
}

}  // namespace
