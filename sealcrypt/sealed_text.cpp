#include "sealcrypt/sealed_text.h"

#include <cstdint>
#include <cstring>

#include "common/bounded_length.h"
#include "sealcrypt/crypt64.h"
#include "sealcrypt/feedback_stream.h"
#include "sealcrypt/secure_wipe.h"

namespace {

/// Salt bytes ahead of the plaintext.
constexpr std::size_t kSaltLength = 2;
constexpr std::size_t kMaxSealedBytes = kMaxPlaintextLength + kSaltLength;
static_assert(Crypt64Length(kMaxSealedBytes) == kMaxSealedLength);

/// The salted stream: the key byte is added to each data byte (sealing) or
/// subtracted from it (unsealing), and the sealed byte is the feedback.
void SealStream(const CipherState& state, std::uint8_t* bytes, std::size_t count) {
  FeedbackStream(state, bytes, count, [](unsigned x, unsigned k) {
    const auto sealed = static_cast<std::uint8_t>(x + k);
    return StreamStep{sealed, sealed};
  });
}

void UnsealStream(const CipherState& state, std::uint8_t* bytes, std::size_t count) {
  FeedbackStream(state, bytes, count, [](unsigned sealed, unsigned k) {
    return StreamStep{static_cast<std::uint8_t>(sealed - k), static_cast<std::uint8_t>(sealed)};
  });
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
  SealStream(state, salted, count);
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
  UnsealStream(state, work, static_cast<std::size_t>(count));
  const std::size_t n = static_cast<std::size_t>(count) - kSaltLength;
  std::memcpy(output, work + kSaltLength, n);
  output[n] = '\0';
  SecureWipe(work, sizeof work);
  return 0;
}
