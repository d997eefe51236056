// Tests of UMACH: the initial unit table, replacement (in a child, since the
// table is process-wide) and the fixed failure report for |N| outside 1..3.
#include "rkv/machine/units.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "support/child.hpp"

namespace {

TEST(UMACH, InitialTable) {
  const std::int32_t expected[] = {5, 6, 6};
  for (std::int32_t n = 1; n <= 3; ++n) {
    std::int32_t unit = -7;
    rkv::UMACH(n, unit);
    EXPECT_EQ(unit, expected[n - 1]) << "N=" << n;
  }
}

TEST(UMACH, ReplacementHoldsForLaterQueriesOfThatEntryOnly) {
  const auto r = rkv::testing::run_in_child([] {
    std::int32_t unit = 9;
    const std::int32_t replace3 = -3, read1 = 1, read2 = 2, read3 = 3;
    rkv::UMACH(replace3, unit);
    std::int32_t got1 = 0, got2 = 0, got3 = 0;
    rkv::UMACH(read1, got1);
    rkv::UMACH(read2, got2);
    rkv::UMACH(read3, got3);
    std::printf("%d %d %d %d\n", unit, got1, got2, got3);
  });
  EXPECT_TRUE(r.returned);
  EXPECT_EQ(r.out, "9 5 6 9\n");  // UNITNUM itself is not changed by a replacement
}

std::string umach_report(const std::string& field, const std::string& eol) {
  return eol + " *** TERMINAL ERROR 5 from UMACH.  The absolute" + eol +
         " ***          value of the index variable must be" + eol +
         " ***          1, 2, or 3.  IABS(N) = " + field + "." + eol + eol;
}

TEST(UMACH, BadIndexReportsTheAbsoluteValueAndStops) {
  struct Case {
    std::int32_t n;
    const char* field;
  };
  const Case cases[] = {{0, "     0"},        {4, "     4"},       {-4, "     4"},
                        {-999999, "999999"},  {1000000, "******"}, {INT32_MAX, "******"},
                        {INT32_MIN, "******"}};
  for (const auto& c : cases) {
    const auto r = rkv::testing::run_in_child([&] {
      std::int32_t unit = 0;
      rkv::UMACH(c.n, unit);
    });
    EXPECT_TRUE(r.exited && !r.returned) << c.n;
    EXPECT_EQ(r.status, 0) << c.n;
    EXPECT_EQ(r.out, umach_report(c.field, "\n")) << c.n;
    EXPECT_EQ(r.err, "") << c.n;
  }
}

TEST(UMACH, ReportGoesToTheErrorMessageEntry) {
  const std::string dir = ::testing::TempDir();
  std::remove((dir + "/fort.9").c_str());
  const auto r = rkv::testing::run_in_child(
      [] {
        std::int32_t unit = 9;
        const std::int32_t replace3 = -3, bad = 5;
        rkv::UMACH(replace3, unit);
        rkv::UMACH(bad, unit);
      },
      dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(r.returned);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(rkv::testing::read_file(dir + "/fort.9"), umach_report("     5", "\r\n"));
  std::remove((dir + "/fort.9").c_str());
}

}  // namespace
