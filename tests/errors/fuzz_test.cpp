// Property test of posting and printing: thousands of random message texts
// and parameters (fixed seed) go through E1MES and E1PRINTM, printing to a
// file unit. For each, the record's counters stay within their arrays, no
// printed line is longer than its layout allows, and the printed text holds
// every character of the waiting message except blanks and "%/" marks.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <bit>
#include <cstdio>
#include <limits>
#include <random>
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

constexpr std::int32_t kUnit = 9;
constexpr int kCases = 3000;

// Drops blanks, then every "%/" pair (also pairs that meet once the inner
// ones are gone), so that a message and its printed form compare equal.
std::string normalised(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == ' ') continue;
    if (c == '/' && !out.empty() && out.back() == '%') {
      out.pop_back();
      continue;
    }
    out += c;
  }
  return out;
}

class Generator {
 public:
  explicit Generator(std::uint32_t seed) : rng_(seed) {}
  int upto(int n) { return std::uniform_int_distribution<int>(0, n)(rng_); }
  std::int32_t any_int() {
    switch (upto(5)) {
      case 0:
        return std::numeric_limits<std::int32_t>::min();
      case 1:
        return std::numeric_limits<std::int32_t>::max();
      default:
        return static_cast<std::int32_t>(rng_());
    }
  }
  std::int32_t index() {
    return upto(10) == 0 ? any_int() : static_cast<std::int32_t>(upto(24)) - 12;
  }
  std::string text(int max_len) {
    static const std::string alphabet = "%%%%(((()))))////    IIRRLLilrACDKSZ0123456789abcXYZ.,-*";
    std::string s(static_cast<std::size_t>(upto(max_len)), ' ');
    for (char& c : s) c = alphabet[static_cast<std::size_t>(upto(int(alphabet.size()) - 1))];
    // Now and then a well-formed placeholder or a long word.
    if (!s.empty() && upto(2) == 0) {
      const char letters[] = "ILRil";
      const std::string ph = std::string("%(") + letters[upto(4)] + char('1' + upto(8)) + ")";
      s.insert(static_cast<std::size_t>(upto(int(s.size()))), ph);
    }
    if (upto(8) == 0) s.insert(0, std::string(static_cast<std::size_t>(60 + upto(80)), 'w'));
    return s;
  }
  std::string name() {
    std::string s = text(40);
    for (char& c : s) c = c == ' ' ? 'b' : c;
    if (upto(3) == 0 && s.size() > 2) s[1] = ' ';
    return s;
  }

 private:
  std::mt19937 rng_;
};

std::string check_case(Generator& g, int n, const std::string& file) {
  rkv::detail::reset_error_state_for_testing();
  ErrorState& s = E1ERRSTATE();
  const int depth = 1 + g.upto(4);
  for (int d = 0; d < depth; ++d) {
    E1PSH(g.name());
    if (g.upto(2) == 0) E1USR("ON");
  }
  const int stores = g.upto(8);
  for (int k = 0; k < stores; ++k) {
    switch (g.upto(3)) {
      case 0:
        E1SETINT(g.index(), g.any_int());
        break;
      case 1:
        E1SETREAL(g.index(), std::bit_cast<float>(static_cast<std::uint32_t>(g.any_int())));
        break;
      case 2:
        E1SETSTR(g.index(), g.text(300));
        break;
      default: {
        const std::string t = g.text(80);
        const std::int32_t length = g.upto(3) == 0 ? g.any_int() : g.upto(120) - 20;
        E1PUTPARM(g.upto(1) ? "I" : "l", g.index(), length, t);
      }
    }
  }
  const std::int32_t type = 1 + g.upto(3);  // printed below, not at once
  const std::int32_t code = g.upto(4) == 0 ? g.any_int() : g.upto(20);
  const std::string text = g.text(g.upto(3) == 0 ? 1300 : 200);
  E1MES(type, code, text);

  const std::string where = "case " + std::to_string(n) + ": ";
  if (s.message_length < 0 || s.message_length > kMessageCapacity) return where + "length";
  if (s.param_fill != 1) return where + "parameters not used up";
  if (s.level != 1 + depth) return where + "level";
  const std::string waiting = errtest::message();
  const std::int32_t level = s.level;

  rkv::host::open_replace(kUnit, file);
  E1PRINTM();
  rkv::host::close(kUnit);
  if (s.message_length != 0 || s.param_fill != 1) return where + "not cleared";
  if (s.level != level) return where + "level changed by printing";

  const auto lines = errtest::split_lines(rkv::testing::read_file(file));
  if (waiting.empty()) return lines.empty() ? "" : where + "printed without a message";
  if (lines.size() < 2 || !lines[0].empty()) return where + "no empty first line";

  // Header: " *** " + 8-character type + " ERROR" + " <code> from <name>".
  const std::string& head = lines[1];
  if (head.size() > 5 + 8 + 6 + 59) return where + "header too long: " + head;
  const std::string from = " from ";
  const auto at = head.find(from, 19);
  if (head.compare(0, 5, " *** ") != 0 || at == std::string::npos) return where + "header";
  const auto& top = s.name_stack(level);
  std::string name;
  for (char c : top) {
    if (c == ' ') break;
    name += c;
  }
  if (name.size() >= 2 && name[0] >= 'a' && name[0] <= 'z' && name[1] >= 'A' && name[1] <= 'Z') {
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
  }
  const std::size_t text_at = at + from.size() + name.size();
  if (head.compare(at + from.size(), name.size(), name) != 0) return where + "header name";
  std::string joined = head.substr(text_at);

  std::size_t i = 2;
  for (; i < lines.size() && lines[i].compare(0, 5, " *** ") == 0; ++i) {
    const std::string& l = lines[i];
    if (l.size() > 14 + 64) return where + "continuation too long: " + l;
    if (l.size() < 14 ? l.find_first_not_of(' ', 5) != std::string::npos
                      : l.compare(5, 9, std::string(9, ' ')) != 0) {
      return where + "continuation indent: " + l;
    }
    if (l.size() > 14) joined += l.substr(14);
  }
  // Anything after the message is the traceback: a heading and one row per
  // level, only for errors two or more calls below the user's program.
  const std::size_t rest = lines.size() - i;
  if (rest != (level >= 3 ? 3 + static_cast<std::size_t>(level) : 0)) {
    return where + "traceback rows";
  }
  for (; i < lines.size(); ++i) {
    if (lines[i].size() > 80 || lines[i].compare(0, 5, "     ") != 0) return where + "traceback";
  }
  if (normalised(joined) != normalised(waiting)) {
    return where + "text lost:\n  waiting: " + waiting + "\n  printed: " + joined;
  }
  return "";
}

TEST(PrintProperty, RandomMessagesAreWrappedWithoutLoss) {
  char dir_template[] = "/tmp/rkv-errfuzz-XXXXXX";
  const char* dir = mkdtemp(dir_template);
  ASSERT_NE(dir, nullptr);
  const std::string file = std::string(dir) + "/report.txt";
  const auto r = rkv::testing::run_in_child([&] {
    const std::int32_t replace = -3;
    std::int32_t unit = kUnit;
    UMACH(replace, unit);
    Generator g(20240611u);
    int failures = 0;
    for (int n = 0; n < kCases && failures < 10; ++n) {
      const std::string why = check_case(g, n, file);
      if (!why.empty()) {
        std::fprintf(stderr, "%s\n", why.c_str());
        ++failures;
      }
    }
  });
  std::remove(file.c_str());
  rmdir(dir);
  EXPECT_TRUE(r.returned) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "");
}

}  // namespace
}  // namespace rkv
