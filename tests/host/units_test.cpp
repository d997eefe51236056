// Record units, the orderly stop and input/output failures. Every case runs
// in a forked child inside a fresh directory: the unit table is process-wide
// and a stop or a failure ends the process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "rkv/host/record.hpp"
#include "rkv/host/stop.hpp"
#include "rkv/host/units.hpp"
#include "support/child.hpp"

namespace {

namespace fs = std::filesystem;
namespace host = rkv::host;
using rkv::testing::read_file;
using rkv::testing::run_in_child;

class UnitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/rkv-host-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const std::string& file) const { return dir_ + "/" + file; }
  rkv::testing::ChildResult run(const std::function<void()>& body) {
    return run_in_child(body, dir_);
  }
  static std::string failure(const std::string& what) {
    return std::string(program_invocation_short_name) + ": " + what + "\n";
  }

  std::string dir_;
};

TEST_F(UnitsTest, FileRecordsEndInCrLfConsoleInLf) {
  const auto r = run([] {
    host::open_replace(4, "traject.txt");
    host::write_record(4, "  0.00'   10.000'");
    host::write_record(6, "  0.00'   10.000'");
    host::write_record(4, "");
    host::write_line(6, "NORMAL COMPLETION");
    host::write_record(0, "on stderr");
  });
  EXPECT_TRUE(r.returned);
  EXPECT_EQ(read_file(path("traject.txt")), "  0.00'   10.000'\r\n\r\n");
  EXPECT_EQ(r.out, "  0.00'   10.000'\n NORMAL COMPLETION\n");
  EXPECT_EQ(r.err, "on stderr\n");
}

TEST_F(UnitsTest, ConsoleInterleavesWithStdio) {
  const auto r = run([] {
    std::printf("a\n");
    host::write_record(6, "b");
    std::fputs("c\n", stdout);
    host::Record().slash().text(" x").write(6);
  });
  EXPECT_EQ(r.out, "a\nb\nc\n\n x\n");
}

TEST_F(UnitsTest, ReplaceTruncatesAndNamesAreTrimmed) {
  {
    std::FILE* f = std::fopen(path("traject.txt").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("an older and much longer content\n", f);
    std::fclose(f);
  }
  const auto r = run([] {
    host::open_replace(4, "traject.txt   ");  // blank-padded fixed-length name
    host::write_record(4, "N");
  });
  EXPECT_TRUE(r.returned);
  EXPECT_EQ(read_file(path("traject.txt")), "N\r\n");
}

TEST_F(UnitsTest, UnopenedUnitsFallBackToNumberedFiles) {
  const auto r = run([] {
    host::write_record(9, "nine");
    host::open_replace(4, "first.txt");
    host::write_record(4, "1");
    host::open_replace(4, "second.txt");  // closes first.txt
    host::write_record(4, "2");
    host::close(4);
    host::write_record(4, "after close");
  });
  EXPECT_TRUE(r.returned);
  EXPECT_EQ(read_file(path("fort.9")), "nine\r\n");
  EXPECT_EQ(read_file(path("first.txt")), "1\r\n");
  EXPECT_EQ(read_file(path("second.txt")), "2\r\n");
  EXPECT_EQ(read_file(path("fort.4")), "after close\r\n");
}

TEST_F(UnitsTest, StopClosesUnitsAndExitsZeroWithoutText) {
  const auto r = run([] {
    host::open_replace(4, "traject.txt");
    host::write_record(4, "rec");
    host::write_record(6, "rec");
    host::write_record(11, "eleven");
    host::stop();
  });
  EXPECT_TRUE(r.exited);
  EXPECT_FALSE(r.returned);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "rec\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_file(path("traject.txt")), "rec\r\n");
  EXPECT_EQ(read_file(path("fort.11")), "eleven\r\n");
}

TEST_F(UnitsTest, StopHookRunsAfterUnitsAreClosed) {
  // The hook sees the file complete; if it returns, the run still ends with 0.
  const auto ended = run([] {
    host::set_stop_hook([] {
      std::fprintf(stderr, "%s", read_file("traject.txt") == "r\r\n" ? "closed" : "open");
      _exit(42);
    });
    host::open_replace(4, "traject.txt");
    host::write_record(4, "r");
    host::stop();
  });
  EXPECT_EQ(ended.status, 42);
  EXPECT_EQ(ended.err, "closed");
  const auto returned = run([] {
    host::set_stop_hook([] { std::fprintf(stderr, "hook"); });
    host::stop();
  });
  EXPECT_TRUE(returned.exited);
  EXPECT_EQ(returned.status, 0);
  EXPECT_EQ(returned.err, "hook");
}

TEST_F(UnitsTest, IoFailuresReportOneLineAndExitTwo) {
  ASSERT_EQ(mkdir(path("adir").c_str(), 0755), 0);
  struct Case {
    const char* label;
    std::function<void()> body;
    std::string err;
  };
  const Case cases[] = {
      {"directory", [] { host::open_replace(4, "adir"); },
       failure("cannot open 'adir' for writing: Is a directory")},
      {"missing directory", [] { host::open_replace(4, "no/such.txt"); },
       failure("cannot open 'no/such.txt' for writing: No such file or directory")},
      {"fallback into a directory",
       [] {
         ::mkdir("fort.8", 0755);
         host::write_record(8, "x");
       },
       failure("cannot open 'fort.8' for writing: Is a directory")},
      {"standard input", [] { host::write_record(5, "x"); },
       failure("cannot write unit 5: it is standard input, which is read-only")},
      {"negative unit", [] { host::write_line(-3, "x"); },
       failure("cannot write unit -3: a unit number must not be negative")},
      {"negative open", [] { host::open_replace(-1, "x.txt"); },
       failure("cannot open unit -1: a unit number must not be negative")},
      {"empty name", [] { host::open_replace(4, "   "); },
       failure("cannot open unit 4: invalid file name ''")},
      {"full device",
       [] {
         host::open_replace(4, "/dev/full");
         host::write_record(4, "x");
       },
       failure("cannot write '/dev/full': No space left on device")},
  };
  for (const auto& c : cases) {
    const auto r = run(c.body);
    EXPECT_TRUE(r.exited) << c.label;
    EXPECT_EQ(r.status, host::kIoFailureStatus) << c.label;
    EXPECT_EQ(r.err, c.err) << c.label;
  }
}

TEST_F(UnitsTest, FailedWriteKeepsEarlierRecords) {
  const auto r = run([] {
    host::open_replace(4, "traject.txt");
    host::write_record(4, "kept");
    host::write_record(6, "shown");
    host::open_replace(7, "/dev/full");
    host::write_record(7, "lost");
    host::write_record(4, "never");
  });
  EXPECT_EQ(r.status, host::kIoFailureStatus);
  EXPECT_EQ(r.out, "shown\n");
  EXPECT_EQ(read_file(path("traject.txt")), "kept\r\n");
}

TEST_F(UnitsTest, FailedConsoleFlushAtStopIsNotSuccess) {
  const auto r = run([] {
    const int fd = ::open("/dev/full", O_WRONLY);
    if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) _exit(3);
    host::write_record(6, "buffered");
    host::stop();
  });
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, host::kIoFailureStatus);
  EXPECT_EQ(r.err, failure("cannot write standard output: No space left on device"));
}

// A program started with standard output or error closed got its data file
// as descriptor 1 or 2: console records and failure reports landed in it.
TEST_F(UnitsTest, ClosedStandardStreamLetConsoleOutputIntoTheDataFile) {
  for (const int closed : {STDOUT_FILENO, STDERR_FILENO}) {
    const auto r = run([closed] {
      ::close(closed);
      host::open_replace(4, "traject.txt");
      host::write_record(4, "record");
      // More than stdio buffers, so that it is really written.
      for (int k = 0; k < 2000; ++k) host::write_record(6, "console record");
      host::write_record(5, "x");  // an input/output failure, reported on stderr
    });
    EXPECT_EQ(r.status, host::kIoFailureStatus) << closed;
    EXPECT_EQ(read_file(path("traject.txt")), "record\r\n") << closed;
  }
}

}  // namespace
