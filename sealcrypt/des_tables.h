#pragma once
// The tables of FIPS 46-3 as the standard prints them, and the lookup tables
// the DES code uses, generated from them at compile time. Bits are numbered
// as in the standard: bit 1 is the most significant bit of byte 0.

#include <array>
#include <cstdint>

namespace des_tables {

// --- FIPS 46-3, as printed ----------------------------------------------

/// IP (FIPS 46-3, "Initial Permutation").
inline constexpr std::uint8_t kInitialPermutation[64] = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,  //
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,  //
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,  //
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7,
};

/// IP^-1 (FIPS 46-3, "Inverse Initial Permutation").
inline constexpr std::uint8_t kFinalPermutation[64] = {
    40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,  //
    38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,  //
    36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,  //
    34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25,
};

/// E (FIPS 46-3, "E BIT-SELECTION TABLE").
inline constexpr std::uint8_t kExpansion[48] = {
    32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,  //
    12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,  //
    22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1,
};

/// P (FIPS 46-3, the permutation function of the cipher function f).
inline constexpr std::uint8_t kPermutation[32] = {
    16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,  //
    2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25,
};

/// S1 to S8 (FIPS 46-3, "Primitive Functions"): row, then column.
inline constexpr std::uint8_t kSBoxes[8][4][16] = {
    {{14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7},
     {0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8},
     {4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0},
     {15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13}},
    {{15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10},
     {3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5},
     {0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15},
     {13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9}},
    {{10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8},
     {13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1},
     {13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7},
     {1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12}},
    {{7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15},
     {13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9},
     {10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4},
     {3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14}},
    {{2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9},
     {14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6},
     {4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14},
     {11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3}},
    {{12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11},
     {10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8},
     {9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6},
     {4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13}},
    {{4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1},
     {13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6},
     {1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2},
     {6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12}},
    {{13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7},
     {1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2},
     {7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8},
     {2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}},
};

/// PC-1 (FIPS 46-3, "Permuted Choice 1"): C0 from the first 28 entries, D0
/// from the last 28.
inline constexpr std::uint8_t kPermutedChoice1[56] = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,  //
    10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,  //
    63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,  //
    14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4,
};

/// PC-2 (FIPS 46-3, "Permuted Choice 2"), over the 56 bits of C followed by D.
inline constexpr std::uint8_t kPermutedChoice2[48] = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10,  //
    23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,   //
    41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,  //
    44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32,
};

/// Left shifts of C and D before each of the 16 rounds (FIPS 46-3).
inline constexpr std::uint8_t kLeftShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

constexpr bool RowsArePermutations() {
  for (const auto& box : kSBoxes) {
    for (const auto& row : box) {
      unsigned seen = 0;
      for (const std::uint8_t value : row) seen |= 1u << value;
      if (seen != 0xFFFF) return false;
    }
  }
  return true;
}
static_assert(RowsArePermutations(), "every S-box row holds each of 0 to 15 once");

// --- generated lookup tables ---------------------------------------------

/// The rotation of C and D that subkey n (0-based) sees, counted from C0 and
/// D0, so that every subkey can be formed without its predecessors.
inline constexpr std::array<int, 16> kCumulativeShifts = [] {
  std::array<int, 16> total{};
  int sum = 0;
  for (int round = 0; round < 16; ++round) {
    sum += kLeftShifts[round];
    total[round] = sum;
  }
  return total;
}();
static_assert(kCumulativeShifts[15] == 28, "C and D come full circle after the 16th round");

/// The round function works on each half rotated right by one bit (R'),
/// where the expansion's groups stand in place: group g (0-based) at bit
/// offset 26 - 4g, the last one wrapping around bit 0. Neighbouring groups
/// overlap, so a packed subkey holds groups 0, 2, 4, 6 in its word `even`
/// and groups 1, 3, 5, 7 in `odd`, each at its offset; R' XOR each word
/// gives the S-box inputs (checked below against E).
constexpr int GroupOffset(int group) { return 26 - 4 * group; }

/// Position in its word of bit m (0 first) of a group.
constexpr int GroupBitPosition(int group, int m) { return (GroupOffset(group) + 5 - m + 32) % 32; }

constexpr bool GroupsMatchExpansion() {
  for (int group = 0; group < 8; ++group) {
    for (int m = 0; m < 6; ++m) {
      // R' at position p holds R's bit at p + 1, the standard's bit 32 - p - 1.
      const int position = (GroupBitPosition(group, m) + 1) % 32;
      if (kExpansion[6 * group + m] != 32 - position) return false;
    }
  }
  return true;
}
static_assert(GroupsMatchExpansion(), "the round function's groups are the expansion E");

/// The S-boxes merged with P: entry [box][group] is P applied to the four
/// output bits of S-box `box` for the six-bit input `group` (its first bit
/// most significant), all other S-box outputs zero, rotated right by one
/// bit as the halves are.
inline constexpr auto kSpTables = [] {
  std::array<std::array<std::uint32_t, 64>, 8> sp{};
  for (int box = 0; box < 8; ++box) {
    for (int group = 0; group < 64; ++group) {
      const int row = ((group >> 4) & 2) | (group & 1);
      const int column = (group >> 1) & 15;
      const int value = kSBoxes[box][row][column];
      std::uint32_t f = 0;
      for (int out = 1; out <= 32; ++out) {
        const int in = kPermutation[out - 1] - 1;
        if (in / 4 == box && ((value >> (3 - in % 4)) & 1) != 0) {
          f |= std::uint32_t{1} << (32 - out);
        }
      }
      sp[box][group] = (f >> 1) | (f << 31);
    }
  }
  return sp;
}();

/// A 64-bit permutation applied byte by byte: the output is the OR of
/// spread[byte i] << shift[i] over the eight input bytes. IP and IP^-1 move
/// the bits of every input byte in the same pattern, one bit into each output
/// byte, so one table and eight shifts stand for eight tables.
struct BytePermutation {
  std::array<std::uint64_t, 256> spread;
  std::array<int, 8> shift;
  bool valid;
};

constexpr std::array<std::uint64_t, 256> SpreadOfByte(const std::uint8_t (&permutation)[64],
                                                      int byteIndex) {
  std::array<std::uint64_t, 256> table{};
  for (int value = 0; value < 256; ++value) {
    for (int out = 1; out <= 64; ++out) {
      const int in = permutation[out - 1] - 1;
      if (in / 8 == byteIndex && ((value >> (7 - in % 8)) & 1) != 0) {
        table[value] |= std::uint64_t{1} << (64 - out);
      }
    }
  }
  return table;
}

constexpr BytePermutation MakeBytePermutation(const std::uint8_t (&permutation)[64]) {
  BytePermutation result{};
  result.valid = true;
  // The base is the byte whose bits land in the least significant bit of
  // their output bytes; every other byte's table is the base shifted.
  int base = -1;
  for (int byteIndex = 0; byteIndex < 8; ++byteIndex) {
    if ((SpreadOfByte(permutation, byteIndex)[255] & 0xFEFEFEFEFEFEFEFEull) == 0) base = byteIndex;
  }
  if (base < 0) {
    result.valid = false;
    return result;
  }
  result.spread = SpreadOfByte(permutation, base);
  for (int byteIndex = 0; byteIndex < 8; ++byteIndex) {
    const auto table = SpreadOfByte(permutation, byteIndex);
    result.shift[byteIndex] = -1;
    for (int shift = 0; shift < 8 && result.shift[byteIndex] < 0; ++shift) {
      bool same = true;
      for (int value = 0; value < 256; ++value) {
        same = same && table[value] == result.spread[value] << shift;
      }
      if (same) result.shift[byteIndex] = shift;
    }
    result.valid = result.valid && result.shift[byteIndex] >= 0;
  }
  return result;
}

inline constexpr BytePermutation kInitialTable = MakeBytePermutation(kInitialPermutation);
inline constexpr BytePermutation kFinalTable = MakeBytePermutation(kFinalPermutation);
static_assert(kInitialTable.valid && kFinalTable.valid, "IP and IP^-1 spread bytes uniformly");

constexpr bool FinalInvertsInitial() {
  for (int out = 1; out <= 64; ++out) {
    if (kInitialPermutation[kFinalPermutation[out - 1] - 1] != out) return false;
  }
  return true;
}
static_assert(FinalInvertsInitial(), "IP^-1 is the inverse of IP");

constexpr bool Pc1SkipsParityBits() {
  for (const std::uint8_t bit : kPermutedChoice1) {
    if (bit % 8 == 0) return false;
  }
  return true;
}
static_assert(Pc1SkipsParityBits(), "PC-1 never selects bits 8, 16, ..., 64");

/// PC-1 by key byte: entry [i][v] holds the bits of C0 and D0 (C in bits 28
/// to 55, D in bits 0 to 27, each half's first bit most significant) that
/// the seven upper bits v of key byte i give. The parity bit takes no part,
/// so the index is the byte shifted right by one.
inline constexpr auto kPc1Tables = [] {
  std::array<std::array<std::uint64_t, 128>, 8> pc1{};
  for (int byteIndex = 0; byteIndex < 8; ++byteIndex) {
    for (int value = 0; value < 128; ++value) {
      for (int n = 1; n <= 56; ++n) {
        const int in = kPermutedChoice1[n - 1] - 1;
        if (in / 8 == byteIndex && ((value >> (6 - in % 8)) & 1) != 0) {
          pc1[byteIndex][value] |= std::uint64_t{1} << (56 - n);
        }
      }
    }
  }
  return pc1;
}();

/// Packed position of subkey bit b (0-based).
constexpr int PackedPosition(int b) {
  const int group = b / 6;
  return GroupBitPosition(group, b % 6) + (group % 2 == 0 ? 32 : 0);
}

/// PC-2 by seven-bit chunk of C and D rotated for a round: entry
/// [chunk][v] holds the subkey bits, at their packed positions, that chunk
/// value v gives. Chunks [0..3] are C's bits 1-7, 8-14, 15-21, 22-28,
/// [4..7] the same of D.
inline constexpr auto kPc2Tables = [] {
  std::array<std::array<std::uint64_t, 128>, 8> pc2{};
  for (int chunk = 0; chunk < 8; ++chunk) {
    const int half = chunk / 4;  // 0 for C, 1 for D
    for (int value = 0; value < 128; ++value) {
      for (int b = 0; b < 48; ++b) {
        const int selected = kPermutedChoice2[b] - 1 - 28 * half;  // bit of the half, 0-based
        if (selected < 0 || selected >= 28 || selected / 7 != chunk % 4) continue;
        if (((value >> (6 - selected % 7)) & 1) != 0) {
          pc2[chunk][value] |= std::uint64_t{1} << PackedPosition(b);
        }
      }
    }
  }
  return pc2;
}();

}  // namespace des_tables
