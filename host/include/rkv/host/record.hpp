// Fixed-layout records composed from typed field formatters.
//
// A Record is built item by item in the order of its layout and then written
// on a unit (one or more lines; slash() ends a line) or into a fixed-length
// text. The items follow the record layouts of the system:
//   text("...")     a quoted text, written unchanged
//   slash()         ends the current line
//   tr(n), t(n)     move n positions right / to column n, leaving blanks
//   i(v, w)         integer right-justified in w positions
//   f(v, w, d)      fixed point, d decimals
//   e(v, w, d)      exponent form 0.ddd...E+ee
//   e1p(v, w, d)    exponent form with scale 1P: d.ddd...E+ee
//                   (e and e1p for a float or a double, by the value's type)
//   a(s, w)         a text in w positions
//   a1(items, n)    n one-character items; when fewer than n are given,
//                   writing stops after the last one (the layout ran out of
//                   values), and every later item is ignored
// A counted group is written by composing its items in a loop.
// Blanks fill a gap only when characters are written after it; blanks that
// were written (in a text or an A item) are kept, nothing is stripped.
//
// Numeric fields:
// - A value too wide for its field fills the field with w asterisks.
// - Decimal digits come from the C library's exact conversion of the float
//   or double given; the value is then rounded half away from zero (0.125
//   in F5.2 is " 0.13", -0.125 is "-0.13").
// - A negative value, including one that rounds to zero and -0.0, carries
//   its "-" ("-0.00").
// - Fw.d and Ew.d write the zero before the point only when it fits
//   (F4.3 of 0.5 is ".500"); Fw.0 always writes a digit ("0.").
// - The exponent is "E+ee"; a three-digit exponent drops the E ("+100").
//   Ew.d needs d >= 1; Ew.0 and a negative d give asterisks.
// - NaN is written "NaN"; an infinity "Infinity" or "-Infinity", or "Inf" or
//   "-Inf" when the long form does not fit, right-justified; asterisks when
//   even the short form does not fit. The same in F, E and 1P,E fields.
// A width w <= 0 writes nothing.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv::host {

class Record {
 public:
  Record& text(std::string_view s);
  Record& slash();
  Record& tr(int n);
  Record& t(int column);
  Record& i(std::int32_t value, int w);
  Record& f(float value, int w, int d);
  Record& e(float value, int w, int d);
  Record& e1p(float value, int w, int d);
  Record& e(double value, int w, int d);
  Record& e1p(double value, int w, int d);
  Record& a(std::string_view s, int w);
  Record& a1(std::string_view items, int n);

  // The lines composed so far (the current one included), without terminators.
  [[nodiscard]] std::vector<std::string> lines() const;

  // Writes every line as one record on `unit`.
  void write(std::int32_t unit) const;

  // Writes the record into the fixed-length text `out`, padded with blanks
  // to its length; characters beyond out.size() are cut. A text holds one
  // record: only the first line of a layout with slashes is written.
  void write_to(std::span<char> out) const;

 private:
  void put(std::string_view s);  // at the current position, overwriting
  std::vector<std::string> done_;
  std::string line_;
  std::size_t pos_ = 0;
  bool stopped_ = false;
};

// Field formatters, usable on their own. Each returns exactly w characters.
std::string format_i(std::int32_t value, int w);
std::string format_f(float value, int w, int d);
std::string format_e(float value, int w, int d, bool scale1p);
std::string format_e(double value, int w, int d, bool scale1p);

}  // namespace rkv::host

#pragma GCC visibility pop
