// Keeping control after an error: the per-type print and stop attributes of
// the calling thread's error state, and the text of its last report.
//
// With the initial attributes a FATAL or TERMINAL error ends the run. An
// application that wants to handle errors itself turns the stops off (and,
// to show the reports in its own way, the printing), then asks N1RTY(1) for
// the type of the error its call left and GETERRTEXT for the text.
// Attributes belong to the calling thread's error state, which starts from
// the process-wide initial attributes; without a call of SETERRATTR they
// keep those. SETINITATTR at the start of a program keeps control in every
// thread it starts afterwards:
//
//   rkv::SETINITATTR(rkv::kAllTypes, rkv::kAttrOff, rkv::kAttrOff);
//   std::thread worker(...);   // its errors are neither printed nor stopping

#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#pragma GCC visibility push(default)  // the interface the shared libraries export

namespace rkv {

// Values of the PRINT and STOP arguments of SETERRATTR.
inline constexpr std::int32_t kAttrOff = 0;
inline constexpr std::int32_t kAttrOn = 1;
inline constexpr std::int32_t kAttrKeep = -1;
// The TYPE of SETERRATTR that selects all seven error types.
inline constexpr std::int32_t kAllTypes = 0;

// Sets the attributes of error type TYPE (1 to 7, or 0 for all seven):
// PRINT 1 prints a report of that type, 0 does not; STOP 1 ends the run when
// such an error is reported, 0 lets the call return; -1 leaves an attribute
// as it is. Any other argument is a TERMINAL error (code 1 for TYPE, 2 for
// PRINT or STOP) and changes nothing.
void SETERRATTR(const std::int32_t& type, const std::int32_t& print, const std::int32_t& stop);

// Reads the attributes of error type TYPE (1 to 7) into PRINT and STOP. Any
// other TYPE is a TERMINAL error (code 1); PRINT and STOP are not changed.
void GETERRATTR(const std::int32_t& type, std::int32_t& print, std::int32_t& stop);

// Sets the process-wide initial attributes of error type TYPE, with the
// arguments of SETERRATTR: the attributes every thread's error state starts
// from when the thread first uses the error family. The calling thread's own
// attributes are set as well, as SETERRATTR would; other threads whose error
// state already exists keep theirs. Misuse is refused as by SETERRATTR
// (TERMINAL, code 1 for TYPE, 2 for PRINT or STOP, under SETINITATTR) and
// changes nothing. Safe to call from any thread.
void SETINITATTR(const std::int32_t& type, const std::int32_t& print, const std::int32_t& stop);

// Reads the process-wide initial attributes of error type TYPE (1 to 7);
// refused as GETERRATTR refuses (under GETINITATTR).
void GETINITATTR(const std::int32_t& type, std::int32_t& print, std::int32_t& stop);

// The message text of the last report: the message waiting to be printed if
// there is one (an error whose printing is off waits until the next message
// replaces it), otherwise the last one printed; empty before the first. The
// text is as the report shows it after the header, without line breaks:
// "Maximum number of steps allowed, 500, used.  The problem may be stiff."
// A mark "%/" of a text that asks for a line break is left in. The view is
// valid until the calling thread's next operation of the error family.
std::string_view GETERRTEXT();

// The same text copied into the fixed-length TEXT: cut to text.size(), or
// padded with blanks; LENGTH receives the whole text's length.
void GETERRTEXT(std::span<char> text, std::int32_t& length);

}  // namespace rkv

#pragma GCC visibility pop
