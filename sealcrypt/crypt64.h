#pragma once
// The kit's base-64 text form: groups of three bytes as four characters of
// CRYPT64_ALPHABET, most significant bits first; a last group of one or two
// bytes as two or three characters whose low bits beyond the data (4 or 2)
// are fill. No padding characters, no line breaks, a terminating zero.

#include <cstddef>
#include <cstdint>

/// Value v (0 to 63) is written as CRYPT64_ALPHABET[v].
inline constexpr char CRYPT64_ALPHABET[] =
    "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

/// Characters for `count` bytes, without the terminator: ceil(4 * count / 3).
constexpr std::size_t Crypt64Length(std::size_t count) { return (4 * count + 2) / 3; }

/// Encodes `count` bytes with zero fill bits into `output`, which receives
/// Crypt64Length(count) characters and a zero byte. A count of 0 or below
/// writes the zero byte alone.
void Crypt64EncodeZeroFill(const std::uint8_t* bytes, int count, char* output);

/// As Crypt64EncodeZeroFill, with the fill bits of a last short group taken
/// from one RandomByte draw (none when count is a multiple of 3).
void Crypt64EncodeRandomFill(const std::uint8_t* bytes, int count, char* output);

/// Decodes `length` characters of `text` into `output`, which must hold
/// 3 * length / 4 bytes. The number of bytes, or -1 for a character outside
/// the alphabet or a length of the form 4k + 1; on -1 the bytes of earlier
/// groups may already stand in `output`. Fill bits are not looked at.
int Crypt64Decode(const char* text, std::size_t length, std::uint8_t* output);
