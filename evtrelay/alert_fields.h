#pragma once
// The alert's date ("2006/10/13") and time ("10:20:30") texts: fields split
// at a separator outside double quotes, and their conversion to seconds.

#include <cstddef>
#include <cstdint>

/// Capacity of each field buffer of the conversion, terminator included.
inline constexpr std::size_t kFieldCapacity = 128;

/// Index of the first `separator` at or after `start` outside double quotes
/// (the quote state starts off at `start`); -1 when a newline or the end of
/// the text comes first.
std::ptrdiff_t FindSeparator(const char* text, std::ptrdiff_t start, char separator);

/// Field `fieldNumber` (from 1) of `text` into `buffer`, which is cleared
/// first: 1 when the field exists and has at most capacity - 1 characters;
/// 0 when there are fewer fields, or the field is longer (its first
/// capacity - 1 characters are then in the buffer). The last field ends at
/// the end of the text or its first newline.
int GetField(const char* text, char separator, int fieldNumber, char* buffer, std::size_t capacity);

/// The local time of the date and time texts as seconds since 1970-01-01
/// 00:00:00 UTC (-1 outside 1970 .. 2038-01-19 03:14:07 UTC): 0 with the
/// seconds stored, or 1 with `seconds` untouched when a date or time field
/// of the first three is missing, empty or too long. Traces on a pair of
/// channels of its own.
int AlertTimeToSeconds(const char* timeText, const char* dateText, int32_t* seconds);
