// The line of a secret both backends read the same way: byte by byte into
// the caller's buffer, so that no other buffer holds a copy and nothing past
// the line is taken from the input.

#include "platform/platform.h"
#include "platform/secret_line_backend.h"

namespace platform {

namespace {

/// What one byte, read into line[length], makes of the line.
enum class Byte { kMore, kLineEnd, kZero };

Byte Classify(char* line, std::size_t* length) {
  if (line[*length] == '\n') {
    line[*length] = '\0';
    // CR LF ends the line as LF does.
    if (*length > 0 && line[*length - 1] == '\r') line[--*length] = '\0';
    return Byte::kLineEnd;
  }
  if (line[*length] == '\0') return Byte::kZero;
  ++*length;
  return Byte::kMore;
}

/// A full buffer: a line too long, and read no further, unless it ends in
/// CR and the next byte, read into the terminator's place, is the LF of a
/// CR LF line end.
void EndFullLine(char* line, std::size_t limit) {
  if (limit > 0 && line[limit - 1] == '\r' && backend::ReadInputByte(&line[limit]) == 1 &&
      line[limit] == '\n') {
    line[limit - 1] = '\0';
  }
  line[limit] = '\0';
}

/// Reads into `line` until the line end or the end of the input.
bool ReadLine(char* line, std::size_t capacity) {
  const std::size_t limit = capacity - 1;
  for (std::size_t length = 0;;) {
    if (length == limit) {
      EndFullLine(line, limit);
      return true;
    }
    const int read = backend::ReadInputByte(&line[length]);
    if (read < 0) return false;
    if (read == 0) {
      line[length] = '\0';
      return true;
    }
    const Byte byte = Classify(line, &length);
    if (byte != Byte::kMore) return byte == Byte::kLineEnd;
  }
}

}  // namespace

bool ReadSecretLine(char* line, std::size_t capacity) {
  if (capacity == 0) return false;
  backend::HideInputEcho();
  const bool read = ReadLine(line, capacity);
  backend::RestoreInputEcho();
  return read;
}

}  // namespace platform
