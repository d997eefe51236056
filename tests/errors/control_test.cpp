// Tests of SETERRATTR, GETERRATTR and GETERRTEXT: attributes as the initial
// state has them and as set, refusals that change nothing, and the text of
// the last report whether it was printed or is waiting.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "error_support.hpp"
#include "rkv/errors/control.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/stack.hpp"

namespace rkv {
namespace {

using errtest::fresh;

std::array<std::int32_t, 14> all_attributes() {
  std::array<std::int32_t, 14> a{};
  for (std::int32_t t = 1; t <= kErrorTypes; ++t) {
    GETERRATTR(t, a[static_cast<std::size_t>(t - 1)], a[static_cast<std::size_t>(t + 6)]);
  }
  return a;
}

TEST(ErrorAttributes, SettingAndReading) {
  struct Case {
    const char* what;
    std::int32_t type, print, stop;
    std::array<std::int32_t, 14> expected;  // print 1..7, then stop 1..7
  };
  const Case cases[] = {
      {"initial values", 1, kAttrKeep, kAttrKeep, {0, 0, 1, 1, 1, 1, 1, 0, 0, 0, 1, 1, 0, 1}},
      {"stops of all types off",
       kAllTypes,
       kAttrKeep,
       kAttrOff,
       {0, 0, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}},
      {"printing of FATAL off",
       kFatal,
       kAttrOff,
       kAttrKeep,
       {0, 0, 1, 0, 1, 1, 1, 0, 0, 0, 1, 1, 0, 1}},
      {"NOTE printed and stopping",
       kNote,
       kAttrOn,
       kAttrOn,
       {1, 0, 1, 1, 1, 1, 1, 1, 0, 0, 1, 1, 0, 1}},
  };
  for (const Case& c : cases) {
    fresh();
    SETERRATTR(c.type, c.print, c.stop);
    EXPECT_EQ(all_attributes(), c.expected) << c.what;
  }
}

TEST(ErrorAttributes, BadArgumentsAreRefusedAndChangeNothing) {
  struct Case {
    const char* what;
    std::function<void()> call;
    const char* routine;
    std::int32_t code;
    const char* text;
  };
  std::int32_t p = -9, q = -9;
  const Case cases[] = {
      {"type 8", [] { SETERRATTR(8, 1, 1); }, "SETERRATTR", 1,
       "The error type TYPE = 8.  It must be in the range 0 to 7."},
      {"type -1", [] { SETERRATTR(-1, 1, 1); }, "SETERRATTR", 1,
       "The error type TYPE = -1.  It must be in the range 0 to 7."},
      {"print 2", [] { SETERRATTR(3, 2, 1); }, "SETERRATTR", 2,
       "The attribute PRINT = 2.  It must be 1 (on), 0 (off) or -1 (unchanged)."},
      {"stop -2", [] { SETERRATTR(0, 1, -2); }, "SETERRATTR", 2,
       "The attribute STOP = -2.  It must be 1 (on), 0 (off) or -1 (unchanged)."},
      {"read type 0", [&] { GETERRATTR(0, p, q); }, "GETERRATTR", 1,
       "The error type TYPE = 0.  It must be in the range 1 to 7."},
      {"initial type 8", [] { SETINITATTR(8, 1, 1); }, "SETINITATTR", 1,
       "The error type TYPE = 8.  It must be in the range 0 to 7."},
      {"initial stop 3", [] { SETINITATTR(0, 1, 3); }, "SETINITATTR", 2,
       "The attribute STOP = 3.  It must be 1 (on), 0 (off) or -1 (unchanged)."},
      {"read initial type 8", [&] { GETINITATTR(8, p, q); }, "GETINITATTR", 1,
       "The error type TYPE = 8.  It must be in the range 1 to 7."},
  };
  for (const Case& c : cases) {
    ErrorState& s = fresh();
    // Printing and stopping of TERMINAL off, so the refusal returns.
    s.print_attr(kTerminal) = 0;
    s.stop_attr(kTerminal) = 0;
    const auto before = all_attributes();
    c.call();
    EXPECT_EQ(all_attributes(), before) << c.what;
    EXPECT_EQ(N1RTY(1), kTerminal) << c.what;
    EXPECT_EQ(s.level_code(2), c.code) << c.what;
    EXPECT_EQ(std::string(s.name_stack(2).data(), std::string(c.routine).size()), c.routine)
        << c.what;
    EXPECT_EQ(GETERRTEXT(), c.text) << c.what;
  }
  EXPECT_EQ(p, -9);
  EXPECT_EQ(q, -9);
  GETINITATTR(kFatal, p, q);  // the process-wide set as it was
  EXPECT_EQ(p, 1);
  EXPECT_EQ(q, 1);
}

TEST(ErrorAttributes, WithInitialAttributesARefusalPrintsAndStops) {
  const auto r = errtest::in_child([] { SETERRATTR(9, 0, 0); });
  EXPECT_FALSE(r.returned);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "\n *** TERMINAL ERROR 1 from SETERRATTR.  The error type TYPE = 9.  It must be\n"
            " ***          in the range 0 to 7.\n");
}

TEST(ErrorText, LastReportPrintedOrWaiting) {
  // In a child: the TERMINAL message is printed on the console.
  const auto r = errtest::in_child([] {
    const auto show = [] { std::printf("[%s]\n", std::string(GETERRTEXT()).c_str()); };
    show();
    E1PSH("SUB");
    E1MES(kTerminal, 1, "Printed at once.");
    show();
    E1MES(kNote, 2, "A note that waits.");  // NOTE is never printed
    show();
    E1MES(0, 0, "");  // discards the waiting message
    show();
    std::array<char, 10> cut{};
    std::array<char, 20> padded{};
    std::int32_t n1 = 0, n2 = 0;
    GETERRTEXT(cut, n1);
    GETERRTEXT(padded, n2);
    std::printf("[%.10s] %d [%.20s] %d\n", cut.data(), n1, padded.data(), n2);
  });
  EXPECT_TRUE(r.returned);
  EXPECT_EQ(r.out,
            "[]\n"
            "\n *** TERMINAL ERROR 1 from SUB.  Printed at once.\n"
            "[Printed at once.]\n"
            "[A note that waits.]\n"
            "[Printed at once.]\n"
            "[Printed at] 16 [Printed at once.    ] 16\n");
}

}  // namespace
}  // namespace rkv
