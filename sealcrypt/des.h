#pragma once
// Single DES (FIPS 46-3) on one 8-byte block. Byte 0 of a block or key holds
// the standard's bits 1 to 8, bit 1 most significant; the low bit of each
// key byte is a parity bit and takes no part. Every 8-byte value is a key.

#include <cstdint>

/// One round's subkey of 48 bits in the packed form the round function
/// takes: the odd-numbered six-bit groups in `even`, the even-numbered in
/// `odd` (groups counted from 1 as in the standard, words from 0).
struct DesSubkey {
  std::uint32_t even;
  std::uint32_t odd;
};

/// The 16 subkeys in the order DesRounds applies them: subkey 1 first for
/// encryption, subkey 16 first for decryption.
struct DesSchedule {
  DesSubkey subkeys[16];
};

/// Direction 0 encrypts; every other value decrypts.
inline constexpr int kDesEncrypt = 0;

/// The key schedule of `key` (8 bytes) for `direction`.
void DesKeySchedule(const std::uint8_t* key, DesSchedule& schedule, int direction);

/// IP, 16 rounds under `schedule` in its order, IP^-1. `output` may be `input`.
void DesRounds(const DesSchedule& schedule, const std::uint8_t* input, std::uint8_t* output);

/// Encrypts (direction 0) or decrypts `input` under `key` into `output`,
/// with a fresh key schedule. The arguments may all be one buffer. 0, or -1
/// with nothing written when an argument is missing.
int DesBlock(const std::uint8_t* key, const std::uint8_t* input, std::uint8_t* output,
             int direction);
