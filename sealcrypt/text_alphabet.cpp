#include "sealcrypt/text_alphabet.h"

int BuildAlphabet(AlphabetTable& table) {
  table.fill(0);
  for (const char* c = ExcludedChars; *c != '\0'; ++c) {
    const unsigned code = static_cast<unsigned char>(*c);
    if (code >= 32 && code <= 126) table[code - 32] = kNotInAlphabet;
  }
  int next = 0;
  for (std::uint8_t& entry : table) {
    if (entry != kNotInAlphabet) entry = static_cast<std::uint8_t>(next++);
  }
  return next;
}

int CheckInAlphabet(const AlphabetTable& table, const char* characters, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned code = static_cast<unsigned char>(characters[i]);
    if (code < 32 || code > 126 || table[code - 32] == kNotInAlphabet) return -1;
  }
  return 0;
}

static_assert(sizeof ExcludedChars - 1 < 95, "the text alphabet keeps at least one character");
