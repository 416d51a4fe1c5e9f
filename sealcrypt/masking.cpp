#include "sealcrypt/masking.h"

#include <cstring>

#include "common/bounded_length.h"
#include "sealcrypt/feedback_stream.h"
#include "sealcrypt/secure_wipe.h"

namespace {

constexpr std::size_t kMaxMaskLength = 64;

constexpr std::uint8_t Byte(unsigned value) { return static_cast<std::uint8_t>(value); }

/// The class of a byte on the range path: its first value and its size.
struct ByteClass {
  unsigned first;
  unsigned size;
};

constexpr ByteClass ClassOf(unsigned p) {
  if (p < 32) return {0, 32};
  if (p < 127) return {32, 95};
  return {127, 129};
}

enum class Direction { kMask, kUnmask };

/// MaskText and UnmaskText: the path is chosen on the input, and both run
/// their steps in the same order, the streams' directions differing.

int Transform(const char* firstKey, const char* secondKey, const char* input, char* output,
              Direction direction) {
  const std::size_t length = BoundedLength(input, kMaxMaskLength);
  if (length < 1 || length > kMaxMaskLength) return -1;
  std::uint8_t work[kMaxMaskLength + 1];
  std::memcpy(work, input, length + 1);
  AlphabetTable table;
  const int n = BuildAlphabet(table);
  CipherState state;
  DeriveCipherState(state, firstKey, secondKey);

  const bool mask = direction == Direction::kMask;
  int result = 0;
  if (CheckInAlphabet(table, input, length) == 0) {
    const auto pass = mask ? AlphabetStreamEncrypt : AlphabetStreamDecrypt;
    MapToIndices(table, work, length);
    pass(state, n, work, length);
    ReverseBytes(work, length);
    pass(state, n, work, length);
    MapFromIndices(table, work, length);
  } else {
    const auto pass = mask ? RangeStreamEncrypt : RangeStreamDecrypt;
    pass(state, work, length);
    ReverseBytes(work, length);
    pass(state, work, length);
    // A control character can come out as 0; the masked text would end
    // there and could not be unmasked, so such a mask is refused.
    if (mask && std::memchr(work, 0, length) != nullptr) result = -1;
  }
  if (result == 0) {
    const auto* text = reinterpret_cast<const char*>(work);
    std::memcpy(output, work, BoundedLength(text, length) + 1);
  }
  SecureWipe(work, sizeof work);
  SecureWipe(&state, sizeof state);
  return result;
}

}  // namespace

int MaskText(const char* firstKey, const char* secondKey, const char* plaintext, char* text) {
  return Transform(firstKey, secondKey, plaintext, text, Direction::kMask);
}

int UnmaskText(const char* firstKey, const char* secondKey, const char* masked, char* plaintext) {
  return Transform(firstKey, secondKey, masked, plaintext, Direction::kUnmask);
}

void MapToIndices(const AlphabetTable& table, std::uint8_t* bytes, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) bytes[i] = table[bytes[i] - 32u];
}

void MapFromIndices(const AlphabetTable& table, std::uint8_t* bytes, std::size_t length) {
  std::uint8_t reverse[95] = {};
  for (unsigned i = 0; i < table.size(); ++i) {
    if (table[i] != kNotInAlphabet) reverse[table[i]] = Byte(32 + i);
  }
  for (std::size_t i = 0; i < length; ++i) bytes[i] = reverse[bytes[i]];
}

void ReverseBytes(std::uint8_t* bytes, std::size_t length) {
  for (std::size_t i = 0; i < length / 2; ++i) {
    const std::uint8_t swap = bytes[i];
    bytes[i] = bytes[length - 1 - i];
    bytes[length - 1 - i] = swap;
  }
}

void AlphabetStreamEncrypt(const CipherState& state, int n, std::uint8_t* bytes,
                           std::size_t length) {
  const auto size = static_cast<unsigned>(n);
  FeedbackStream(state, bytes, length, [size](unsigned x, unsigned k) {
    const std::uint8_t y = Byte((x + k) % size);
    return StreamStep{y, y};
  });
}

void AlphabetStreamDecrypt(const CipherState& state, int n, std::uint8_t* bytes,
                           std::size_t length) {
  const auto size = static_cast<unsigned>(n);
  // The least multiple of n that is at least 256 keeps s - k + m positive.
  const unsigned m = size * ((size + 255) / size);
  FeedbackStream(state, bytes, length, [size, m](unsigned s, unsigned k) {
    return StreamStep{Byte((s - k + m) % size), Byte(s)};
  });
}

void RangeStreamEncrypt(const CipherState& state, std::uint8_t* bytes, std::size_t length) {
  FeedbackStream(state, bytes, length, [](unsigned p, unsigned k) {
    const ByteClass c = ClassOf(p);
    const std::uint8_t y = Byte(c.first + (p - c.first + k) % c.size);
    return StreamStep{y, y};
  });
}

void RangeStreamDecrypt(const CipherState& state, std::uint8_t* bytes, std::size_t length) {
  FeedbackStream(state, bytes, length, [](unsigned s, unsigned k) {
    const ByteClass c = ClassOf(s);
    // The least multiple of the class size that is at least 256 keeps the
    // difference from going below zero.
    const unsigned lift = c.size * ((c.size + 255) / c.size);
    return StreamStep{Byte(c.first + (s - c.first + lift - k) % c.size), Byte(s)};
  });
}
