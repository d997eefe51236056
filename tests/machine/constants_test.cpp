// Tests of the machine constants: the exact bit patterns of AMACH, the
// integer table of IMACH with its 0.d * 2^e exponent convention, and IMACH's
// fixed failure report (run in a child, since it stops the run).
#include "rkv/machine/constants.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "rkv/machine/units.hpp"
#include "support/child.hpp"

namespace {

TEST(AMACH, EntriesAreTheExactBitPatterns) {
  const std::uint32_t bits[] = {0x00800000u, 0x7F7FFFFFu, 0x33800000u, 0x34000000u,
                                0x3E9A209Bu, 0x7FC00000u, 0x7F800000u, 0xFF800000u};
  for (std::int32_t n = 1; n <= 8; ++n) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(rkv::AMACH(n)), bits[n - 1]) << "N=" << n;
  }
}

TEST(AMACH, EntriesHaveTheirMeaning) {
  const std::int32_t n1 = 1, n2 = 2, n3 = 3, n4 = 4, n6 = 6, n7 = 7, n8 = 8;
  EXPECT_EQ(rkv::AMACH(n1), std::ldexp(1.0f, -126));
  EXPECT_TRUE(std::isnormal(rkv::AMACH(n1)));
  EXPECT_FALSE(std::isnormal(std::nextafter(rkv::AMACH(n1), 0.0f)));
  EXPECT_TRUE(std::isinf(std::nextafter(rkv::AMACH(n2), INFINITY)));
  EXPECT_EQ(rkv::AMACH(n4), std::ldexp(1.0f, -23));
  EXPECT_EQ(rkv::AMACH(n4), std::nextafter(1.0f, 2.0f) - 1.0f);
  EXPECT_EQ(rkv::AMACH(n3), rkv::AMACH(n4) / 2.0f);
  const float nan = rkv::AMACH(n6);
  EXPECT_NE(nan, nan);
  EXPECT_TRUE(std::isinf(rkv::AMACH(n7)) && rkv::AMACH(n7) > 0.0f);
  EXPECT_TRUE(std::isinf(rkv::AMACH(n8)) && rkv::AMACH(n8) < 0.0f);
}

TEST(IMACH, Table) {
  const std::int32_t expected[] = {32, 4, 2, 31, 2147483647, 2, 24, -125, 128, 53, -1021, 1024};
  for (std::int32_t n = 1; n <= 12; ++n) {
    EXPECT_EQ(rkv::IMACH(n), expected[n - 1]) << "N=" << n;
  }
}

std::string imach_report(const std::string& field) {
  return "\n"
         " *** TERMINAL ERROR 5 from IMACH.  The argument\n"
         " ***          must be between 1 and 12 inclusive.\n"
         " ***          N = " +
         field +
         ".\n"
         "\n";
}

TEST(IMACH, BadArgumentReportsAndStops) {
  struct Case {
    std::int32_t n;
    const char* field;
  };
  const Case cases[] = {{0, "     0"},       {13, "    13"},        {-1, "    -1"},
                        {999999, "999999"},  {-99999, "-99999"},    {1000000, "******"},
                        {-100000, "******"}, {INT32_MIN, "******"}, {INT32_MAX, "******"}};
  for (const auto& c : cases) {
    const auto r = rkv::testing::run_in_child([&] { rkv::IMACH(c.n); });
    EXPECT_TRUE(r.exited && !r.returned) << c.n;
    EXPECT_EQ(r.status, 0) << c.n;
    EXPECT_EQ(r.out, imach_report(c.field)) << c.n;
    EXPECT_EQ(r.err, "") << c.n;
  }
}

TEST(IMACH, ReportGoesToTheStandardOutputEntryOfUMACH) {
  const std::string dir = ::testing::TempDir();
  std::remove((dir + "/fort.9").c_str());
  const auto r = rkv::testing::run_in_child(
      [] {
        std::int32_t unit = 9;
        const std::int32_t replace_output = -2, bad = 13;
        rkv::UMACH(replace_output, unit);
        rkv::IMACH(bad);
      },
      dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(r.returned);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(rkv::testing::read_file(dir + "/fort.9"),
            "\r\n"
            " *** TERMINAL ERROR 5 from IMACH.  The argument\r\n"
            " ***          must be between 1 and 12 inclusive.\r\n"
            " ***          N =     13.\r\n"
            "\r\n");
  std::remove((dir + "/fort.9").c_str());
}

}  // namespace
