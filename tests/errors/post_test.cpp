// Tests of posting and querying: placeholder expansion, what E1MES records
// and discards, the immediate types, the family's own reports, N1RTY and
// E1USR.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "error_support.hpp"
#include "rkv/errors/params.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/print.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/host/units.hpp"

namespace rkv {
namespace {

using errtest::fresh;
using errtest::in_child;
using errtest::message;

void mark(const std::string& s) {
  rkv::host::write_record(rkv::host::kStdoutUnit, s);
}

TEST(Expansion, Placeholders) {
  struct Case {
    const char* what;
    std::function<void()> store;
    std::string text, expected;
  };
  const Case cases[] = {
      {"integer", [] { E1SETINT(1, 12); }, "Step %(I1) failed", ".  Step 12 failed"},
      {"negative", [] { E1SETINT(3, -7); }, "v=%(I3)", ".  v=-7"},
      {"zero", [] { E1SETINT(1, 0); }, "%(I1)", ".  0"},
      {"at position n - 4", [] { E1SETINT(1, 9); }, "N = %(I1)", ".  N = 9"},
      {"lower-case letter", [] { E1SETINT(1, 5); }, "%(i1)", ".  5"},
      {"lower-case string", [] { E1SETSTR(1, "ab"); }, "[%(l1)]", ".  [ab]"},
      {"no value under 2", [] { E1SETINT(1, 5); }, "x %(I2) y", ".  x %(I2) y"},
      {"digit 0", [] { E1SETINT(1, 5); }, "%(I0)", ".  %(I0)"},
      {"unknown letter", [] { E1SETINT(1, 5); }, "%(Q1)", ".  %(Q1)"},
      {"accepted letter, no store", [] { E1SETINT(1, 5); }, "%(A1)%(z1)", ".  %(A1)%(z1)"},
      {"unterminated", [] { E1SETINT(1, 5); }, "a %(I1", ".  a %(I1"},
      {"unterminated long", [] { E1SETINT(1, 5); }, "%(I1 is 5", ".  %(I1 is 5"},
      {"earlier entry wins", [] { E1SETINT(1, 1), E1SETINT(1, 2); }, "%(I1)", ".  1"},
      {"real", [] { E1SETREAL(2, 1234.5f); }, "h=%(R2)", ".  h=1.234500E+03"},
      {"double", [] { E1SETDBL(2, 0.1); }, "h=%(R2)", ".  h=1.0000000000000001E-01"},
      {"string", [] { E1SETSTR(1, "ABC   "); }, "[%(L1)]", ".  [ABC]"},
      {"string with blanks", [] { E1SETSTR(-1, "ABC   "); }, "[%(L1)]", ".  [ABC   ]"},
      {"blank string", [] { E1SETSTR(1, "     "); }, "[%(L1)]", ".  [ ]"},
      {"values are not rescanned", [] { E1SETSTR(1, "%(I1)"), E1SETINT(1, 4); }, "%(L1)|%(I1)",
       ".  %(I1)|4"},
      {"key spelled in an earlier text", [] { E1SETSTR(1, "*I1*3%abc"), E1SETINT(1, 4); }, "%(I1)",
       ".  abc"},
      {"spelled key directly before %, length 0", [] { E1SETSTR(1, "*R4*%abc"); }, "[%(R4)]",
       ".  []"},
      {"spelled key, blank before %, length 0", [] { E1SETSTR(1, "*R4* %abc"); }, "[%(R4)]",
       ".  []"},
      {"spelled key, no % in reach", [] { E1SETSTR(1, "*R4*abcd"); }, "[%(R4)]", ".  [%(R4)]"},
      {"spelled key at the end of the buffer", [] { E1SETSTR(1, "x*I1*"); }, "%(I1)", ".  %(I1)"},
      {"two placeholders", [] { E1SETINT(1, 1), E1SETINT(2, 22); }, "%(I1)%(I2)", ".  122"},
      {"short text", [] {}, "ab", ".  ab"},
      {"four characters", [] { E1SETINT(1, 1); }, "%(I1", ".  %(I1"},
  };
  for (const auto& c : cases) {
    ErrorState& s = fresh();
    E1PSH("R");
    c.store();
    E1MES(kWarning, 7, c.text);
    EXPECT_EQ(message(), c.expected) << c.what;
    EXPECT_EQ(s.param_fill, 1) << c.what;  // parameters used up
  }
}

TEST(Expansion, ParametersApplyToTheNextMessageOnly) {
  fresh();
  E1PSH("R");
  E1SETINT(1, 3);
  E1MES(kNote, 1, "%(I1)");
  E1MES(kNote, 1, "%(I1)");
  EXPECT_EQ(message(), ".  %(I1)");
}

TEST(Expansion, CapAt1024) {
  ErrorState& s = fresh();
  E1PSH("R");
  E1MES(kWarning, 1, std::string(2000, 'q'));
  EXPECT_EQ(s.message_length, 1024);
  EXPECT_EQ(message(), ".  " + std::string(1021, 'q'));

  // A value that would pass the cap is cut there and ends the build.
  fresh();
  E1PSH("R");
  E1SETSTR(1, "0123456789");
  E1MES(kWarning, 1, std::string(1019, 'q') + "%(L1)");
  EXPECT_EQ(s.message_length, 1024);
  EXPECT_EQ(message(), ".  " + std::string(1019, 'q') + "01");

  // Only the first 1024 characters of the text are scanned.
  fresh();
  E1PSH("R");
  E1SETINT(1, 7);
  E1MES(kWarning, 1, std::string(1020, 'q') + "%(I1)");
  EXPECT_EQ(s.message_length, 1024);
  EXPECT_EQ(message(), ".  " + std::string(1020, 'q') + "%");
}

TEST(Recording, TypeAndCodeArguments) {
  struct Case {
    const char* what;
    std::int32_t type, code;
    std::string text;
    std::int32_t rec_type, rec_code;
    std::string msg;
  };
  // Before each case the level holds type 3, code 7 and ".  old".
  const Case cases[] = {
      {"new message", 2, 4, "new", 2, 4, ".  new"},
      {"type -1 keeps the type", -1, 5, "new", 3, 5, ".  new"},
      {"code -1 keeps the code", 4, -1, "new", 4, 7, ".  new"},
      {"code below -1 keeps the code", 4, -9, "new", 4, 7, ".  new"},
      {"one blank relabels", 4, 3, " ", 4, 3, ".  old"},
      {"empty text relabels", 1, 2, "", 1, 2, ".  old"},
      {"two blanks are a message", 4, 3, "  ", 4, 3, ".    "},
      {"type 0 discards", 0, 0, "anything", 0, 0, ""},
      {"type 0 with a code discards", 0, 5, "anything", 0, 5, ""},
      {"code 0 discards", 4, 0, "anything", 4, 0, ""},
  };
  for (const auto& c : cases) {
    ErrorState& s = fresh();
    E1PSH("R");
    E1SETINT(1, 1);
    E1MES(kWarning, 7, "old");
    E1SETINT(1, 1);
    E1MES(c.type, c.code, c.text);
    EXPECT_EQ(s.level_type(2), c.rec_type) << c.what;
    EXPECT_EQ(s.level_code(2), c.rec_code) << c.what;
    EXPECT_EQ(message(), c.msg) << c.what;
    EXPECT_EQ(s.param_fill, 1) << c.what;
    EXPECT_EQ(s.pending_warning | s.pending_fatal, 0) << c.what;
  }
}

TEST(Recording, ImmediateTypesSetTheirPendingFlags) {
  ErrorState& s = fresh();
  E1PSH("R");
  s.print_attr(6) = 0;  // keep the console quiet; the flag does not depend on it
  s.print_attr(7) = 0;
  E1MES(kWarningImmediate, 1, "w");
  EXPECT_EQ(s.pending_warning, 1);
  EXPECT_EQ(s.pending_fatal, 0);
  E1MES(kFatalImmediate, 1, " ");  // relabelled: still flagged
  EXPECT_EQ(s.pending_fatal, 1);
}

TEST(Recording, DiscardedFatalStillStops) {
  const auto r = in_child([] {
    E1PSH("R");
    E1MES(kFatal, 0, "never shown");
    E1POP("R");
    mark("continued");
  });
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(r.returned);
}

TEST(Recording, TypeZeroReportsNothingAtThePop) {
  const auto r = in_child([] {
    E1PSH("R");
    E1MES(kFatal, 3, "first");
    E1MES(0, 0, "anything");
    E1POP("R");
  });
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(r.returned);
}

TEST(Recording, TerminalPrintsAtOnceAndStopsAtThePop) {
  const auto r = in_child([] {
    E1PSH("R");
    E1MES(kTerminal, 1, "Bad.");
    mark("returned");
    E1POP("R");
    mark("continued");
  });
  EXPECT_EQ(r.out, "\n *** TERMINAL ERROR 1 from R.  Bad.\nreturned\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(r.returned);
}

TEST(Recording, IllegalTypesReportAndStop) {
  for (const std::int32_t type : {8, -2, 1000, std::numeric_limits<std::int32_t>::min()}) {
    const auto r = in_child([&] {
      E1PSH("IVPRK");
      E1MES(type, 1, "text");
      mark("continued");
    });
    EXPECT_EQ(r.out,
              "\n"
              " *** UNKNOWN  ERROR 0 from IVPRK.  Error from E1MES.  Illegal error type\n"
              " ***          specified.\n")
        << type;
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(r.returned);
  }
}

TEST(Query, N1rtyOfANoteFromTheCallee) {
  fresh();
  E1PSH("OUTER");
  E1MES(kAlert, 1, "own");
  E1PSH("INNER");
  E1MES(kNote, 2, "note");
  E1POP("INNER");
  EXPECT_EQ(N1RTY(1), kNote);
  EXPECT_EQ(N1RTY(0), kAlert);
}

TEST(Query, N1rtyBadArgumentReportsAndStops) {
  for (const std::int32_t which : {2, -1}) {
    const auto r = in_child([&] {
      E1PSH("IVPRK");
      (void)N1RTY(which);
      mark("continued");
    });
    EXPECT_EQ(r.out,
              "\n"
              " *** TERMINAL ERROR 1 from IVPRK.  The argument passed to N1RTY must be 0 or\n"
              " ***          1.\n")
        << which;
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(r.returned);
  }
}

TEST(UserSwitch, ValidValues) {
  struct Case {
    std::string value;
    std::int32_t user;
  };
  const Case cases[] = {{"ON", -1}, {"on", -1}, {"ON  ", -1}, {"on ", -1},
                        {"OFF", 0}, {"off", 0}, {"OFF   ", 0}};
  for (const auto& c : cases) {
    ErrorState& s = fresh();
    E1PSH("R");
    s.user_level(2) = c.user == 0 ? -1 : 0;
    E1USR(c.value);
    EXPECT_EQ(s.user_level(2), c.user) << '"' << c.value << '"';
    EXPECT_EQ(s.level_type(2), 0) << '"' << c.value << '"';
  }
}

TEST(UserSwitch, InvalidValueReportsAndStopsAtTheCallersPop) {
  const auto r = in_child([] {
    E1PSH("IVPRK");
    E1USR("On");
    mark("returned, user level " + std::to_string(E1ERRSTATE().user_level(2)));
    E1POP("IVPRK");
    mark("continued");
  });
  EXPECT_EQ(r.out,
            "\n"
            " *** TERMINAL ERROR 1 from IVPRK.  Invalid value for SWITCH in call to E1USR.\n"
            " ***          SWITCH must be set to 'ON' or 'OFF'.  SWITCH = 'On' \n"
            "returned, user level 0\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(r.returned);

  for (const std::string bad : {" ON", "ONN", "Off", "O", "OFFF", "oN"}) {
    const auto rr = in_child([&] {
      E1PSH("IVPRK");
      E1USR(bad);
      mark("returned " + std::to_string(N1RTY(0)));
    });
    EXPECT_NE(rr.out.find("returned 5"), std::string::npos) << bad;
  }
}

TEST(UserSwitch, UserLevelMakesTheNextRoutineUserCalled) {
  // A routine called from user code that the solver called reports at its
  // own pop, since the level below it has handed control to the user.
  const auto r = in_child([] {
    E1PSH("IVPRK");
    E1USR("ON");
    E1PSH("AMACH");
    E1MES(kWarning, 2, "inner");
    E1POP("AMACH");
    mark("after");
    E1USR("OFF");
    E1MES(0, 0, "");
    E1POP("IVPRK");
  });
  // Printed at level 3, so with a traceback; AMACH is not marked internal.
  EXPECT_EQ(r.out,
            "\n"
            " *** WARNING  ERROR 2 from AMACH.  inner\n"
            "     Here is a traceback of subprogram calls in reverse order:\n"
            "     Routine name                    Error type  Error code\n"
            "     ------------                    ----------  ----------\n"
            "     AMACH                                3           2\n"
            "     IVPRK                                3           2\n"
            "     USER                                 0           0\n"
            "after\n");
  EXPECT_TRUE(r.returned);
}

}  // namespace
}  // namespace rkv
