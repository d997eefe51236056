// Fixed texts of the error family: the messages it posts about its own
// misuse, the printer's type names and its traceback headings. Each text is
// kept here, once, with the exact length the posting routines pass.
#pragma once

#include <string_view>

namespace rkv::detail::msg {

// Posted by E1PSH when the stack is full (73 characters, one trailing blank).
inline constexpr std::string_view kPushOverflow =
    "Error condition in E1PSH.  Push would cause stack level to exceed %(I1). ";
// Posted by E1POP with only "USER" on the stack (72 characters).
inline constexpr std::string_view kPopEmpty =
    "Error condition in E1POP.  Cannot pop from %(L1) because stack is empty.";
// Posted by E1POP when the name differs from the top entry (76 characters).
inline constexpr std::string_view kPopMismatch =
    "Error condition in E1POP.  %(L1) does not match the name %(L2) in the stack.";
// Stored directly as the waiting message by E1MES (51 characters).
inline constexpr std::string_view kIllegalType =
    ".  Error from E1MES.  Illegal error type specified.";
// Stored directly as the waiting message by N1RTY (47 characters).
inline constexpr std::string_view kN1rtyArgument =
    ".  The argument passed to N1RTY must be 0 or 1.";
// Posted by E1USR for a switch other than ON/on/OFF/off (99 characters, one
// trailing blank).
inline constexpr std::string_view kBadSwitch =
    "Invalid value for SWITCH in call to E1USR.  SWITCH must be set to 'ON' or 'OFF'.  "
    "SWITCH = '%(L1)' ";
// Posted on behalf of AMACH for an argument outside 1..8 (57 characters).
inline constexpr std::string_view kAmachArgument =
    "The argument must be between 1 and 8 inclusive. N = %(I1)";

// Posted by SETERRATTR and GETERRATTR for a type outside their range, and by
// SETERRATTR for a PRINT or STOP other than 1, 0 or -1 (%(L1) names it).
inline constexpr std::string_view kSetAttrType =
    "The error type TYPE = %(I1).  It must be in the range 0 to 7.";
inline constexpr std::string_view kGetAttrType =
    "The error type TYPE = %(I1).  It must be in the range 1 to 7.";
inline constexpr std::string_view kAttrValue =
    "The attribute %(L1) = %(I1).  It must be 1 (on), 0 (off) or -1 (unchanged).";
inline constexpr std::string_view kPrintArg = "PRINT";
inline constexpr std::string_view kStopArg = "STOP";

// Routine names the family pushes or reports under.
inline constexpr std::string_view kUserName = "USER";
inline constexpr std::string_view kE1popName = "E1POP";
inline constexpr std::string_view kAmachName = "AMACH";
inline constexpr std::string_view kSetAttrName = "SETERRATTR";
inline constexpr std::string_view kGetAttrName = "GETERRATTR";
inline constexpr std::string_view kSetInitAttrName = "SETINITATTR";
inline constexpr std::string_view kGetInitAttrName = "GETINITATTR";

// Header type names, 8 characters each, for types 1..7; anything else prints
// as kUnknownType.
inline constexpr std::string_view kTypeNames[7] = {"NOTE    ", "ALERT   ", "WARNING ", "FATAL   ",
                                                   "TERMINAL", "WARNING ", "FATAL   "};
inline constexpr std::string_view kUnknownType = "UNKNOWN ";

// Printer marks and pieces.
inline constexpr std::string_view kLineBreak = "%/";
inline constexpr std::string_view kFrom = " from ";
inline constexpr std::string_view kLinePrefix = " *** ";
inline constexpr std::string_view kErrorWord = " ERROR";
inline constexpr std::string_view kMessagePrefix = ".  ";

// Traceback heading pieces, in the order of their record layout.
inline constexpr std::string_view kTraceHead1a = "Here is a traceback of subprogram calls";
inline constexpr std::string_view kTraceHead1b = " in reverse order:";
inline constexpr std::string_view kTraceHead2a = "Routine name               ";
inline constexpr std::string_view kTraceHead2b = " ";
inline constexpr std::string_view kTraceHead2c = "    Error type  Error code";
inline constexpr std::string_view kTraceHead3a = "------------";
inline constexpr std::string_view kTraceHead3b = "  ";
inline constexpr std::string_view kTraceHead3c = "              ";
inline constexpr std::string_view kTraceHead3d = "    ----------  ----------";
inline constexpr std::string_view kCalledInternally = "(Called internally)";

// The characters accepted as a placeholder's type letter (either case).
inline constexpr std::string_view kPlaceholderLetters = "ACDIKLRSZ";

}  // namespace rkv::detail::msg
