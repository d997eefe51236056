// The trajectory program's run, end to end, in a forked child: the console
// output, the file and the exit status, byte for byte.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/child.hpp"
#include "trajectory.hpp"

namespace rkv::app {
namespace {

// A fresh working directory for one run, removed when the test ends.
struct FreshDir {
  std::string path;
  FreshDir() {
    char tmpl[] = "/tmp/rkv-traj-XXXXXX";
    const char* d = mkdtemp(tmpl);
    if (d == nullptr) std::abort();
    path = d;
  }
  ~FreshDir() { std::filesystem::remove_all(path); }
  FreshDir(const FreshDir&) = delete;
  FreshDir& operator=(const FreshDir&) = delete;
};

std::vector<std::string> split(const std::string& s, const std::string& sep) {
  std::vector<std::string> out;
  std::size_t at = 0;
  for (;;) {
    const std::size_t next = s.find(sep, at);
    if (next == std::string::npos) {
      if (at < s.size()) out.push_back(s.substr(at));
      return out;
    }
    out.push_back(s.substr(at, next - at));
    at = next + sep.size();
  }
}

const char* const kFirstFive[] = {"  0.00'   10.000'", "  0.10'    9.902'", "  0.20'    9.805'",
                                  "  0.30'    9.707'", "  0.40'    9.609'"};

TEST(TrajectoryRun, StopsAtTheStepLimitInTheFifthInterval) {
  const FreshDir fresh;
  const std::string& dir = fresh.path;
  std::string want_file;
  std::string want_console;
  for (const char* rec : kFirstFive) {
    want_file += std::string(rec) + "\r\n";
    want_console += std::string(rec) + "\n";
  }
  want_console +=
      "\n"
      " *** FATAL    ERROR 3 from IVPRK.  Maximum number of steps allowed, 500,\n"
      " ***          used.  The problem may be stiff.\n";
  // Run twice: the second run replaces the file.
  for (int i = 0; i < 2; ++i) {
    const testing::ChildResult r = testing::run_in_child([] { run(); }, dir);
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, want_console);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(testing::read_file(dir + "/traject.txt"), want_file);
  }
}

TEST(TrajectoryRun, WithoutStepLimitFollowsTheTurningPointToTheHighLimit) {
  const FreshDir fresh;
  const std::string& dir = fresh.path;
  const testing::ChildResult r = testing::run_in_child([] { run(0.5f); }, dir);
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");

  const std::vector<std::string> file = split(testing::read_file(dir + "/traject.txt"), "\r\n");
  ASSERT_EQ(file.size(), 133u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(file[static_cast<std::size_t>(i)], kFirstFive[i]);
  EXPECT_EQ(file.back(), " 13.20'   10.196'");
  // y falls to its lowest record at x = 6.50, then rises.
  std::size_t lowest = 0;
  for (std::size_t i = 0; i < file.size(); ++i) {
    if (std::stod(file[i].substr(8, 8)) < std::stod(file[lowest].substr(8, 8))) lowest = i;
  }
  EXPECT_EQ(file[lowest], "  6.50'    1.283'");

  // The console has the same records, then the summary.
  const std::vector<std::string> console = split(r.out, "\n");
  ASSERT_EQ(console.size(), 133u + 4u);
  for (std::size_t i = 0; i < file.size(); ++i) EXPECT_EQ(console[i], file[i]);
  EXPECT_EQ(console[133], "");
  EXPECT_EQ(console[134].substr(0, 29), " Successful steps:           ");
  EXPECT_EQ(console[134].size(), 32u);
  EXPECT_EQ(console[135].substr(0, 29), " Bad steps:                  ");
  EXPECT_EQ(console[135].size(), 32u);
  EXPECT_EQ(console[136], " NORMAL COMPLETION");
}

}  // namespace
}  // namespace rkv::app
