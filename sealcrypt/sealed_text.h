#pragma once
// The sealed text: two salt bytes and the plaintext, run through the
// salted feedback stream and written in Crypt64 with random fill bits.
// A plaintext of n bytes (1 to 64) gives ceil(4 (n + 2) / 3) characters,
// 4 to 88.

#include <cstddef>

#include "sealcrypt/cipher_state.h"
#include "sealcrypt/sealcrypt.h"

/// Seals `plaintext` (1 to 64 bytes before its terminator) under `state`,
/// drawing two salt bytes and, when the sealed byte count is not a multiple
/// of 3, one fill byte from RandomByte, and writes the sealed text and its
/// terminator to `text` (kSealedCapacity bytes). 0; -1 with nothing drawn
/// or written for a plaintext of another length.
int SealText(const CipherState& state, const char* plaintext, char* text);

/// Unseals `sealed` (up to 88 characters before its terminator) under
/// `state` and writes the plaintext and a terminator to `output`
/// (kPlaintextCapacity bytes). -1 for a longer text, one that does not
/// decode or one that decodes to 2 bytes or fewer; `output` then holds
/// nothing of use. Under other key strings the result is wrong bytes, which
/// may hold zeros.
int UnsealText(const CipherState& state, char* output, const char* sealed);
