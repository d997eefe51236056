// Private lookup in the message-parameter buffer, used by E1MES.
#pragma once

#include <optional>
#include <string_view>

namespace rkv::detail {

// The value stored under the key "*" letter digit "*" (letters compared
// without case; the earliest entry wins), or nothing when there is none.
// The view lies inside the used part of the buffer.
std::optional<std::string_view> lookup_param(char letter, char digit);

}  // namespace rkv::detail
