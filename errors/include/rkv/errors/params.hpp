// Message parameters: values stored under a type letter and a number 1..9 for
// the placeholders "%(I1)", "%(R2)", "%(L1)" ... of the next posted message.
#pragma once

#include <cstdint>
#include <string_view>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

void E1SETINT(const std::int32_t& index, const std::int32_t& value);
void E1SETREAL(const std::int32_t& index, const float& value);
// A double under the same letter "R", so one message text serves both
// precisions; written (1P,E24.16), 17 significant digits that read back as
// the same double (zero and NaN as (E24.16)). As in every E field, an
// exponent beyond 99 takes the place of the E: "1.0000000000000000-300".
void E1SETDBL(const std::int32_t& index, const double& value);
// A negative index keeps the text's trailing blanks; the entry is keyed |index|.
void E1SETSTR(const std::int32_t& index, std::string_view text);

// Appends one entry to the parameter buffer; `length` characters of `text`
// are meant (never more than text.size() are read).
void E1PUTPARM(std::string_view letter, const std::int32_t& index, const std::int32_t& length,
               std::string_view text);

}  // namespace rkv

#pragma GCC visibility pop
