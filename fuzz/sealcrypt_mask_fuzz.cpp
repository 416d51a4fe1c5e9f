// Masks and seals any text of 1 to 64 bytes and checks the round trips: a
// mask that succeeds has the text's length and mirrored classes and unmasks
// to the text; a refused mask leaves the text buffer as it was; a seal of
// the same bytes unseals to them. The first input byte, when below 8,
// selects the first key string from the bytes after it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "sealcrypt/sealcrypt.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

int ClassOf(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b < 32 ? 0 : b <= 126 ? 1 : 2;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char firstKey[kKeyStringCapacity] = "AbCdEfGhIjE";
  if (size > 12 && data[0] < 8) {
    std::memcpy(firstKey, data + 1, 11);
    if (firstKey[0] == '\0') return 0;
    data += 12;
    size -= 12;
  }
  char plaintext[kPlaintextCapacity] = {};
  std::memcpy(plaintext, data, size < 64 ? size : 64);
  const std::size_t length = std::strlen(plaintext);
  if (length == 0) return 0;

  char masked[kSealedCapacity];
  std::memset(masked, 0x5A, sizeof masked);
  const int result = SealCrypt(firstKey, "0123456789.", plaintext, masked, MODE_MASK);
  Check(result == 0 || result == -1);
  if (result == 0) {
    Check(std::strlen(masked) == length);
    for (std::size_t i = 0; i < length; ++i) {
      Check(ClassOf(masked[i]) == ClassOf(plaintext[length - 1 - i]));
    }
    char unmasked[kPlaintextCapacity];
    Check(SealCrypt(firstKey, "0123456789.", unmasked, masked, MODE_UNMASK) == 0);
    Check(std::strcmp(unmasked, plaintext) == 0);
  } else {
    for (const char c : masked) Check(c == 0x5A);
  }

  char sealed[kSealedCapacity];
  Check(SealCrypt(firstKey, "0123456789.", plaintext, sealed, MODE_SEAL) == 0);
  char unsealed[kPlaintextCapacity];
  Check(SealCrypt(firstKey, "0123456789.", unsealed, sealed, MODE_UNSEAL) == 0);
  Check(std::strcmp(unsealed, plaintext) == 0);
  return 0;
}
