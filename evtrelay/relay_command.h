#pragma once
// The evtrelay command: one alert from the command line (severity key,
// host name, time, date, message text) handed to the console's msgpost3,
// with the event-log fallback when it cannot be prepared or is refused.
// Every step is traced on "Norvelle01" (failures) or "Norvelle02"; nothing
// goes to the console, and the exit status is always 0.

#include <cstddef>

#include "evtrelay/talmsg.h"

/// Buffer sizes of one run, terminators included.
inline constexpr std::size_t kHostNameCapacity = 128;
inline constexpr std::size_t kAlertTextCapacity = 4097;
inline constexpr std::size_t kTraceTextCapacity = 1024;
/// Holds the argument block of any Windows command line (32767 characters).
inline constexpr std::size_t kArgumentBlockCapacity = 32768;

/// Turns A to Z into a to z in place; every other byte stays.
void LowerAscii(char* text);

/// The message with every "%" and "\" doubled, into `alertText` (cleared
/// first). True when the whole message fits in capacity - 1 characters;
/// false when it was cut before the first character that no longer fits
/// whole, so no doubled pair is ever split.
bool EscapeMessage(const char* message, char* alertText, std::size_t capacity);

/// The whole command over the program's arguments; `post` is msgpost3.
/// Returns the exit status, 0.
int RelayMain(int argc, char** argv, MsgPost3Fn post);
