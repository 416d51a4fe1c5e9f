#pragma once
// The text alphabet: the printable characters from space (32) to tilde
// (126) that ExcludedChars does not name, indexed in ascending code order.

#include <array>
#include <cstddef>
#include <cstdint>

/// Characters left out of the text alphabet; those below 32 or above 126
/// are ignored. Empty: every printable character belongs to it.
inline constexpr char ExcludedChars[] = "";

/// Entry i stands for the character with code 32 + i: its index in the text
/// alphabet, or kNotInAlphabet.
using AlphabetTable = std::array<std::uint8_t, 95>;

inline constexpr std::uint8_t kNotInAlphabet = 255;

/// Fills `table`; returns the alphabet's size N (95 with no exclusions).
int BuildAlphabet(AlphabetTable& table);

/// 0 when each of the first `length` characters is in the alphabet, else -1.
int CheckInAlphabet(const AlphabetTable& table, const char* characters, std::size_t length);
