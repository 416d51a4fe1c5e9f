#pragma once
// The format-preserving modes: a text of 1 to 64 characters masked into
// one of the same length whose every character keeps its class. A text of
// text-alphabet characters only (the alphabet path) masks into such
// characters; any other text takes the range path, on which control
// characters (0-31), printable ones (32-126) and bytes above 126 each stay
// in their range. No salt: the same text and key strings always give the
// same masked text.
//
// Each path is pass, reversal, pass over the whole text, both passes
// starting from R0, so that every position of the result depends on every
// position of the text. The result stays in reversed order: on the range
// path, position i of the masked text has the class of position L - 1 - i
// of the plaintext.

#include <cstddef>
#include <cstdint>

#include "sealcrypt/cipher_state.h"
#include "sealcrypt/text_alphabet.h"

/// Masks `plaintext` into `text` (65 bytes). -1, with `text` unchanged, for
/// a plaintext of 0 or more than 64 characters, and for a range-path result
/// that holds a zero byte: it could not be carried as a string.
int MaskText(const char* firstKey, const char* secondKey, const char* plaintext, char* text);

/// Unmasks `masked` into `plaintext` (65 bytes), taking the path that the
/// masked text's characters choose. -1, with `plaintext` unchanged, for a
/// masked text of 0 or more than 64 characters. A text masked under other
/// key strings gives a wrong text with result 0, cut at a zero byte.
int UnmaskText(const char* firstKey, const char* secondKey, const char* masked, char* plaintext);

/// Each character becomes its index in the text alphabet (all must be in it).
void MapToIndices(const AlphabetTable& table, std::uint8_t* bytes, std::size_t length);

/// Each index (below the alphabet's size) becomes its character.
void MapFromIndices(const AlphabetTable& table, std::uint8_t* bytes, std::size_t length);

/// Reverses the order of the bytes.
void ReverseBytes(std::uint8_t* bytes, std::size_t length);

/// Feedback streams over indices 0 to n - 1 of an alphabet of size n: the
/// register R (R0 at the start) is encrypted under K before each byte, and
/// its first byte k moves the index by +k (encrypt) or -k (decrypt) modulo
/// n; the masked index then replaces R's first byte.
void AlphabetStreamEncrypt(const CipherState& state, int n, std::uint8_t* bytes,
                           std::size_t length);
void AlphabetStreamDecrypt(const CipherState& state, int n, std::uint8_t* bytes,
                           std::size_t length);

/// The same feedback over bytes, each moved within its class (0-31, 32-126,
/// 127-255) modulo the class's size.
void RangeStreamEncrypt(const CipherState& state, std::uint8_t* bytes, std::size_t length);
void RangeStreamDecrypt(const CipherState& state, std::uint8_t* bytes, std::size_t length);
