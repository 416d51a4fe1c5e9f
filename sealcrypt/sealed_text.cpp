#include "sealcrypt/sealed_text.h"

#include <cstdint>
#include <cstring>

#include "sealcrypt/crypt64.h"
#include "sealcrypt/des.h"
#include "sealcrypt/secure_wipe.h"
#include "sealcrypt/text_length.h"

namespace {

/// Salt bytes ahead of the plaintext.
constexpr std::size_t kSaltLength = 2;
constexpr std::size_t kMaxSealedBytes = kMaxPlaintextLength + kSaltLength;
static_assert(Crypt64Length(kMaxSealedBytes) == kMaxSealedLength);

/// The feedback stream over `count` bytes in place. The register starts as
/// R0; before each byte it is encrypted under K, its first byte is the key
/// byte added to (sealing) or subtracted from (unsealing) the data byte,
/// and the sealed byte then takes that first byte's place.
void FeedbackStream(const CipherState& state, std::uint8_t* bytes, std::size_t count, bool seal) {
  std::uint8_t reg[8];
  std::memcpy(reg, state.r0, sizeof reg);
  for (std::size_t i = 0; i < count; ++i) {
    DesBlock(state.k, reg, reg, kDesEncrypt);
    const std::uint8_t k = reg[0];
    const std::uint8_t sealed = seal ? static_cast<std::uint8_t>(bytes[i] + k) : bytes[i];
    bytes[i] = seal ? sealed : static_cast<std::uint8_t>(sealed - k);
    reg[0] = sealed;
  }
  SecureWipe(reg, sizeof reg);
}

}  // namespace

int SealText(const CipherState& state, const char* plaintext, char* text) {
  const std::size_t n = BoundedLength(plaintext, kMaxPlaintextLength);
  if (n < 1 || n > kMaxPlaintextLength) return -1;
  std::uint8_t salted[kMaxSealedBytes];
  salted[0] = RandomByte();
  salted[1] = RandomByte();
  std::memcpy(salted + kSaltLength, plaintext, n);
  const std::size_t count = n + kSaltLength;
  FeedbackStream(state, salted, count, true);
  Crypt64EncodeRandomFill(salted, static_cast<int>(count), text);
  SecureWipe(salted, sizeof salted);
  return 0;
}

int UnsealText(const CipherState& state, char* output, const char* sealed) {
  const std::size_t length = BoundedLength(sealed, kMaxSealedLength);
  if (length > kMaxSealedLength) return -1;
  std::uint8_t work[kMaxSealedBytes];
  const int count = Crypt64Decode(sealed, length, work);
  if (count <= static_cast<int>(kSaltLength)) {
    SecureWipe(work, sizeof work);
    return -1;
  }
  FeedbackStream(state, work, static_cast<std::size_t>(count), false);
  const std::size_t n = static_cast<std::size_t>(count) - kSaltLength;
  std::memcpy(output, work + kSaltLength, n);
  output[n] = '\0';
  SecureWipe(work, sizeof work);
  return 0;
}
