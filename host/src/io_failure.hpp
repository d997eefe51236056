// Ending the run on an input/output failure: one line on standard error
// naming what failed and why, then exit status kIoFailureStatus.
#pragma once

#include <string>

namespace rkv::host {

// Prints "<program>: <what>: <strerror(err)>" on standard error, closes the
// other units as far as they still can be (records already written stay in
// their files) and ends the process with kIoFailureStatus.
[[noreturn]] void io_failure(const std::string& what, int err);

// The same without a system reason: "<program>: <what>".
[[noreturn]] void io_failure(const std::string& what);

// Closes every file unit and flushes all streams, ignoring failures; used
// only on the way out after a failure has been reported.
void abandon_all_units();

}  // namespace rkv::host
