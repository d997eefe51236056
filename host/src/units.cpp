// Numbered record units: the console units (6 standard output, 0 standard
// error), the refused standard input (5) and file units connected by
// open_replace() or, on a first write, to "fort.<n>".
//
// All output goes through C stdio so that it interleaves with any other stdio
// output of the process and is flushed by fflush(nullptr). Every record on a
// file unit is flushed when it is written, so a failing write is detected at
// that record and the records before it are already in the file.
//
// The unit table is shared by all threads: every operation holds the host's
// lock, so a record is never written into the middle of another.
#include "rkv/host/units.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "io_failure.hpp"
#include "rkv/host/lock.hpp"

namespace rkv::host {
namespace {

// File units connected at one time. A serious program uses a handful.
constexpr std::size_t kMaxFileUnits = 64;

struct FileUnit {
  std::int32_t unit = -1;  // -1: free slot
  std::FILE* file = nullptr;
  std::string name;
};

FileUnit g_files[kMaxFileUnits];

// Set once the standard descriptors have been checked (under the lock).
bool g_standard_checked = false;

// Makes sure descriptors 0, 1 and 2 are open, putting /dev/null on any that
// is closed, so that a file opened later can never become standard input,
// output or error (console records would land in it). Returns the first one
// that stays closed, or -1.
int open_standard_descriptors() {
  g_standard_checked = true;
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is `fd`, unless another thread of the
    // program has just taken it, which leaves it open just the same.
    const int null_fd = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null_fd < 0) return fd;
    if (null_fd != fd) ::close(null_fd);
  }
  return -1;
}

// The host's first use checks the standard descriptors.
void check_standard_descriptors_once() {
  if (!g_standard_checked) (void)open_standard_descriptors();
}

FileUnit* find_file(std::int32_t unit) {
  for (FileUnit& f : g_files) {
    if (f.file != nullptr && f.unit == unit) return &f;
  }
  return nullptr;
}

bool is_console(std::int32_t unit) {
  return unit == kStdoutUnit || unit == kStderrUnit;
}

std::FILE* console_stream(std::int32_t unit) {
  return unit == kStderrUnit ? stderr : stdout;
}

const char* console_name(std::int32_t unit) {
  return unit == kStderrUnit ? "standard error" : "standard output";
}

// Flushes and closes a file unit; returns 0 or the errno of the failure.
int close_file(FileUnit& f) {
  errno = 0;
  const bool bad = std::ferror(f.file) != 0;
  const int rc = std::fclose(f.file);
  const int err = rc != 0 ? (errno != 0 ? errno : EIO) : (bad ? EIO : 0);
  f.file = nullptr;
  f.unit = -1;
  return err;
}

// Flushes a console stream; returns 0 or the errno of the failure.
int flush_console(std::FILE* stream) {
  errno = 0;
  const int rc = std::fflush(stream);
  if (rc != 0) return errno != 0 ? errno : EIO;
  return std::ferror(stream) != 0 ? EIO : 0;
}

std::string unit_label(std::int32_t unit) {
  return "unit " + std::to_string(unit);
}

// Text of the file name as it is opened: fixed-length names carry trailing
// blanks, which are not part of the name.
std::string_view trim_trailing_blanks(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

void check_unit_number(std::int32_t unit, const char* action) {
  if (unit < 0) {
    io_failure("cannot " + std::string(action) + " " + unit_label(unit) +
               ": a unit number must not be negative");
  }
}

// The unit's file, connecting "fort.<unit>" when the unit was never opened.
FileUnit& file_for_writing(std::int32_t unit) {
  if (FileUnit* f = find_file(unit)) return *f;
  open_replace(unit, "fort." + std::to_string(unit));
  return *find_file(unit);
}

// Writes one record and its terminator. A file record is flushed at once
// (`flush`), so that a failure shows at the record that caused it.
void write_stream(std::FILE* stream, std::string_view record, std::string_view end, bool flush,
                  const std::string& what) {
  errno = 0;
  const bool ok = std::fwrite(record.data(), 1, record.size(), stream) == record.size() &&
                  std::fwrite(end.data(), 1, end.size(), stream) == end.size() &&
                  (!flush || std::fflush(stream) == 0) && std::ferror(stream) == 0;
  if (!ok) io_failure("cannot write " + what, errno != 0 ? errno : EIO);
}

void write_file(FileUnit& f, std::string_view record) {
  write_stream(f.file, record, "\r\n", true, "'" + f.name + "'");
}

}  // namespace

void open_replace(std::int32_t unit, std::string_view filename) {
  const LockGuard guard;
  check_unit_number(unit, "open");
  const std::string name(trim_trailing_blanks(filename));
  if (name.empty() || name.find('\0') != std::string::npos) {
    io_failure("cannot open " + unit_label(unit) + ": invalid file name '" + name + "'");
  }
  // Checked before every open: the program may have closed one since.
  if (const int closed = open_standard_descriptors(); closed >= 0) {
    io_failure("cannot open '" + name + "' for writing: descriptor " + std::to_string(closed) +
               " is closed and /dev/null cannot be opened in its place");
  }
  // Connecting a unit that is already connected replaces the connection.
  if (FileUnit* old = find_file(unit)) {
    const std::string old_name = old->name;
    if (const int err = close_file(*old); err != 0) {
      io_failure("cannot close '" + old_name + "'", err);
    }
  }
  FileUnit* slot = nullptr;
  for (FileUnit& f : g_files) {
    if (f.file == nullptr) {
      slot = &f;
      break;
    }
  }
  if (slot == nullptr) {
    io_failure("cannot open '" + name + "' for writing: more than " +
               std::to_string(kMaxFileUnits) + " units connected");
  }
  // "w": write-only, created when missing, truncated when it exists.
  errno = 0;
  std::FILE* file = std::fopen(name.c_str(), "w");
  if (file == nullptr) {
    io_failure("cannot open '" + name + "' for writing", errno != 0 ? errno : EIO);
  }
  slot->unit = unit;
  slot->file = file;
  slot->name = name;
}

void write_record(std::int32_t unit, std::string_view record) {
  const LockGuard guard;
  check_standard_descriptors_once();
  check_unit_number(unit, "write");
  if (FileUnit* f = find_file(unit)) {
    write_file(*f, record);
    return;
  }
  if (is_console(unit)) {
    write_stream(console_stream(unit), record, "\n", false, console_name(unit));
    return;
  }
  if (unit == kStdinUnit) {
    io_failure("cannot write unit 5: it is standard input, which is read-only");
  }
  write_file(file_for_writing(unit), record);
}

void write_line(std::int32_t unit, std::string_view text) {
  // One record: write_record holds the lock while it writes it.
  std::string line = " ";
  line.append(text);
  write_record(unit, line);
}

void close(std::int32_t unit) {
  const LockGuard guard;
  check_standard_descriptors_once();
  if (FileUnit* f = find_file(unit)) {
    const std::string name = f->name;
    if (const int err = close_file(*f); err != 0) io_failure("cannot close '" + name + "'", err);
    return;
  }
  if (is_console(unit)) {
    if (const int err = flush_console(console_stream(unit)); err != 0) {
      io_failure(std::string("cannot write ") + console_name(unit), err);
    }
  }
  // A unit that is not connected has nothing to close.
}

void close_all() {
  const LockGuard guard;
  check_standard_descriptors_once();
  // Every unit is closed even when one fails, so that what the others hold
  // reaches its file; the first failure is then reported.
  std::string failed;
  int failed_err = 0;
  for (FileUnit& f : g_files) {
    if (f.file == nullptr) continue;
    const std::string name = f.name;
    if (const int err = close_file(f); err != 0 && failed_err == 0) {
      failed = "cannot close '" + name + "'";
      failed_err = err;
    }
  }
  for (const std::int32_t unit : {kStdoutUnit, kStderrUnit}) {
    if (const int err = flush_console(console_stream(unit)); err != 0 && failed_err == 0) {
      failed = std::string("cannot write ") + console_name(unit);
      failed_err = err;
    }
  }
  if (failed_err != 0) io_failure(failed, failed_err);
}

void abandon_all_units() {
  const LockGuard guard;
  for (FileUnit& f : g_files) {
    if (f.file == nullptr) continue;
    std::fclose(f.file);
    f.file = nullptr;
    f.unit = -1;
  }
  std::fflush(nullptr);
}

}  // namespace rkv::host
