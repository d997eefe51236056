// Helpers shared by the tests of the error family: a fresh error state, views
// of the record's fields, and a forked-child runner that splits the console
// output into lines.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "rkv/errors/state.hpp"
#include "state_testing.hpp"
#include "support/child.hpp"

namespace rkv::errtest {

inline ErrorState& fresh() {
  rkv::detail::reset_error_state_for_testing();
  return E1ERRSTATE();
}

inline std::string message() {
  const ErrorState& s = E1ERRSTATE();
  return std::string(s.message_text.data(), static_cast<std::size_t>(s.message_length));
}

inline std::string params() {
  const ErrorState& s = E1ERRSTATE();
  if (s.param_fill <= 1) return {};
  return std::string(s.param_buffer.data(), static_cast<std::size_t>(s.param_fill));
}

inline std::vector<std::string> split_lines(const std::string& out) {
  std::vector<std::string> lines;
  std::string cur;
  for (char c : out) {
    if (c == '\n') {
      if (!cur.empty() && cur.back() == '\r') cur.pop_back();
      lines.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

inline std::string join_lines(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\n";
  return s;
}

// Runs `body` on a fresh error state in a child.
inline rkv::testing::ChildResult in_child(const std::function<void()>& body) {
  return rkv::testing::run_in_child([&] {
    rkv::detail::reset_error_state_for_testing();
    body();
  });
}

}  // namespace rkv::errtest
