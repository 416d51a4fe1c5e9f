#include "sealcrypt/des.h"

#include <bit>
#include <cstddef>
#include <utility>

#include "sealcrypt/des_tables.h"

namespace {

using des_tables::kCumulativeShifts;
using des_tables::kFinalTable;
using des_tables::kInitialTable;
using des_tables::kPc1Tables;
using des_tables::kPc2Tables;
using des_tables::kSpTables;

constexpr std::uint32_t kHalfMask = 0x0FFFFFFF;

// The helpers below are forced inline: the rounds only run at speed when
// all 16 of them are one straight stretch of code with constant shifts and
// subkey offsets, which the compiler's size limits would otherwise break up.
#define DES_INLINE [[gnu::always_inline]] inline

DES_INLINE std::uint64_t LoadBlock(const std::uint8_t* bytes) {
  return [&]<std::size_t... i>(std::index_sequence<i...>) {
    return ((std::uint64_t{bytes[i]} << (56 - 8 * i)) | ...);
  }
  (std::make_index_sequence<8>{});
}

DES_INLINE void StoreBlock(std::uint64_t value, std::uint8_t* bytes) {
  [&]<std::size_t... i>(std::index_sequence<i...>) {
    ((bytes[i] = static_cast<std::uint8_t>(value >> (56 - 8 * i))), ...);
  }
  (std::make_index_sequence<8>{});
}

template <const des_tables::BytePermutation& table>
DES_INLINE std::uint64_t Permute(std::uint64_t block) {
  return [&]<std::size_t... i>(std::index_sequence<i...>) {
    return ((table.spread[(block >> (56 - 8 * i)) & 0xFF] << table.shift[i]) | ...);
  }
  (std::make_index_sequence<8>{});
}

/// C0 and D0, each doubled (C0 C0 in 56 bits) so that a left rotation by s
/// is a right shift by 28 - s.
struct KeyHalves {
  std::uint64_t c;
  std::uint64_t d;
};

DES_INLINE KeyHalves SplitKey(const std::uint8_t* key) {
  const std::uint64_t cd = [&]<std::size_t... i>(std::index_sequence<i...>) {
    return (kPc1Tables[i][key[i] >> 1] | ...);
  }
  (std::make_index_sequence<8>{});
  const std::uint64_t c = cd >> 28;
  const std::uint64_t d = cd & kHalfMask;
  return {(c << 28) | c, (d << 28) | d};
}

/// Subkey n (0-based) from C0 and D0 rotated by the standard's cumulative
/// shift: PC-2 by seven-bit chunk of each half.
DesSubkey Subkey(const KeyHalves& halves, int n) {
  const int s = 28 - kCumulativeShifts[static_cast<std::size_t>(n)];
  const std::uint64_t c = halves.c >> s;
  const std::uint64_t d = halves.d >> s;
  const auto& t = kPc2Tables;
  const std::uint64_t packed = t[0][(c >> 21) & 127] | t[1][(c >> 14) & 127] |
                               t[2][(c >> 7) & 127] | t[3][c & 127] | t[4][(d >> 21) & 127] |
                               t[5][(d >> 14) & 127] | t[6][(d >> 7) & 127] | t[7][d & 127];
  return {static_cast<std::uint32_t>(packed >> 32), static_cast<std::uint32_t>(packed)};
}

/// The halves (rotated right by one bit) and the next round's S-box inputs.
struct RoundState {
  std::uint32_t left;
  std::uint32_t right;
  std::uint32_t even;
  std::uint32_t odd;
};

/// Round n. The rounds run one after the other, so the latency of one round
/// is what counts. f is the XOR of eight S-box lookups; since their entries
/// cover disjoint bits, OR and ADD combine them as XOR would, and mixing the
/// operations keeps the compiler from re-chaining a balanced tree into one
/// serial run of XORs. The next round's S-box inputs are not formed from the
/// new half but as (L XOR subkey) XOR the lookups, the first part ready
/// early and joined by the first lookup, whose index takes a single shift,
/// before the others arrive: three steps after the lookups instead of four.
template <std::size_t n>
DES_INLINE void Round(RoundState& state, const DesSchedule& schedule) {
  const std::uint32_t even = state.even;
  const std::uint32_t odd = state.odd;
  const std::uint32_t s1 = kSpTables[0][even >> 26];
  const std::uint32_t s3 = kSpTables[2][(even >> 18) & 63];
  const std::uint32_t s5 = kSpTables[4][(even >> 10) & 63];
  const std::uint32_t s7 = kSpTables[6][(even >> 2) & 63];
  const std::uint32_t s2 = kSpTables[1][(odd >> 22) & 63];
  const std::uint32_t s4 = kSpTables[3][(odd >> 14) & 63];
  const std::uint32_t s6 = kSpTables[5][(odd >> 6) & 63];
  const std::uint32_t s8 = kSpTables[7][std::rotr(odd, 4) >> 26];
  const std::uint32_t s34 = s3 | s4;
  const std::uint32_t s5678 = (s5 | s6) + (s7 | s8);
  if constexpr (n < 15) {
    const DesSubkey k = schedule.subkeys[n + 1];
    state.even = ((((state.left ^ k.even) ^ s1) ^ s2) ^ s34) ^ s5678;
    state.odd = ((((state.left ^ k.odd) ^ s1) ^ s2) ^ s34) ^ s5678;
  }
  const std::uint32_t f = ((s1 | s2) + s34) ^ s5678;
  const std::uint32_t next = state.left ^ f;
  state.left = state.right;
  state.right = next;
}

template <std::size_t... n>
DES_INLINE void Rounds(RoundState& state, const DesSchedule& schedule, std::index_sequence<n...>) {
  (Round<n>(state, schedule), ...);
}

/// IP, the 16 rounds and IP^-1.
std::uint64_t Encipher(std::uint64_t block, const DesSchedule& schedule) {
  const std::uint64_t permuted = Permute<kInitialTable>(block);
  RoundState state;
  state.left = std::rotr(static_cast<std::uint32_t>(permuted >> 32), 1);
  state.right = std::rotr(static_cast<std::uint32_t>(permuted), 1);
  const DesSubkey first = schedule.subkeys[0];
  state.even = state.right ^ first.even;
  state.odd = state.right ^ first.odd;
  Rounds(state, schedule, std::make_index_sequence<16>{});
  // The last round does not exchange the halves.
  return Permute<kFinalTable>((std::uint64_t{std::rotl(state.right, 1)} << 32) |
                              std::rotl(state.left, 1));
}

}  // namespace

void DesKeySchedule(const std::uint8_t* key, DesSchedule& schedule, int direction) {
  const KeyHalves halves = SplitKey(key);
  for (int n = 0; n < 16; ++n) {
    schedule.subkeys[direction == kDesEncrypt ? n : 15 - n] = Subkey(halves, n);
  }
}

void DesRounds(const DesSchedule& schedule, const std::uint8_t* input, std::uint8_t* output) {
  StoreBlock(Encipher(LoadBlock(input), schedule), output);
}

int DesBlock(const std::uint8_t* key, const std::uint8_t* input, std::uint8_t* output,
             int direction) {
  if (key == nullptr || input == nullptr || output == nullptr) return -1;
  // The schedule holds all of the key, and the rounds read the input whole
  // before they write, so the three may be one buffer.
  DesSchedule schedule;
  DesKeySchedule(key, schedule, direction);
  DesRounds(schedule, input, output);
  return 0;
}
