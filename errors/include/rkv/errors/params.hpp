// Message parameters: values stored under a type letter and a number 1..9 for
// the placeholders "%(I1)", "%(R2)", "%(L1)" ... of the next posted message.
#pragma once

#include <cstdint>
#include <string_view>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

void E1SETINT(const std::int32_t& index, const std::int32_t& value);
void E1SETREAL(const std::int32_t& index, const float& value);
// A negative index keeps the text's trailing blanks; the entry is keyed |index|.
void E1SETSTR(const std::int32_t& index, std::string_view text);

// Appends one entry to the parameter buffer; `length` characters of `text`
// are meant (never more than text.size() are read).
void E1PUTPARM(std::string_view letter, const std::int32_t& index, const std::int32_t& length,
               std::string_view text);

}  // namespace rkv

#pragma GCC visibility pop
