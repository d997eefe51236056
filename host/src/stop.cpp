// The ends of a run: the orderly stop (exit status 0, no stop text) and the
// end after an input/output failure (exit status kIoFailureStatus).
#include "rkv/host/stop.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "io_failure.hpp"
#include "rkv/host/units.hpp"

namespace rkv::host {
namespace {

StopHook g_stop_hook = nullptr;

const char* program_name() {
#ifdef __GLIBC__
  if (program_invocation_short_name != nullptr && program_invocation_short_name[0] != '\0') {
    return program_invocation_short_name;
  }
#endif
  return "rkv";
}

[[noreturn]] void fail(const std::string& line) {
  // stderr is unbuffered; if it cannot be written either, nothing more can
  // be said, and the exit status still tells.
  std::fprintf(stderr, "%s: %s\n", program_name(), line.c_str());
  abandon_all_units();
  std::exit(kIoFailureStatus);
}

}  // namespace

void io_failure(const std::string& what, int err) {
  fail(what + ": " + std::strerror(err));
}

void io_failure(const std::string& what) {
  fail(what);
}

void stop() {
  // A unit that cannot be completed ends the run as an input/output
  // failure inside close_all(); it never reaches the exit with status 0.
  close_all();
  if (g_stop_hook != nullptr) g_stop_hook();
  std::exit(0);
}

void set_stop_hook(StopHook hook) {
  g_stop_hook = hook;
}

}  // namespace rkv::host
