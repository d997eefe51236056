// Numbered record units of the run-time host.
//
// Unit 6 is standard output and unit 0 standard error, both connected from
// the start without an open; unit 5 is standard input and cannot be written.
// Any other unit is a file: either the one named by open_replace(), or, when
// a unit is written that was never opened, a file named after its number
// ("fort.9" for unit 9). A record on a console unit ends with a line feed, a
// record on a file unit with carriage return and line feed.
//
// Input/output failures (a file that cannot be created, replaced or written)
// are reported on standard error with the file and the system's reason and
// end the process with io_failure_status; records already written stay in
// the file.
#pragma once

#include <cstdint>
#include <string_view>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv::host {

inline constexpr std::int32_t kStderrUnit = 0;
inline constexpr std::int32_t kStdinUnit = 5;
inline constexpr std::int32_t kStdoutUnit = 6;

// Exit status of a run ended by an input/output failure.
inline constexpr int kIoFailureStatus = 2;

// Connects `unit` to `filename` with status "replace" and action "write": an
// existing file is truncated, a missing one created; the file is write-only.
// Trailing blanks of a fixed-length name are not part of it. A unit that is
// already connected is closed first; a console unit (or unit 5) opened this
// way writes to the file until it is closed. A negative unit, an empty name
// or a file that cannot be created is an input/output failure.
void open_replace(std::int32_t unit, std::string_view filename);

// Writes one record (the text without its terminator) on `unit`. A record on
// a file unit is flushed at once, so that it is in the file even if the run
// ends abnormally later; console records are flushed at the stop (or by any
// fflush(nullptr)). Writing unit 5 or a negative unit is an input/output
// failure.
void write_record(std::int32_t unit, std::string_view record);

// Writes a free-form line: one blank, then `text`.
void write_line(std::int32_t unit, std::string_view text);

// Flushes and disconnects `unit`; a console unit is flushed only.
void close(std::int32_t unit);

// Flushes and closes every connected unit. A failure to complete a write is
// reported as an input/output failure (it never ends silently).
void close_all();

}  // namespace rkv::host

#pragma GCC visibility pop
