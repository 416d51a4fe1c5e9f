#pragma once
// The key material of the sealing cipher: CBC absorption of byte strings
// under DES, the cipher state derived from two strings, and the
// process-wide source of salt and fill bytes.

#include <cstddef>
#include <cstdint>

/// The DES key and the initial feedback register of the cipher's streams.
struct CipherState {
  std::uint8_t k[8];   ///< DES key of the streams
  std::uint8_t r0[8];  ///< initial value of the feedback register
};

/// Folds `length` bytes into the 8-byte `chaining` value: each 8-byte block
/// (the last one zero-padded) is XORed in and the value encrypted under
/// `key`. 0, or -1 with `chaining` untouched when an argument is missing or
/// `length` is 0.
int CbcAbsorb(const std::uint8_t* key, const std::uint8_t* bytes, std::size_t length,
              std::uint8_t* chaining);

/// K and R0 from the two strings (their characters before the terminator):
/// K absorbs the second string under the zero key, R0 the first under K, K
/// the second again under R0. The result of the last absorption: -1 when
/// the second string is empty. Both strings must be present.
int DeriveCipherState(CipherState& state, const char* first, const char* second);

/// One byte from the process's random state, which starts at zero, mixes in
/// the clock's seconds and this function's address on every call and
/// advances by one DES encryption of itself under itself. Not thread-safe.
std::uint8_t RandomByte();
