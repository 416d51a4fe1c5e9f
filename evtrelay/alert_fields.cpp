#include "evtrelay/alert_fields.h"

#include <climits>
#include <cstring>
#include <ctime>

#include "common/trace_channel.h"

namespace {

constexpr const char* kSourceFile = "alert_fields.cpp";
constexpr const char* kFieldFailed =
    "A specified Field is a Nonexisting or the size of the variable is insufficient.";
constexpr const char* kConverted =
    "It succeeded in the Transform to the totaling The Time Seconds.";
constexpr int kPasses = 3;

/// atoi, except that a number beyond int saturates (as the Windows runtime's
/// atoi does) instead of being undefined.
int FieldNumber(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) {
    ++text;
  }
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') {
    ++text;
  }
  long long value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    if (value <= INT_MAX) {
      value = value * 10 + (*text - '0');
    }
  }
  if (negative) {
    value = -value;
  }
  return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

int Offset(int value, int offset) {
  const long long shifted = static_cast<long long>(value) - offset;
  return shifted < INT_MIN ? INT_MIN : static_cast<int>(shifted);
}

/// mktime over local time, as the 32-bit count of seconds the console takes.
int32_t LocalSeconds(std::tm* broken) {
  const long long t = static_cast<long long>(std::mktime(broken));
  return (t < 0 || t > INT32_MAX) ? -1 : static_cast<int32_t>(t);
}

}  // namespace

std::ptrdiff_t FindSeparator(const char* text, std::ptrdiff_t start, char separator) {
  bool inQuotes = false;
  for (std::ptrdiff_t i = start;; ++i) {
    const char c = text[i];
    if (c == '\n' || c == '\0') {
      return -1;
    }
    if (c == separator && !inQuotes) {
      return i;
    }
    if (c == '"') {
      inQuotes = !inQuotes;
    }
  }
}

int GetField(const char* text, char separator, int fieldNumber, char* buffer,
             std::size_t capacity) {
  if (capacity == 0) {
    return 0;
  }
  std::memset(buffer, 0, capacity);
  if (fieldNumber < 1) {
    return 0;
  }
  std::ptrdiff_t start = 0;
  for (int n = 1; n < fieldNumber; ++n) {
    const std::ptrdiff_t found = FindSeparator(text, start, separator);
    if (found < 0) {
      return 0;
    }
    start = found + 1;
  }
  std::ptrdiff_t end = FindSeparator(text, start, separator);
  if (end < 0) {
    end = start;
    while (text[end] != '\0' && text[end] != '\n') {
      ++end;
    }
  }
  const std::size_t length = static_cast<std::size_t>(end - start);
  if (length > capacity - 1) {
    std::memcpy(buffer, text + start, capacity - 1);
    return 0;
  }
  std::memcpy(buffer, text + start, length);
  return 1;
}

int AlertTimeToSeconds(const char* timeText, const char* dateText, int32_t* seconds) {
  TraceChannel errorChannel{};
  TraceChannel infoChannel{};
  TraceOpen(&errorChannel, 0, "Norvelle01");
  TraceOpen(&infoChannel, 0, "Norvelle02");

  std::tm broken{};
  // Whether the date falls in summer time is mktime's to tell.
  broken.tm_isdst = -1;
  char dateField[kFieldCapacity];
  char timeField[kFieldCapacity];
  for (int pass = 1; pass <= kPasses; ++pass) {
    std::memset(dateField, 0, sizeof dateField);
    std::memset(timeField, 0, sizeof timeField);
    if (GetField(dateText, '/', pass, dateField, sizeof dateField) == 0 || dateField[0] == '\0' ||
        GetField(timeText, ':', pass, timeField, sizeof timeField) == 0 || timeField[0] == '\0') {
      TraceText(&errorChannel, kTraceFromRelay, kSourceFile, __LINE__, kFieldFailed);
      TraceClose(&errorChannel, 1);
      TraceClose(&infoChannel, 1);
      return 1;
    }
    const int date = FieldNumber(dateField);
    const int time = FieldNumber(timeField);
    switch (pass) {
      case 1:
        broken.tm_hour = time;
        broken.tm_year = Offset(date, 1900);
        break;
      case 2:
        broken.tm_min = time;
        broken.tm_mon = Offset(date, 1);
        break;
      default:
        broken.tm_sec = time;
        broken.tm_mday = date;
        break;
    }
  }
  TraceText(&infoChannel, kTraceFromRelay, kSourceFile, __LINE__, kConverted);
  TraceClose(&infoChannel, 1);
  TraceClose(&errorChannel, 1);
  *seconds = LocalSeconds(&broken);
  return 0;
}
