#include "sealcrypt/crypt64.h"

#include <array>

#include "sealcrypt/cipher_state.h"

namespace {

constexpr std::uint8_t kInvalid = 255;

constexpr auto kDecodeTable = [] {
  std::array<std::uint8_t, 256> table{};
  table.fill(kInvalid);
  for (int v = 0; v < 64; ++v) table[static_cast<unsigned char>(CRYPT64_ALPHABET[v])] = v;
  return table;
}();

/// `fill` supplies the low bits of a last short group: a zero, or a draw.
template <typename Fill>
void Encode(const std::uint8_t* bytes, int count, char* output, Fill fill) {
  char* out = output;
  int i = 0;
  for (; count - i >= 3; i += 3) {
    const unsigned x = bytes[i];
    const unsigned y = bytes[i + 1];
    const unsigned z = bytes[i + 2];
    *out++ = CRYPT64_ALPHABET[x >> 2];
    *out++ = CRYPT64_ALPHABET[((x & 3) << 4) | (y >> 4)];
    *out++ = CRYPT64_ALPHABET[((y & 15) << 2) | (z >> 6)];
    *out++ = CRYPT64_ALPHABET[z & 63];
  }
  if (count - i == 1) {
    const unsigned x = bytes[i];
    *out++ = CRYPT64_ALPHABET[x >> 2];
    *out++ = CRYPT64_ALPHABET[((x & 3) << 4) | (fill() & 15)];
  } else if (count - i == 2) {
    const unsigned x = bytes[i];
    const unsigned y = bytes[i + 1];
    *out++ = CRYPT64_ALPHABET[x >> 2];
    *out++ = CRYPT64_ALPHABET[((x & 3) << 4) | (y >> 4)];
    *out++ = CRYPT64_ALPHABET[((y & 15) << 2) | (fill() & 3)];
  }
  *out = '\0';
}

}  // namespace

void Crypt64EncodeZeroFill(const std::uint8_t* bytes, int count, char* output) {
  Encode(bytes, count, output, [] { return 0u; });
}

void Crypt64EncodeRandomFill(const std::uint8_t* bytes, int count, char* output) {
  Encode(bytes, count, output, [] { return static_cast<unsigned>(RandomByte()); });
}

int Crypt64Decode(const char* text, std::size_t length, std::uint8_t* output) {
  const auto value = [&](std::size_t i) {
    return kDecodeTable[static_cast<unsigned char>(text[i])];
  };
  std::size_t count = 0;
  std::size_t i = 0;
  for (; length - i >= 4; i += 4) {
    const unsigned d0 = value(i), d1 = value(i + 1), d2 = value(i + 2), d3 = value(i + 3);
    if (d0 == kInvalid || d1 == kInvalid || d2 == kInvalid || d3 == kInvalid) return -1;
    output[count++] = static_cast<std::uint8_t>((d0 << 2) | (d1 >> 4));
    output[count++] = static_cast<std::uint8_t>((d1 << 4) | (d2 >> 2));
    output[count++] = static_cast<std::uint8_t>((d2 << 6) | d3);
  }
  switch (length - i) {
    case 1:
      return -1;
    case 2: {
      const unsigned d0 = value(i), d1 = value(i + 1);
      if (d0 == kInvalid || d1 == kInvalid) return -1;
      output[count++] = static_cast<std::uint8_t>((d0 << 2) | (d1 >> 4));
      break;
    }
    case 3: {
      const unsigned d0 = value(i), d1 = value(i + 1), d2 = value(i + 2);
      if (d0 == kInvalid || d1 == kInvalid || d2 == kInvalid) return -1;
      output[count++] = static_cast<std::uint8_t>((d0 << 2) | (d1 >> 4));
      output[count++] = static_cast<std::uint8_t>((d1 << 4) | (d2 >> 2));
      break;
    }
    default:
      break;
  }
  return static_cast<int>(count);
}
