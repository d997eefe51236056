// The orderly stop: every ending of a run goes through stop().
#pragma once

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv::host {

// Flushes and closes every unit, then ends the process with exit status 0 and
// no stop text.
[[noreturn]] void stop();

// A seam for test and fuzz builds: when a hook is installed, stop() closes the
// units and then calls it instead of ending the process. The hook must not
// return (it may throw or jump back to a driver); if it does, the process
// ends as usual. nullptr restores the real stop.
using StopHook = void (*)();
void set_stop_hook(StopHook hook);

}  // namespace rkv::host

#pragma GCC visibility pop
