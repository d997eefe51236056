// E1PRINTM: prints the waiting message on the error-message unit: an empty
// line, the header line naming type, code and routine with the first part of
// the text, continuation lines with the text from column 15 (at most 64
// characters each, broken at blanks or at "%/" marks), and a traceback of the
// name stack when the error arose two or more calls below the user's program.
#include <algorithm>
#include <array>
#include <span>

#include "messages.hpp"
#include "rkv/errors/print.hpp"
#include "rkv/errors/text.hpp"
#include "rkv/host/record.hpp"
#include "rkv/machine/lockhook.hpp"
#include "rkv/machine/units.hpp"
#include "state_internal.hpp"

namespace rkv {
namespace {

namespace msg = detail::msg;
using rkv::host::Record;

constexpr std::int32_t kErrorUnitEntry = 3;
constexpr std::int32_t kFirstLineItems = 59;  // one-character items after " ERROR"
constexpr std::int32_t kLineItems = 64;       // one-character items of a continuation line
constexpr std::int32_t kCodeField = 10;
constexpr std::int32_t kTypeField = 6;
constexpr std::int32_t kIndent = 5;
constexpr std::int32_t kContinuationSkip = 9;
constexpr std::int32_t kRowGap = 6;
constexpr std::int32_t kInternalGap = 4;
// Header: " " + code (at most 10) + " from " + name (at most 32).
constexpr std::size_t kHeaderCapacity = 1 + kCodeField + 6 + kNameLength;

// A routine name whose first character is a lower-case letter and whose
// second is an upper-case letter gets its first character upper-cased.
std::array<char, kNameLength> capitalised(const std::array<char, kNameLength>& name) {
  std::array<char, kNameLength> out = name;
  const std::int32_t c1 = C1CHCODE(out[0]);
  const std::int32_t c2 = C1CHCODE(out[1]);
  if (c2 >= 'A' && c2 <= 'Z' && c1 >= 'a' && c1 <= 'z') {
    const std::int32_t up = C1UPCODE(out[0]);
    C1CODECH(out[0], up);
  }
  return out;
}

// The type's 8-character name.
std::string_view type_name(std::int32_t t) {
  return detail::is_table_type(t) ? msg::kTypeNames[t - 1] : msg::kUnknownType;
}

// 1-based substring text(from..to); empty when from > to.
std::string_view sub(std::string_view text, std::int32_t from, std::int32_t to) {
  if (from > to) return {};
  return text.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(to - from + 1));
}

// Position of the first "%/" in text(from..to), relative to `from` (0 if none).
std::int32_t find_break(std::string_view text, std::int32_t from, std::int32_t to) {
  if (to < from) return 0;
  return C1INDEXI(sub(text, from, to), msg::kLineBreak);
}

void write_continuation(std::int32_t unit, std::string_view line) {
  Record().text(msg::kLinePrefix).tr(kContinuationSkip).a1(line, kLineItems).write(unit);
}

void write_traceback(std::int32_t unit, const ErrorState& s) {
  Record()
      .tr(kIndent)
      .text(msg::kTraceHead1a)
      .text(msg::kTraceHead1b)
      .slash()
      .tr(kIndent)
      .text(msg::kTraceHead2a)
      .text(msg::kTraceHead2b)
      .text(msg::kTraceHead2c)
      .slash()
      .tr(kIndent)
      .text(msg::kTraceHead3a)
      .text(msg::kTraceHead3b)
      .text(msg::kTraceHead3c)
      .text(msg::kTraceHead3d)
      .write(unit);
  for (std::int32_t j = s.level; j >= 1; --j) {
    const auto name = capitalised(s.name_stack(j));
    Record row;
    row.tr(kIndent)
        .a(std::string_view(name.data(), name.size()), kNameLength)
        .i(s.level_type(j), kTypeField)
        .tr(kRowGap)
        .i(s.level_code(j), kTypeField);
    if (j >= 2 && !detail::is_true(s.user_level(j - 1))) {
      row.tr(kInternalGap).text(msg::kCalledInternally);
    }
    row.write(unit);
  }
}

// Keeps the text of the report being printed for GETERRTEXT.
void keep_printed_text(ErrorState& s, std::string_view text) {
  const std::string_view body = detail::report_text(text);
  std::copy(body.begin(), body.end(), s.printed_text.begin());
  s.printed_length = static_cast<std::int32_t>(body.size());
}

// The header line's items after " ERROR": " <code> from <name>", the code
// without leading blanks, the name up to its first blank; room is left for
// the first part of the text.
struct FirstLine {
  std::array<char, kHeaderCapacity + kFirstLineItems> items{};
  std::size_t size = 0;
  void put(char c) { items[size++] = c; }
};

FirstLine header(std::int32_t code, const std::array<char, kNameLength>& routine) {
  FirstLine first;
  first.put(' ');
  std::array<char, kCodeField> field;
  field.fill(' ');
  std::int32_t ier = 0;
  C1INTTXT(code, field, ier);
  const std::string_view digits(field.data(), field.size());
  const std::int32_t lead = C1VERIFY(digits, " ");
  if (lead > 0) {
    for (std::size_t k = static_cast<std::size_t>(lead - 1); k < field.size(); ++k) {
      first.put(field[k]);
    }
  }
  for (char c : msg::kFrom) first.put(c);
  for (char c : capitalised(routine)) {
    if (c == ' ') break;
    first.put(c);
  }
  return first;
}

// Where the text's first part ends and the rest begins.
struct FirstCut {
  std::int32_t end = 0;    // last position of text on the first line
  std::int32_t after = 0;  // break position: the next line starts after it
  std::int32_t mark = 0;   // position of the first "%/" (0 if none)
  bool more = true;        // continuation lines follow
};

// The cut for `room` items on the first line (at least 10): at a "%/" mark
// within them, after the whole text if it fits, else at the last blank.
FirstCut first_cut(std::string_view text, std::int32_t room) {
  const std::int32_t n = static_cast<std::int32_t>(text.size());
  FirstCut c;
  c.mark = C1INDEXI(text, msg::kLineBreak);
  if (c.mark > 0 && c.mark < room) {
    c.end = c.mark - 1;
    c.after = c.mark + 1;
    return c;
  }
  if (n <= room) {
    c.end = n;
    c.more = false;
    return c;
  }
  for (std::int32_t p = room; p >= 2; --p) {
    if (text[static_cast<std::size_t>(p - 1)] == ' ') {
      c.end = p - 1;
      c.after = p;
      return c;
    }
  }
  // Only a text not built by E1MES can lack the ".  " prefix: cut hard.
  c.end = room;
  c.after = room;
  return c;
}

// The last blank in text(from..to), 1-based (0 if none).
std::int32_t last_blank(std::string_view text, std::int32_t from, std::int32_t to) {
  for (std::int32_t p = to; p >= from; --p) {
    if (text[static_cast<std::size_t>(p - 1)] == ' ') return p;
  }
  return 0;
}

// The continuation lines of the text after position `b`; `prev` is the mark
// search of the preceding line.
void write_continuations(std::int32_t unit, std::string_view text, std::int32_t b,
                         std::int32_t prev) {
  const std::int32_t n = static_cast<std::int32_t>(text.size());
  for (;;) {
    std::int32_t start = b + 1;
    const std::int32_t end = b + kLineItems;
    const std::int32_t window = std::min(n - b, kLineItems);
    const std::int32_t q = window > 0 ? find_break(text, b + 1, b + window) : 0;
    if (prev == 0 && start <= n && text[static_cast<std::size_t>(start - 1)] == ' ') ++start;
    if (q > 0) {
      const std::int32_t mark = b + q;
      write_continuation(unit, sub(text, start, mark - 1));
      b = mark + 1;
      prev = q;
      continue;
    }
    if (n <= end) {
      write_continuation(unit, sub(text, start, n));
      return;
    }
    const std::int32_t blank = last_blank(text, start + 1, end);
    b = blank > 0 ? blank : end;
    write_continuation(unit, sub(text, start, b));
    prev = 0;
  }
}

}  // namespace

void E1PRINTM() {
  ErrorState& s = detail::state();
  const LockHold hold;
  if (s.message_length <= 0) return;

  std::int32_t unit = 0;
  UMACH(kErrorUnitEntry, unit);
  const std::int32_t l = s.level;
  const std::int32_t t = s.level_type(l);
  const std::string_view text = detail::message_view(s);

  FirstLine first = header(s.level_code(l), s.name_stack(l));
  const FirstCut cut = first_cut(text, kFirstLineItems - static_cast<std::int32_t>(first.size));
  for (char c : sub(text, 1, cut.end)) first.put(c);
  Record()
      .slash()
      .text(msg::kLinePrefix)
      .a1(type_name(t), 8)
      .text(msg::kErrorWord)
      .a1(std::string_view(first.items.data(), first.size), kFirstLineItems)
      .write(unit);
  if (cut.more) write_continuations(unit, text, cut.after, cut.mark);

  keep_printed_text(s, text);
  s.message_length = 0;
  s.param_fill = 1;

  // Types outside the tables have no attribute: they get the traceback too.
  const bool traceback = detail::is_table_type(t) ? s.traceback_attr(t) == 1 : true;
  if (traceback && l >= 3) write_traceback(unit, s);
}

}  // namespace rkv
