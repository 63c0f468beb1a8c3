#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

// What the stand-ins for the vendors' version tools share: how they are told
// to answer otherwise than a healthy dock would, through environment
// variables that the tool under test passes on to its children.
//
//   KR_STANDIN_HUB_MODE, KR_STANDIN_DP_MODE   how the hub / DisplayPort tool answers
//       normal   the healthy answer (the default)
//       silent   prints nothing
//       flood    prints KR_STANDIN_FLOOD_LINES numbered lines (more than 1 MB
//                by default) before the answer
//       stderr   prints the answer on standard error, between two lines on
//                standard output
//       notoken  the DisplayPort tool's answer without its version line
//       junk     64 KiB of bytes of every value before the answer
//       hang     never ends; sets the named event KR_STANDIN_READY_EVENT
//                first, when that is given, so a test knows it is running
//   KR_STANDIN_HUB_EXIT_CODE   the hub tool's exit code (0x8720 by default;
//                              decimal, or hexadecimal after 0x)
//   KR_STANDIN_DP_VERSION      the version after "Pegasus App: "
enum class StandInMode { Normal, Silent, Flood, StdErr, NoToken, Junk, Hang };

// The mode the variable names; Normal when it is not set, nothing when it
// names no mode.
std::optional<StandInMode> ReadStandInMode(const char* variable);
// The variable's number, or `fallback` when it is not set or not a number.
unsigned long ReadStandInNumber(const char* variable, unsigned long fallback);
// Standard output and error carry bytes exactly as written.
void UseBinaryStandardStreams();
// Writes the text as it is. A stand-in has nobody to tell that its output
// could not be written, so it goes on.
void Emit(std::FILE* stream, std::string_view text);
// Hands everything written so far to the reader, in the order written.
void FlushAll();
// The number in hexadecimal, upper-case, at least `digits` digits.
std::string HexNumber(unsigned long number, int digits);
// The numbered lines of the flood mode: "%07lu " followed by the alphabet,
// ending in CR LF; numbered from 1.
void WriteFloodLines(std::FILE* stream);
// Bytes of every value, zero included, in a fixed order.
void WriteJunk(std::FILE* stream);
// Never returns.
[[noreturn]] void HangForever();
