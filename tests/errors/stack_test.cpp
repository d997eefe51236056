// Tests of the routine-name stack: pushes, pops, the hand-down of recorded
// errors, printing and stopping at a pop that returns to user code, the
// three misuse reports and the immediate-error stop check.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "error_support.hpp"
#include "rkv/errors/call_scope.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/host/units.hpp"

namespace rkv {
namespace {

using errtest::fresh;
using errtest::in_child;

// Writes a marker on the console in order with the library's own records.
void mark(const std::string& s) {
  rkv::host::write_record(rkv::host::kStdoutUnit, s);
}

// "R<i>". Built by appending: g++ 12 at -O3 gives a false -Wrestrict warning
// for "R" + std::to_string(i).
std::string routine(int i) {
  std::string name = "R";
  name += std::to_string(i);
  return name;
}

std::string name_at(std::int32_t level) {
  const auto& n = E1ERRSTATE().name_stack(level);
  return std::string(n.data(), n.size());
}

TEST(ErrorState, InitialRecord) {
  ErrorState& s = fresh();
  EXPECT_EQ(s.level, 1);
  EXPECT_EQ(s.max_level, 50);
  EXPECT_EQ(name_at(1), "USER" + std::string(28, ' '));
  EXPECT_EQ(s.level_type(1), 0);
  EXPECT_EQ(s.level_code(1), 0);
  EXPECT_EQ(s.level_type(51), -1);
  EXPECT_EQ(s.level_code(2), -1);
  EXPECT_EQ(s.user_level(1), -1);
  EXPECT_EQ(s.user_level(2), 0);
  EXPECT_EQ(s.param_fill, 1);
  EXPECT_EQ(s.message_length, 0);
  const std::int32_t print[] = {0, 0, 1, 1, 1, 1, 1};
  const std::int32_t stop[] = {0, 0, 0, 1, 1, 0, 1};
  for (std::int32_t t = 1; t <= 7; ++t) {
    EXPECT_EQ(s.print_attr(t), print[t - 1]) << t;
    EXPECT_EQ(s.stop_attr(t), stop[t - 1]) << t;
    EXPECT_EQ(s.traceback_attr(t), 1) << t;
  }
}

TEST(ErrorState, FirstUseOfAnyOperationInitialises) {
  // A fresh process, whose first call is a query or a post.
  const auto r = rkv::testing::run_in_child([] {
    const std::int32_t zero = 0;
    if (N1RTY(zero) != 0 || E1ERRSTATE().level != 1) mark("not initialised");
    E1MES(kWarning, 1, "x");
    if (E1ERRSTATE().level_type(1) != kWarning) mark("not recorded");
  });
  EXPECT_TRUE(r.returned);
  EXPECT_EQ(r.out, "");
}

TEST(NameStack, FortyNineNestedPushesFitAndUnwind) {
  ErrorState& s = fresh();
  for (int i = 2; i <= 50; ++i) E1PSH(routine(i));
  EXPECT_EQ(s.level, 50);
  EXPECT_EQ(name_at(50).substr(0, 4), "R50 ");
  EXPECT_EQ(N1RTY(1), -1);  // slot 51 exists and is unused
  for (int i = 50; i >= 2; --i) E1POP(routine(i));
  EXPECT_EQ(s.level, 1);
}

TEST(NameStack, FiftiethNestedPushReportsOverflowAndStops) {
  const auto r = in_child([] {
    for (int i = 2; i <= 50; ++i) E1PSH(routine(i));
    E1PSH("R51");
    mark("continued");
  });
  std::string expected =
      "\n"
      " *** TERMINAL ERROR 1 from R50.  Error condition in E1PSH.  Push would cause\n"
      " ***          stack level to exceed 50. \n"
      "     Here is a traceback of subprogram calls in reverse order:\n"
      "     Routine name                    Error type  Error code\n"
      "     ------------                    ----------  ----------\n";
  expected += "     R50                                  5           1    (Called internally)\n";
  for (int i = 49; i >= 3; --i) {
    std::string name = routine(i);
    name.resize(32, ' ');
    expected += "     " + name + "     0           0    (Called internally)\n";
  }
  // R2 was called by the user's program.
  expected += "     R2                                   0           0\n";
  expected += "     USER                                 0           0\n";
  EXPECT_EQ(r.out, expected);
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(r.returned);
}

TEST(NameStack, PopOnEmptyStackReportsAndStops) {
  const auto r = in_child([] {
    E1POP("IVPRK");
    mark("continued");
  });
  EXPECT_EQ(r.out,
            "\n"
            " *** TERMINAL ERROR 1 from E1POP.  Error condition in E1POP.  Cannot pop from\n"
            " ***          IVPRK because stack is empty.\n");
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(r.returned);
}

TEST(NameStack, NameMatching) {
  const std::string forty = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789WXYZ";
  struct Case {
    std::string pushed, popped;
    bool matches;
  };
  const Case cases[] = {
      {"IVPRK", "IVPRK", true},
      {"IVPRK", "IVPRK   ", true},  // trailing blanks do not matter
      {"IVPRK   ", "IVPRK", true},
      {"IVPRK", "ivprk", false},  // case matters
      {"IVPRK", "IVPR", false},
      {"IVPRK", " IVPRK", false},
      {forty, forty, false},  // pushed as its first 32 characters
      {forty, forty.substr(0, 32) + std::string(8, ' '), true},
      {forty, forty.substr(0, 32), true},
  };
  for (const auto& c : cases) {
    const auto r = in_child([&] {
      E1PSH(c.pushed);
      E1POP(c.popped);
      if (E1ERRSTATE().level != 1) mark("not popped");
    });
    EXPECT_TRUE(r.exited) << c.pushed << "|" << c.popped;
    EXPECT_EQ(r.status, c.matches ? rkv::testing::kBodyReturned : 0) << c.pushed << "|" << c.popped;
    if (c.matches) {
      EXPECT_EQ(r.out, "");
    } else {
      EXPECT_NE(r.out.find(" *** TERMINAL ERROR 2 from "), std::string::npos) << r.out;
      EXPECT_NE(r.out.find("match the name"), std::string::npos) << r.out;
    }
  }
}

TEST(NameStack, MismatchReportLeavesStackAndNamesBoth) {
  const auto r = in_child([] {
    E1PSH("IVPRK");
    E1POP("ivprk");
  });
  EXPECT_EQ(r.out,
            "\n"
            " *** TERMINAL ERROR 2 from IVPRK.  Error condition in E1POP.  ivprk does not\n"
            " ***          match the name IVPRK in the stack.\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(r.returned);
}

TEST(HandDown, FatalTravelsTwoLevelsAndStopsAtTheOuterPop) {
  const auto r = in_child([] {
    E1PSH("IVPRK");
    E1PSH("I2PRK");
    E1MES(kFatal, 3, "Limit reached.");
    E1POP("I2PRK");
    mark("inner popped, type " + std::to_string(N1RTY(0)));
    E1POP("IVPRK");
    mark("continued");
  });
  EXPECT_EQ(r.out,
            "inner popped, type 4\n"
            "\n"
            " *** FATAL    ERROR 3 from IVPRK.  Limit reached.\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(r.returned);
}

TEST(HandDown, WarningIsPrintedAndTheRunContinues) {
  const auto r = in_child([] {
    E1PSH("I2PRK");
    E1MES(kWarning, 7, "Step failed");
    E1POP("I2PRK");
    mark("continued, user type " + std::to_string(N1RTY(0)));
  });
  EXPECT_EQ(r.out,
            "\n"
            " *** WARNING  ERROR 7 from I2PRK.  Step failed\n"
            "continued, user type 3\n");
  EXPECT_TRUE(r.returned);
}

TEST(HandDown, WhatEachTypeLeavesAtTheCallerAndWhetherItPrintsOrStops) {
  // Posted in a routine called by another library routine, which was called
  // by the user's program.
  struct Case {
    std::int32_t type;
    std::int32_t caller_type;  // after the inner pop
    bool printed_at_inner;     // by the time the inner pop returns
    bool stops_at_inner;
    bool printed_at_outer;
    bool stops_at_outer;
  };
  const Case cases[] = {
      {kNote, 0, false, false, false, false},
      {kAlert, 2, false, false, false, false},
      {kWarning, 3, false, false, true, false},
      {kFatal, 4, false, false, true, true},
      {kTerminal, 5, true, true, true, true},
      {kWarningImmediate, 6, true, false, true, false},
      {kFatalImmediate, 7, true, false, true, true},
  };
  for (const auto& c : cases) {
    const auto r = in_child([&] {
      E1PSH("OUTER");
      E1PSH("INNER");
      E1MES(c.type, 9, "Posted.");
      E1POP("INNER");
      mark("inner " + std::to_string(N1RTY(0)));
      E1POP("OUTER");
      mark("outer");
    });
    // Immediate types print when posted, under the posting routine's name;
    // the others at the outer pop, under the name being popped.
    const std::string printed =
        c.type >= kTerminal ? " ERROR 9 from INNER.  Posted.\n" : " ERROR 9 from OUTER.  Posted.\n";
    const auto at_inner = r.out.find("inner ");
    const auto at_print = r.out.find(printed);
    SCOPED_TRACE(c.type);
    if (c.stops_at_inner) {
      EXPECT_EQ(at_inner, std::string::npos);
    } else {
      ASSERT_NE(at_inner, std::string::npos) << r.out;
      EXPECT_NE(r.out.find("inner " + std::to_string(c.caller_type) + "\n"), std::string::npos);
    }
    EXPECT_EQ(at_print != std::string::npos && at_print < at_inner, c.printed_at_inner) << r.out;
    // At the outer pop the message is printed once, wherever it appeared.
    EXPECT_EQ(at_print != std::string::npos, c.printed_at_outer) << r.out;
    if (at_print != std::string::npos) {
      EXPECT_EQ(r.out.find(printed, at_print + 1), std::string::npos) << "printed twice";
    }
    EXPECT_EQ(r.out.find("outer") == std::string::npos, c.stops_at_outer) << r.out;
    EXPECT_EQ(r.status, c.stops_at_outer ? 0 : rkv::testing::kBodyReturned);
  }
}

TEST(HandDown, HandedDownTypeOverwritesTheCallersOwn) {
  fresh();
  E1PSH("OUTER");
  E1MES(kAlert, 5, "own");
  E1PSH("INNER");
  E1MES(kAlert, 8, "inner");
  E1POP("INNER");
  EXPECT_EQ(N1RTY(0), kAlert);
  EXPECT_EQ(E1ERRSTATE().level_code(2), 8);
  E1POP("OUTER");
}

TEST(HandDown, CalleeSlotSemanticsOfN1rty) {
  ErrorState& s = fresh();
  E1PSH("A");
  EXPECT_EQ(N1RTY(1), -1);  // nothing pushed from here yet
  E1PSH("B");
  E1MES(kNote, 2, "note");
  E1POP("B");
  EXPECT_EQ(N1RTY(1), kNote);  // a NOTE shows in the callee slot only
  EXPECT_EQ(N1RTY(0), 0);
  E1PSH("C");
  EXPECT_EQ(s.level_type(2), 0);  // B's slot reused by C
  E1POP("C");
  EXPECT_EQ(N1RTY(1), 0);
  E1POP("A");
  EXPECT_EQ(N1RTY(1), 0);  // A's slot, still queryable
  EXPECT_EQ(s.level_type(3), -1);
  EXPECT_EQ(s.level_code(3), -1);
}

TEST(Immediate, PendingFlagsAreConsumedOnlyAtAPopToUserCode) {
  ErrorState& s = fresh();
  E1PSH("OUTER");
  E1PSH("INNER");
  s.pending_fatal = 1;
  s.pending_warning = 1;
  E1MES(kAlert, 1, "alert");
  E1POP("INNER");  // type 2: no stop check at all
  EXPECT_EQ(s.pending_fatal, 1);
  s.level_type(s.level) = 0;
  s.message_length = 0;
  E1PSH("INNER");
  s.level_type(s.level) = kWarningImmediate;  // as posted and already printed
  E1POP("INNER");                             // caller is OUTER, not user code
  EXPECT_EQ(s.pending_fatal, 1);
  EXPECT_EQ(s.pending_warning, 1);
  s.pending_fatal = 0;
  s.level_type(s.level) = kWarningImmediate;
  E1POP("OUTER");  // to user code: the check runs, a warning does not stop
  EXPECT_EQ(s.pending_warning, 0);
}

TEST(Immediate, StopCheck) {
  struct Case {
    std::int32_t warning, fatal, result;
  };
  const Case cases[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 1}, {1, 1, 1}};
  for (const auto& c : cases) {
    ErrorState& s = fresh();
    s.pending_warning = c.warning;
    s.pending_fatal = c.fatal;
    EXPECT_EQ(E1PENDSTOP(), c.result);
    EXPECT_EQ(s.pending_warning, 0);
    EXPECT_EQ(s.pending_fatal, 0);
  }
}

TEST(Unwinding, AnExceptionThroughCallScopesLeavesTheCallersLevel) {
  ErrorState& s = fresh();
  struct Thrown {};
  for (int k = 0; k < 100; ++k) {  // more than the stack holds
    try {
      const CallScope outer;
      E1PSH("OUTER");
      E1USR("ON");  // user code called from OUTER ...
      const CallScope inner;
      E1PSH("INNER");
      E1MES(kFatal, 3, "Posted before the throw.");
      E1USR("ON");
      throw Thrown{};  // ... throws through both
    } catch (const Thrown&) {
    }
  }
  EXPECT_EQ(s.level, 1);
  for (std::int32_t l = 2; l <= 4; ++l) EXPECT_EQ(s.user_level(l), 0) << l;
  EXPECT_EQ(s.level_type(3), -1);
  EXPECT_EQ(s.level_code(3), -1);
  // Reports go on as from a fresh stack: no stale traceback lines.
  E1PSH("AFTER");
  EXPECT_EQ(s.level, 2);
  E1POP("AFTER");
}

TEST(Unwinding, CallScopeOutcomeIsTheMostSeriousTypePosted) {
  struct Case {
    std::vector<std::int32_t> posted;
    std::int32_t outcome;
  };
  const Case cases[] = {{{}, 0},
                        {{kNote}, 1},
                        {{kWarning, kAlert}, 3},
                        {{kFatalImmediate}, 4},
                        {{kWarningImmediate}, 3},
                        {{kAlert, kTerminal, kNote}, 5}};
  for (const Case& c : cases) {
    ErrorState& s = fresh();
    for (std::int32_t t = 1; t <= kErrorTypes; ++t) s.print_attr(t) = s.stop_attr(t) = 0;
    const CallScope outer;
    E1MES(kFatal, 1, "Before the inner call: not its outcome.");
    {
      const CallScope inner;
      E1PSH("LIB");
      for (std::int32_t t : c.posted) E1MES(t, 1, "Posted.");
      EXPECT_EQ(inner.outcome(), c.outcome);
      E1POP("LIB");
    }
    EXPECT_EQ(outer.outcome(), std::max(c.outcome, kFatal));
  }
}

}  // namespace
}  // namespace rkv
