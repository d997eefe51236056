// AMACH's bad-argument report goes through the error family even when AMACH
// is the first routine of the run that touches it. (That a program calling
// nothing else of the family gets the report however it is linked is checked
// from an installed library by .ci/consumer.sh.) A binary of its own, so
// that the error state of the process is untouched when the children fork.
#include <gtest/gtest.h>

#include <string>

#include "rkv/errors/state.hpp"
#include "rkv/machine/constants.hpp"
#include "state_testing.hpp"
#include "support/child.hpp"

namespace rkv {
namespace {

std::string report(std::int32_t n) {
  return "\n"
         " *** TERMINAL ERROR 5 from AMACH.  The argument must be between 1 and 8\n"
         " ***          inclusive. N = " +
         std::to_string(n) + "\n";
}

TEST(AmachReport, FirstCallOfTheRun) {
  for (const std::int32_t n : {9, 0, -3, 2147483647}) {
    const auto r = rkv::testing::run_in_child([&] { (void)AMACH(n); });
    EXPECT_EQ(r.out, report(n)) << n;
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(r.returned);
  }
}

TEST(AmachReport, ReportsAfterTheStateIsInitialisedAgain) {
  const auto r = rkv::testing::run_in_child([] {
    rkv::detail::reset_error_state_for_testing();
    const std::int32_t n = 12;
    (void)AMACH(n);
  });
  EXPECT_EQ(r.out, report(12));
  EXPECT_FALSE(r.returned);
}

TEST(AmachReport, GoodArgumentsReportNothing) {
  const auto r = rkv::testing::run_in_child([] {
    for (std::int32_t n = 1; n <= 8; ++n) (void)AMACH(n);
  });
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(r.returned);
}

}  // namespace
}  // namespace rkv
