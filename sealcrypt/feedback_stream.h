#pragma once
// The feedback that every stream of the cipher shares: a register that
// starts as R0 and is encrypted under K before each byte; its first byte
// is the key byte for that data byte, and the byte the step returns as
// feedback then takes its place.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sealcrypt/cipher_state.h"
#include "sealcrypt/des.h"
#include "sealcrypt/secure_wipe.h"

/// What one step makes of a data byte: the output, and the byte that goes
/// back into the register.
struct StreamStep {
  std::uint8_t output;
  std::uint8_t feedback;
};

/// Runs `step(x, k)` over `length` bytes in place, x the data byte and k
/// the key byte.
template <typename Step>
void FeedbackStream(const CipherState& state, std::uint8_t* bytes, std::size_t length, Step step) {
  std::uint8_t reg[8];
  std::memcpy(reg, state.r0, sizeof reg);
  for (std::size_t i = 0; i < length; ++i) {
    DesBlock(state.k, reg, reg, kDesEncrypt);
    const StreamStep result = step(static_cast<unsigned>(bytes[i]), static_cast<unsigned>(reg[0]));
    bytes[i] = result.output;
    reg[0] = result.feedback;
  }
  SecureWipe(reg, sizeof reg);
}
