// Posting and querying errors: E1MES records a typed, numbered error at the
// caller's level and builds the waiting message; N1RTY reads a recorded type;
// E1USR brackets calls into user code.
#pragma once

#include <cstdint>
#include <string_view>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

// Error types.
inline constexpr std::int32_t kNote = 1;
inline constexpr std::int32_t kAlert = 2;
inline constexpr std::int32_t kWarning = 3;
inline constexpr std::int32_t kFatal = 4;
inline constexpr std::int32_t kTerminal = 5;
inline constexpr std::int32_t kWarningImmediate = 6;
inline constexpr std::int32_t kFatalImmediate = 7;

void E1MES(const std::int32_t& type, const std::int32_t& code, std::string_view text);
std::int32_t N1RTY(const std::int32_t& which);
void E1USR(std::string_view switch_value);

}  // namespace rkv

#pragma GCC visibility pop
