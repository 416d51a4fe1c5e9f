// Feeds SealCrypt's unseal modes (and so Crypt64Decode and UnsealText) any
// text, and checks what a caller relies on: the result is 0 or -1, a
// refusal leaves the plaintext buffer as it was, a success writes a
// terminated plaintext of at most 64 bytes, the text mode accepts exactly
// the byte mode's printable results, and whatever decodes re-encodes to the
// same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "sealcrypt/crypt64.h"
#include "sealcrypt/sealcrypt.h"

namespace {

constexpr char kFirstKey[] = "AbCdEfGhIjE";
constexpr char kSecondKey[] = "0123456789.";

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The text buffer holds up to 99 bytes and is always terminated, so texts
  // over 88 characters are tried too.
  char text[100] = {};
  std::memcpy(text, data, size < sizeof text - 1 ? size : sizeof text - 1);

  char bytes[kPlaintextCapacity];
  std::memset(bytes, 0x5A, sizeof bytes);
  const int byteResult = SealCrypt(kFirstKey, kSecondKey, bytes, text, MODE_UNSEAL);
  Check(byteResult == 0 || byteResult == -1);
  if (byteResult == -1) {
    for (const char c : bytes) Check(c == 0x5A);
  } else {
    Check(std::memchr(bytes, 0, sizeof bytes) != nullptr);
  }

  char printable[kPlaintextCapacity];
  std::memset(printable, 0x5A, sizeof printable);
  const int textResult = SealCrypt(kFirstKey, kSecondKey, printable, text, MODE_UNSEAL_TEXT);
  bool allPrintable = byteResult == 0;
  for (const char* c = bytes; allPrintable && *c != '\0'; ++c) {
    allPrintable = *c >= 32 && *c <= 126;
  }
  Check((textResult == 0) == allPrintable);
  if (textResult == 0) {
    Check(std::strcmp(printable, bytes) == 0);
  } else {
    for (const char c : printable) Check(c == 0x5A);
  }

  const std::size_t length = std::strlen(text);
  std::uint8_t decoded[80];
  const int count = Crypt64Decode(text, length, decoded);
  Check(count >= -1 && count <= static_cast<int>(3 * length / 4));
  if (count >= 0) {
    char encoded[110];
    Crypt64EncodeZeroFill(decoded, count, encoded);
    std::uint8_t again[80];
    Check(Crypt64Decode(encoded, std::strlen(encoded), again) == count);
    Check(std::memcmp(decoded, again, static_cast<std::size_t>(count)) == 0);
  }
  return 0;
}
