// Several threads at once: each has its own error state, and reports that
// threads print on one unit at the same moment never interleave.
#include <gtest/gtest.h>

#include <algorithm>
#include <barrier>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "error_support.hpp"
#include "rkv/errors/control.hpp"
#include "rkv/errors/params.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/host/units.hpp"
#include "rkv/machine/units.hpp"

namespace rkv {
namespace {

constexpr int kThreads = 4;

TEST(Threads, ErrorStatesAreIndependent) {
  ErrorState& main_state = errtest::fresh();
  std::barrier sync(kThreads);
  std::vector<std::string> faults(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::string& fault = faults[static_cast<std::size_t>(t)];
      // Built by appending: g++ 12 at -O3 warns falsely (-Wrestrict) on
      // a literal + std::to_string.
      std::string name = "T";
      name += std::to_string(t);
      const std::int32_t code = t + 1;
      sync.arrive_and_wait();
      for (int depth = 0; depth <= t; ++depth) E1PSH(name);
      if (t % 2 == 1) SETERRATTR(kFatal, kAttrOff, kAttrOff);
      E1SETINT(1, code);
      E1MES(kNote, code, "note %(I1)");
      sync.arrive_and_wait();  // every thread has posted
      const ErrorState& s = E1ERRSTATE();
      std::int32_t print = -1, stop = -1;
      GETERRATTR(kFatal, print, stop);
      if (s.level != t + 2) fault += " level";
      if (GETERRTEXT() != "note " + std::to_string(code)) fault += " text";
      if (s.level_code(s.level) != code) fault += " code";
      if (std::string(s.name_stack(s.level).data(), name.size()) != name) fault += " name";
      if (print != (t % 2 == 1 ? 0 : 1) || stop != print) fault += " attributes";
      sync.arrive_and_wait();
      for (int depth = 0; depth <= t; ++depth) E1POP(name);
      if (E1ERRSTATE().level != 1) fault += " pop";
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(faults[static_cast<std::size_t>(t)], "") << t;
  // This thread's state saw none of it.
  EXPECT_EQ(main_state.level, 1);
  EXPECT_EQ(main_state.message_length, 0);
  EXPECT_EQ(main_state.stop_attr(kFatal), 1);
}

// The reports of one file, each from its leading empty line to the next.
std::vector<std::string> reports_of(const std::string& file) {
  std::vector<std::string> reports;
  for (const std::string& line : errtest::split_lines(file)) {
    if (line.empty()) reports.emplace_back();
    if (reports.empty()) return {"text before the first report"};
    reports.back() += line + "\n";
  }
  std::sort(reports.begin(), reports.end());
  return reports;
}

TEST(Threads, ConcurrentReportsOnOneUnitNeverInterleave) {
  constexpr int kReports = 200;
  // A WARNING from a routine called by the user is printed at its pop: a
  // header and two continuation lines.
  const auto report = [](std::int32_t t, std::int32_t k) {
    std::string text = "Thread %(I1), report %(I2):";
    for (int w = 0; w < 24; ++w) text += " %(I1)-%(I2)";
    E1PSH("WORKER");
    E1SETINT(1, t);
    E1SETINT(2, k);
    E1MES(kWarning, 7, text);
    E1POP("WORKER");
  };
  char dir[] = "/tmp/rkv-threads-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const auto r = testing::run_in_child(
      [&] {
        const std::int32_t expected_unit = 8, shared_unit = 9, replace = -3;
        host::open_replace(expected_unit, "expected.txt");
        host::open_replace(shared_unit, "reports.txt");
        std::int32_t unit = expected_unit;
        UMACH(replace, unit);
        for (int t = 0; t < kThreads; ++t) {
          for (int k = 0; k < kReports; ++k) report(t, k);
        }
        unit = shared_unit;
        UMACH(replace, unit);
        std::barrier start(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
          threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int k = 0; k < kReports; ++k) report(t, k);
          });
        }
        for (auto& th : threads) th.join();
      },
      dir);
  EXPECT_TRUE(r.returned);
  const auto expected = reports_of(testing::read_file(std::string(dir) + "/expected.txt"));
  const auto got = reports_of(testing::read_file(std::string(dir) + "/reports.txt"));
  EXPECT_EQ(expected.size(), static_cast<std::size_t>(kThreads * kReports));
  EXPECT_EQ(std::count(expected.front().begin(), expected.front().end(), '\n'), 4);
  EXPECT_TRUE(got == expected);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace rkv
