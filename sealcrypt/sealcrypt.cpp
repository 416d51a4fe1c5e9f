#include "sealcrypt/sealcrypt.h"

#include <cstring>

#include "common/bounded_length.h"
#include "sealcrypt/cipher_state.h"
#include "sealcrypt/crypt64.h"
#include "sealcrypt/masking.h"
#include "sealcrypt/sealed_text.h"
#include "sealcrypt/secure_wipe.h"
#include "sealcrypt/text_alphabet.h"

static_assert(sizeof KeyPhrase1 - 1 == 14 && sizeof KeyPhrase2 - 1 == 15);
static_assert(Crypt64Length(8) + 1 == kKeyStringCapacity);

namespace {

/// MODE_SEAL_TEXT and MODE_SEAL.
int Seal(const char* firstKey, const char* secondKey, const char* plaintext, char* text,
         bool textOnly) {
  const std::size_t length = BoundedLength(plaintext, kMaxPlaintextLength);
  if (length < 1 || length > kMaxPlaintextLength) return -1;
  if (textOnly) {
    AlphabetTable table;
    BuildAlphabet(table);
    if (CheckInAlphabet(table, plaintext, length) != 0) return -1;
  }
  CipherState state;
  DeriveCipherState(state, firstKey, secondKey);
  char sealed[kSealedCapacity];
  SealText(state, plaintext, sealed);
  SecureWipe(&state, sizeof state);
  std::memcpy(text, sealed, std::strlen(sealed) + 1);
  return 0;
}

/// MODE_UNSEAL_TEXT and MODE_UNSEAL.
int Unseal(const char* firstKey, const char* secondKey, char* plaintext, const char* text,
           bool textOnly) {
  const std::size_t length = BoundedLength(text, kMaxSealedLength);
  if (length < 1 || length > kMaxSealedLength) return -1;
  CipherState state;
  DeriveCipherState(state, firstKey, secondKey);
  char work[kPlaintextCapacity];
  int result = UnsealText(state, work, text);
  SecureWipe(&state, sizeof state);
  if (result == 0 && textOnly) {
    AlphabetTable table;
    BuildAlphabet(table);
    result = CheckInAlphabet(table, work, std::strlen(work));
  }
  if (result == 0) std::memcpy(plaintext, work, std::strlen(work) + 1);
  SecureWipe(work, sizeof work);
  return result;
}

}  // namespace

int SealCrypt(const char* firstKey, const char* secondKey, char* plaintext, char* text,
              unsigned mode) {
  if (firstKey == nullptr || firstKey[0] == '\0' || secondKey == nullptr || plaintext == nullptr ||
      text == nullptr || mode > MODE_UNSEAL) {
    return -1;
  }
  switch (mode) {
    case MODE_SEAL_TEXT:
      return Seal(firstKey, secondKey, plaintext, text, true);
    case MODE_UNSEAL_TEXT:
      return Unseal(firstKey, secondKey, plaintext, text, true);
    case MODE_MASK:
      return MaskText(firstKey, secondKey, plaintext, text);
    case MODE_UNMASK:
      return UnmaskText(firstKey, secondKey, text, plaintext);
    case MODE_SEAL:
      return Seal(firstKey, secondKey, plaintext, text, false);
    default:
      return Unseal(firstKey, secondKey, plaintext, text, false);
  }
}

int DeriveKeyStrings(const char* firstPhrase, const char* secondPhrase, char* firstKey,
                     char* secondKey) {
  if (firstPhrase == nullptr || firstPhrase[0] == '\0' || secondPhrase == nullptr ||
      secondPhrase[0] == '\0' || firstKey == nullptr || secondKey == nullptr) {
    return -1;
  }
  CipherState state;
  DeriveCipherState(state, firstPhrase, secondPhrase);
  Crypt64EncodeZeroFill(state.k, sizeof state.k, firstKey);
  Crypt64EncodeZeroFill(state.r0, sizeof state.r0, secondKey);
  SecureWipe(&state, sizeof state);
  return 0;
}
