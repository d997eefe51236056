// Support shared by the libFuzzer drivers (see driver.hpp).
#include "driver.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "rkv/errors/state.hpp"
#include "rkv/host/stop.hpp"
#include "rkv/host/units.hpp"
#include "rkv/machine/units.hpp"
#include "state_testing.hpp"

namespace rkv::fuzz {
namespace {

[[noreturn]] void throw_stop() {
  throw StopSignal{};
}

}  // namespace

void install_stop_hook() {
  rkv::host::set_stop_hook(&throw_stop);
}

void connect_sink(const std::string& path) {
  rkv::host::open_replace(kSinkUnit, path);
  std::int32_t unit = kSinkUnit;
  const std::int32_t out = -2;
  const std::int32_t err = -3;
  rkv::UMACH(out, unit);
  rkv::UMACH(err, unit);
}

const std::string& capture_path() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    std::string p = (dir != nullptr && dir[0] != '\0') ? dir : "/tmp";
    p += "/rkv_fuzz_" + std::to_string(static_cast<long>(getpid())) + ".txt";
    return p;
  }();
  return path;
}

std::string read_sink(const std::string& path) {
  rkv::host::close(kSinkUnit);
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void fail(std::string_view what, std::string_view detail) {
  std::fprintf(stderr, "\n*** property violated: %.*s\n", static_cast<int>(what.size()),
               what.data());
  if (!detail.empty()) {
    std::fprintf(stderr, "*** detail: [%.*s]\n", static_cast<int>(detail.size()), detail.data());
  }
  std::fflush(stderr);
  std::abort();
}

char message_char(std::uint8_t b) {
  // 32 characters for the 32 control bytes: the pieces of placeholders
  // ("%(", a type letter, a digit, ")"), the line-break mark and blanks.
  static constexpr std::string_view kSpecial = "%%%((()))//  IRLiralZ0123456789.";
  static_assert(kSpecial.size() == 32);
  if (b < 32) return kSpecial[b];
  if (b == 127) return ' ';
  return static_cast<char>(b);
}

void reset_errors() {
  rkv::detail::reset_error_state_for_testing();
}

}  // namespace rkv::fuzz
