// The POSIX profile reader over arbitrary bytes: "section NUL key NUL text".
// The same text fed in pieces (split where the input says) must give the
// same value as fed whole, and no read or write may leave the input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/profile_scan.h"

using platform::posix::ProfileIntFromText;
using platform::posix::ProfileScan;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const char* sectionEnd = static_cast<const char*>(std::memchr(bytes, 0, size));
  if (sectionEnd == nullptr) return 0;
  const std::string section(bytes, sectionEnd);
  const size_t keyStart = section.size() + 1;
  const char* keyEnd = static_cast<const char*>(std::memchr(bytes + keyStart, 0, size - keyStart));
  if (keyEnd == nullptr) return 0;
  const std::string key(bytes + keyStart, keyEnd);
  const size_t textStart = static_cast<size_t>(keyEnd - bytes) + 1;
  // An exact-size copy, so reading past the text is caught.
  const size_t textSize = size - textStart;
  char* text = static_cast<char*>(std::malloc(textSize == 0 ? 1 : textSize));
  std::memcpy(text, bytes + textStart, textSize);

  const int whole = ProfileIntFromText(text, textSize, section.c_str(), key.c_str(), -1);
  ProfileScan scan(section.c_str(), key.c_str(), -1);
  size_t at = 0;
  uint32_t step = 1;
  while (at < textSize) {
    step = step * 1103515245u + 12345u;
    const size_t piece = 1 + (step >> 16) % 7;
    const size_t n = piece < textSize - at ? piece : textSize - at;
    scan.Feed(text + at, n);
    at += n;
  }
  if (scan.Finish() != whole) std::abort();
  std::free(text);
  return 0;
}
