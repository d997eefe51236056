// Support shared by the libFuzzer drivers: the stop seam turned into an
// exception, the console sink, and the property check that ends the run.
//
// The library ends a run through rkv::host::stop(). In a fuzz driver that
// would end the whole campaign, so the drivers install a stop hook that
// throws StopSignal back to LLVMFuzzerTestOneInput, which catches it and puts
// the process-wide state back before the next input.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rkv::fuzz {

// Thrown by the stop hook; never escapes LLVMFuzzerTestOneInput.
struct StopSignal {};

// The unit the drivers point UMACH entries 2 and 3 at.
inline constexpr std::int32_t kSinkUnit = 97;

// Installs the stop hook (idempotent).
void install_stop_hook();

// Connects kSinkUnit to `path` (truncating it) and makes it the standard
// output and error-message unit of the library. The host closes every unit
// at a stop, so this is called again at the start of every input.
void connect_sink(const std::string& path);

// A private temporary file for this process (created once).
const std::string& capture_path();

// Flushes and disconnects the sink, then returns what was written to it.
std::string read_sink(const std::string& path);

// Reports a broken property with the offending detail and aborts, which
// libFuzzer records as a crash with the input that caused it.
[[noreturn]] void fail(std::string_view what, std::string_view detail = {});

inline void check(bool ok, std::string_view what, std::string_view detail = {}) {
  if (!ok) fail(what, detail);
}

// Maps a byte of fuzz input to a message character: control bytes become
// characters that matter to the message machinery (so placeholders and
// line-break marks are frequent), everything else is kept. Never produces
// a carriage return or line feed, so printed records can be split safely.
char message_char(std::uint8_t b);

// Puts the error state back to its initial record.
void reset_errors();

}  // namespace rkv::fuzz
