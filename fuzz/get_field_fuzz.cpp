// FindSeparator, GetField and AlertTimeToSeconds over arbitrary texts. The
// first bytes choose the separator, the field number and the buffer's
// capacity; the buffer is exactly that large, so any write past it is
// caught. A field that is reported to fit must be a piece of the text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "evtrelay/alert_fields.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const char separator = static_cast<char>(data[0]);
  const int fieldNumber = static_cast<int>(data[1] % 8) - 1;
  const size_t capacity = 1 + data[2] % 16;
  const std::string text(reinterpret_cast<const char*>(data) + 3, size - 3);
  const char* terminated = text.c_str();

  const std::ptrdiff_t found = FindSeparator(terminated, 0, separator);
  if (found >= 0 &&
      (static_cast<size_t>(found) >= std::strlen(terminated) || terminated[found] != separator)) {
    std::abort();
  }

  std::vector<char> buffer(capacity);
  const int fits = GetField(terminated, separator, fieldNumber, buffer.data(), capacity);
  const size_t length = strnlen(buffer.data(), capacity);
  if (length == capacity) std::abort();
  if (fits == 1 && (std::strchr(buffer.data(), '\n') != nullptr ||
                    std::strstr(terminated, buffer.data()) == nullptr)) {
    std::abort();
  }

  // The same text as time and date, split at its first NUL when it has one.
  const size_t split = std::strlen(terminated);
  const std::string date = split < text.size() ? text.substr(split + 1) : text;
  int32_t seconds = 0;
  AlertTimeToSeconds(terminated, date.c_str(), &seconds);
  return 0;
}
