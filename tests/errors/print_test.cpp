// Tests of the message printer: header, first-line room, blank breaks,
// continuation lines, "%/" marks, hard cuts, the capitalisation rule, the
// traceback, and the unit it writes on. Every report is compared byte for
// byte from a forked child.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <string>
#include <vector>

#include "error_support.hpp"
#include "rkv/errors/params.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/print.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/host/units.hpp"
#include "rkv/machine/units.hpp"

namespace rkv {
namespace {

using errtest::in_child;
using errtest::join_lines;

const std::string kTraceHead =
    "     Here is a traceback of subprogram calls in reverse order:\n"
    "     Routine name                    Error type  Error code\n"
    "     ------------                    ----------  ----------\n";

// Posts under `name` (called by the user's program) and prints at once.
std::function<void()> post(std::string name, std::int32_t type, std::int32_t code,
                           std::string text) {
  return [=] {
    E1PSH(name);
    E1MES(type, code, text);
    E1PRINTM();
  };
}

TEST(Printer, Reports) {
  struct Case {
    const char* what;
    std::function<void()> body;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"step limit, handed down and printed at the outer pop",
       [] {
         E1PSH("IVPRK");
         E1PSH("I2PRK");
         E1SETINT(1, 500);
         E1MES(kFatal, 3,
               "Maximum number of steps allowed, %(I1), used.  The problem may be stiff.");
         E1POP("I2PRK");
         E1POP("IVPRK");
       },
       {"", " *** FATAL    ERROR 3 from IVPRK.  Maximum number of steps allowed, 500,",
        " ***          used.  The problem may be stiff."}},
      {"equation count",
       [] {
         E1PSH("IVPRK");
         E1SETINT(1, 0);
         E1MES(kTerminal, 1, "The number of equations NEQ = %(I1).  It must be at least 1.");
       },
       {"", " *** TERMINAL ERROR 1 from IVPRK.  The number of equations NEQ = 0.  It must",
        " ***          be at least 1."}},
      {"break kept as the last character of a continuation line",
       post("IVPRK", kFatal, 1,
            "IDO = 1.  IDO can only be set to 1 in the initial call to the routine, or if the "
            "previous call was made with IDO = 3."),
       {"", " *** FATAL    ERROR 1 from IVPRK.  IDO = 1.  IDO can only be set to 1 in the",
        " ***          initial call to the routine, or if the previous call was made ",
        " ***          with IDO = 3."}},
      {"short",
       post("I2PRK", kWarning, 7, "Step 12 failed"),
       {"", " *** WARNING  ERROR 7 from I2PRK.  Step 12 failed"}},
      {"line-break mark",
       post("I2PRK", kWarning, 7, "First part%/second part"),
       {"", " *** WARNING  ERROR 7 from I2PRK.  First part", " ***          second part"}},
      {"two marks in a row",
       post("I2PRK", kWarning, 7, "a%/%/b"),
       {"", " *** WARNING  ERROR 7 from I2PRK.  a", " ***          ", " ***          b"}},
      {"blank after a mark is kept",
       post("I2PRK", kWarning, 7, "a%/ b"),
       {"", " *** WARNING  ERROR 7 from I2PRK.  a", " ***           b"}},
      {"first word too long, then a hard cut",
       post("I2PRK", kWarning, 7, std::string(70, 'a')),
       {"", " *** WARNING  ERROR 7 from I2PRK. ", " ***          " + std::string(64, 'a'),
        " ***          " + std::string(6, 'a')}},
      {"65-character word on a continuation line",
       post("I2PRK", kWarning, 7, std::string(40, 'x') + " " + std::string(65, 'b')),
       {"", " *** WARNING  ERROR 7 from I2PRK.  " + std::string(40, 'x'),
        " ***          " + std::string(64, 'b'), " ***          b"}},
      {"exactly the first line's room",
       post("I2PRK", kWarning, 7, std::string(43, 'r')),
       {"", " *** WARNING  ERROR 7 from I2PRK.  " + std::string(43, 'r')}},
      {"capitalised name",
       post("iVPRK", kWarning, 1, "m"),
       {"", " *** WARNING  ERROR 1 from IVPRK.  m"}},
      {"lower-case name unchanged",
       post("ivprk", kWarning, 1, "m"),
       {"", " *** WARNING  ERROR 1 from ivprk.  m"}},
      {"name up to its first blank",
       post("AB CD", kWarning, 1, "m"),
       {"", " *** WARNING  ERROR 1 from AB.  m"}},
      {"32-character name taken whole",
       post("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", kAlert, 12, "one two three four five"),
       {"", " *** ALERT    ERROR 12 from ABCDEFGHIJKLMNOPQRSTUVWXYZ012345.  one two three",
        " ***          four five"}},
      {"negative and wide codes",
       [] {
         E1PSH("R");
         E1MES(kNote, 1, "m");
         E1ERRSTATE().level_code(2) = -12;
         E1PRINTM();
         E1MES(kNote, 1, "m");
         E1ERRSTATE().level_code(2) = 2147483647;
         E1PRINTM();
       },
       {"", " *** NOTE     ERROR -12 from R.  m", "", " *** NOTE     ERROR 2147483647 from R.  m"}},
      {"printed once",
       [] {
         E1PSH("R");
         E1MES(kTerminal, 4, "once");
         E1PRINTM();
       },
       {"", " *** TERMINAL ERROR 4 from R.  once"}},
      {"nothing waiting", [] { E1PRINTM(); }, {}},
  };
  for (const auto& c : cases) {
    const auto r = in_child(c.body);
    EXPECT_EQ(r.out, join_lines(c.lines)) << c.what;
    EXPECT_EQ(r.err, "") << c.what;
  }
}

TEST(Printer, MarkAtTheEndGivesOneEmptyContinuationLine) {
  const auto r = in_child(post("I2PRK", kWarning, 7, "Done%/"));
  const auto lines = errtest::split_lines(r.out);
  ASSERT_EQ(lines.size(), 3u) << r.out;
  EXPECT_EQ(lines[1], " *** WARNING  ERROR 7 from I2PRK.  Done");
  // Whether blanks follow the prefix of an empty record is the host's.
  EXPECT_EQ(lines[2].substr(0, 5), " *** ");
  EXPECT_EQ(lines[2].find_first_not_of(' ', 5), std::string::npos);
}

TEST(Printer, TracebackOfAnErrorAtLevelThree) {
  const auto r = in_child([] {
    E1PSH("IVPRK");
    E1PSH("I2PRK");
    E1MES(kTerminal, 1, "Bad argument.");
  });
  EXPECT_EQ(r.out, "\n *** TERMINAL ERROR 1 from I2PRK.  Bad argument.\n" + kTraceHead +
                       "     I2PRK                                5           1    (Called "
                       "internally)\n"
                       "     IVPRK                                0           0\n"
                       "     USER                                 0           0\n");
  EXPECT_TRUE(r.returned);
}

TEST(Printer, TracebackRowsUseTheCapitalisationRule) {
  const auto r = in_child([] {
    E1PSH("oUTER");
    E1USR("ON");
    E1PSH("iNNER");
    E1MES(kTerminal, 2, "x");
  });
  EXPECT_EQ(r.out, "\n *** TERMINAL ERROR 2 from INNER.  x\n" + kTraceHead +
                       "     INNER                                5           2\n"
                       "     OUTER                                0           0\n"
                       "     USER                                 0           0\n");
}

TEST(Printer, WritesOnTheErrorUnitOfTheMoment) {
  char dir_template[] = "/tmp/rkv-errors-XXXXXX";
  const char* dir = mkdtemp(dir_template);
  ASSERT_NE(dir, nullptr);
  const auto r = rkv::testing::run_in_child(
      [] {
        rkv::detail::reset_error_state_for_testing();
        const std::int32_t replace = -3;
        std::int32_t unit = 9;
        UMACH(replace, unit);
        E1PSH("R");
        E1MES(kTerminal, 1, "to the file");
      },
      dir);
  EXPECT_EQ(r.out, "");
  const std::string path = std::string(dir) + "/fort.9";
  EXPECT_EQ(rkv::testing::read_file(path), "\r\n *** TERMINAL ERROR 1 from R.  to the file\r\n");
  std::remove(path.c_str());
  rmdir(dir);
}

}  // namespace
}  // namespace rkv
