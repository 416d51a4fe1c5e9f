#pragma once
// The length of a text that may be too long for its buffer, read no
// further than that tells. Header only: the cipher, which depends on
// nothing else of the kit, uses it as the programs do.

#include <cstddef>

/// The number of characters of `text` before its terminator, looking at no
/// more than limit + 1 of them: a result above `limit` means "too long".
inline std::size_t BoundedLength(const char* text, std::size_t limit) {
  std::size_t length = 0;
  while (length <= limit && text[length] != '\0') ++length;
  return length;
}
