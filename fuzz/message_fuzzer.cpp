// Fuzz target: message expansion and printing.
//
// Each input pushes a random stack of routine names, stores random message
// parameters, posts one message with E1MES (types -2..8, any code, a text
// rich in placeholders and "%/" marks), prints it and pops the stack again.
// Checked properties:
//  - the waiting message never exceeds 1024 characters and begins ".  ";
//  - a text without "%" is taken verbatim (cut at 1024);
//  - posting leaves the name stack and the attribute tables alone;
//  - every printed line fits the layouts (at most 78 characters);
//  - the printed message text, joined from the first line and the
//    continuation lines, is the waiting message less some blanks and some
//    "%/" marks, and nothing else.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver.hpp"
#include "rkv/errors/params.hpp"
#include "rkv/errors/post.hpp"
#include "rkv/errors/print.hpp"
#include "rkv/errors/stack.hpp"
#include "rkv/errors/state.hpp"

namespace {

using rkv::fuzz::check;

constexpr std::size_t kMaxLine = 78;
constexpr std::string_view kContinuation = " ***          ";  // text starts in column 15
constexpr std::string_view kIllegalType = ".  Error from E1MES.  Illegal error type specified.";
constexpr std::array<std::string_view, 8> kTypeNames = {
    "NOTE    ", "ALERT   ", "WARNING ", "FATAL   ", "TERMINAL", "WARNING ", "FATAL   ", "UNKNOWN "};

std::string mapped(const std::string& raw) {
  std::string s(raw.size(), ' ');
  std::transform(raw.begin(), raw.end(), s.begin(),
                 [](char c) { return rkv::fuzz::message_char(static_cast<std::uint8_t>(c)); });
  return s;
}

std::string name_for(FuzzedDataProvider& in) {
  static constexpr std::array<std::string_view, 6> kNames = {
      "IVPRK ", "I2PRK ", "aMACH", "e1Pop", " LEADING", "A_NAME_OF_EXACTLY_THIRTY_TWO_CH"};
  if (in.ConsumeBool()) return std::string(kNames[in.ConsumeIntegralInRange<std::size_t>(0, 5)]);
  return mapped(in.ConsumeRandomLengthString(40));
}

void store_parameters(FuzzedDataProvider& in) {
  const int count = in.ConsumeIntegralInRange(0, 10);
  for (int k = 0; k < count && in.remaining_bytes() > 0; ++k) {
    const std::int32_t index = in.ConsumeIntegralInRange<std::int32_t>(-10, 10);
    switch (in.ConsumeIntegralInRange(0, 2)) {
      case 0:
        rkv::E1SETINT(index, in.ConsumeIntegral<std::int32_t>());
        break;
      case 1:
        rkv::E1SETREAL(index, std::bit_cast<float>(in.ConsumeIntegral<std::uint32_t>()));
        break;
      default: {
        const std::string text = mapped(in.ConsumeRandomLengthString(300));
        rkv::E1SETSTR(index, text);
        break;
      }
    }
  }
}

// True when `out` is `msg` with some blanks and some "%/" marks removed.
bool is_reduction(std::string_view msg, std::string_view out) {
  const std::size_t n = msg.size();
  const std::size_t m = out.size();
  if (m > n) return false;
  // ok[i][j]: msg(i+1..n) can be reduced to out(j+1..m).
  std::vector<std::vector<char>> ok(n + 1, std::vector<char>(m + 1, 0));
  ok[n][m] = 1;
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t j = m + 1; j-- > 0;) {
      bool v = false;
      if (j < m && msg[i] == out[j]) v = ok[i + 1][j + 1] != 0;
      if (!v && msg[i] == ' ') v = ok[i + 1][j] != 0;
      if (!v && msg[i] == '%' && i + 1 < n && msg[i + 1] == '/') v = ok[i + 2][j] != 0;
      ok[i][j] = v ? 1 : 0;
    }
  }
  return ok[0][0] != 0;
}

std::vector<std::string> records(const std::string& file) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < file.size()) {
    const std::size_t end = file.find("\r\n", start);
    check(end != std::string::npos, "a record on the sink is not terminated", file);
    lines.push_back(file.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// Checks the report on the sink; `expected` is the waiting message that the
// first report printed, when known.
void check_report(const std::string& file, const std::optional<std::string>& expected) {
  const std::vector<std::string> lines = records(file);
  for (const std::string& line : lines) {
    check(line.size() <= kMaxLine, "a printed line is wider than 78 characters", line);
  }
  if (lines.empty() || !expected.has_value()) return;

  // First report: an empty line, the first line, the continuation lines.
  check(lines[0].empty(), "a report does not begin with an empty line", lines[0]);
  check(lines.size() >= 2, "a report has no first line", file);
  const std::string& first = lines[1];
  check(first.rfind(" *** ", 0) == 0, "first line does not begin \" *** \"", first);
  const std::string_view type_name = std::string_view(first).substr(5, 8);
  check(std::find(kTypeNames.begin(), kTypeNames.end(), type_name) != kTypeNames.end(),
        "first line names no error type", first);
  check(first.compare(13, 7, " ERROR ") == 0, "first line lacks \" ERROR \"", first);
  const std::size_t from = first.find(" from ", 19);
  check(from != std::string::npos, "first line does not name the routine", first);
  // The routine name holds no blank and the text begins ". ": the first
  // ". " after the link starts the text.
  const std::size_t text_start = first.find(". ", from + 6);
  check(text_start != std::string::npos, "first line holds no message text", first);
  std::string joined = first.substr(text_start);
  for (std::size_t k = 2; k < lines.size(); ++k) {
    const std::string& line = lines[k];
    if (line.rfind(" *** ", 0) != 0) break;  // the traceback follows
    const std::size_t prefix = std::min(line.size(), kContinuation.size());
    check(line.compare(0, prefix, kContinuation.substr(0, prefix)) == 0,
          "continuation line does not start its text in column 15", line);
    if (line.size() > kContinuation.size()) joined += line.substr(kContinuation.size());
  }
  check(is_reduction(*expected, joined),
        "printed text is not the message less blanks and line-break marks",
        *expected + "] vs [" + joined);
}

struct Snapshot {
  decltype(rkv::ErrorState::name_stack) names;
  decltype(rkv::ErrorState::user_level) user;
  decltype(rkv::ErrorState::print_attr) print;
  decltype(rkv::ErrorState::stop_attr) stop;
  decltype(rkv::ErrorState::traceback_attr) trace;
  std::int32_t level;
  std::int32_t max_level;

  static Snapshot of(const rkv::ErrorState& s) {
    return {s.name_stack,     s.user_level, s.print_attr, s.stop_attr,
            s.traceback_attr, s.level,      s.max_level};
  }
  bool operator==(const Snapshot& o) const {
    return names.data == o.names.data && user.data == o.user.data && print.data == o.print.data &&
           stop.data == o.stop.data && trace.data == o.trace.data && level == o.level &&
           max_level == o.max_level;
  }
};

void run(FuzzedDataProvider& in, std::optional<std::string>& expected) {
  rkv::ErrorState& s = rkv::E1ERRSTATE();
  const std::uint8_t flags = in.ConsumeIntegral<std::uint8_t>();
  const int depth = in.ConsumeIntegralInRange(0, 52);
  for (int k = 0; k < depth; ++k) {
    rkv::E1PSH(name_for(in));
    if (in.ConsumeBool()) rkv::E1USR("ON");
  }
  store_parameters(in);
  const std::int32_t type = in.ConsumeIntegralInRange<std::int32_t>(-2, 8);
  const std::int32_t code = (flags & 4) != 0 ? in.ConsumeIntegral<std::int32_t>()
                                             : in.ConsumeIntegralInRange<std::int32_t>(-1, 12);
  const std::string text = mapped(in.ConsumeRemainingBytesAsString());

  // The message is checked in print: hold the immediate types back while it
  // is posted, then restore the attributes (bit 0 leaves them as they are).
  const bool hold = (flags & 1) != 0;
  const auto saved_print = s.print_attr;
  if (hold) s.print_attr.data.fill(0);
  const std::optional<std::string> waiting_before =
      s.message_length > 0 ? std::optional<std::string>(std::string(
                                 s.message_text.data(), static_cast<std::size_t>(s.message_length)))
                           : std::nullopt;
  if (type < -1 || type > 7) expected = std::string(kIllegalType);
  const Snapshot before = Snapshot::of(s);
  rkv::E1MES(type, code, text);
  check(Snapshot::of(s) == before, "E1MES changed the name stack or the attributes");
  s.print_attr = saved_print;

  check(s.message_length >= 0 && s.message_length <= rkv::kMessageCapacity,
        "waiting message length outside 0..1024", std::to_string(s.message_length));
  check(s.param_fill == 1, "E1MES left stored parameters behind");
  const std::string msg(s.message_text.data(), static_cast<std::size_t>(s.message_length));
  if (type == 0 || code == 0) {
    check(msg.empty(), "type 0 or code 0 kept a waiting message", msg);
  } else if (text.empty() || text == " ") {
    check(msg == waiting_before.value_or(std::string()), "a blank text changed the message", msg);
  } else if (!msg.empty()) {
    check(msg.rfind(".  ", 0) == 0, "waiting message does not begin \".  \"", msg);
  }
  if (hold && type != 0 && code != 0 && !text.empty() && text != " " &&
      text.find('%') == std::string::npos) {
    const std::string want = (".  " + text).substr(0, rkv::kMessageCapacity);
    check(msg == want, "a text without placeholders was not taken verbatim", msg);
  }
  if (hold && !msg.empty()) expected = msg;

  if ((flags & 2) != 0) {
    rkv::E1PRINTM();
    check(s.message_length == 0 && s.param_fill == 1, "the printer left the message waiting");
  }
  while (s.level > 1) {
    const auto& top = s.name_stack(s.level);
    rkv::E1POP(std::string_view(top.data(), top.size()));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  rkv::fuzz::install_stop_hook();
  rkv::fuzz::reset_errors();
  const std::string& path = rkv::fuzz::capture_path();
  rkv::fuzz::connect_sink(path);
  FuzzedDataProvider in(data, size);
  std::optional<std::string> expected;
  try {
    run(in, expected);
  } catch (const rkv::fuzz::StopSignal&) {
    // An orderly stop of the run; the state is put back below.
  }
  check_report(rkv::fuzz::read_sink(path), expected);
  rkv::fuzz::reset_errors();
  return 0;
}
