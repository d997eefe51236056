// The ends of a run: the orderly stop (exit status 0, no stop text) and the
// end after an input/output failure (exit status kIoFailureStatus).
#include "rkv/host/stop.hpp"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "io_failure.hpp"
#include "rkv/host/lock.hpp"
#include "rkv/host/units.hpp"

namespace rkv::host {
namespace {

std::atomic<StopHook> g_stop_hook{nullptr};

const char* program_name() {
#ifdef __GLIBC__
  if (program_invocation_short_name != nullptr && program_invocation_short_name[0] != '\0') {
    return program_invocation_short_name;
  }
#endif
  return "rkv";
}

[[noreturn]] void fail(const std::string& line) {
  // Held until the process has ended: nothing else is written meanwhile.
  lock();
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
  // The lock is held until the process has ended, so that no other thread
  // writes a record after the units have been closed. A unit that cannot be
  // completed ends the run as an input/output failure inside close_all(); it
  // never reaches the exit with status 0.
  lock();
  close_all();
  if (const StopHook hook = g_stop_hook.load(std::memory_order_acquire); hook != nullptr) {
    // The hook leaves by throwing or jumping: it must not keep the lock.
    unlock();
    hook();
    lock();
  }
  std::exit(0);
}

void set_stop_hook(StopHook hook) {
  g_stop_hook.store(hook, std::memory_order_release);
}

}  // namespace rkv::host
