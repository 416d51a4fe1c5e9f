#include "sealcrypt/des.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "sealcrypt/cipher_state.h"

extern const char kDesKatText[];

namespace {

using Block = std::array<std::uint8_t, 8>;

Block FromHex(const std::string& hex) {
  Block block{};
  for (std::size_t i = 0; i < 8; ++i) {
    block[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
  }
  return block;
}

struct KatVector {
  std::string table;  // the comment that heads its group
  Block key;
  Block plain;
  Block cipher;
};

std::vector<KatVector> LoadKat() {
  std::vector<KatVector> vectors;
  std::istringstream lines(kDesKatText);
  std::string line;
  std::string table;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    if (line[0] == '#') {
      table = line;
      continue;
    }
    std::istringstream fields(line);
    std::string key, plain, cipher;
    fields >> key >> plain >> cipher;
    vectors.push_back({table, FromHex(key), FromHex(plain), FromHex(cipher)});
  }
  return vectors;
}

Block Encrypt(const Block& key, const Block& in, int direction = kDesEncrypt) {
  Block out{};
  EXPECT_EQ(DesBlock(key.data(), in.data(), out.data(), direction), 0);
  return out;
}

Block Scheduled(const Block& key, const Block& in, int direction) {
  DesSchedule schedule;
  DesKeySchedule(key.data(), schedule, direction);
  Block out{};
  DesRounds(schedule, in.data(), out.data());
  return out;
}

TEST(DesKnownAnswer, AllValidationTablesBothDirections) {
  const auto vectors = LoadKat();
  ASSERT_EQ(vectors.size(), 171u);
  for (const auto& v : vectors) {
    SCOPED_TRACE(v.table);
    EXPECT_EQ(Encrypt(v.key, v.plain), v.cipher);
    EXPECT_EQ(Encrypt(v.key, v.cipher, 1), v.plain);
    EXPECT_EQ(Scheduled(v.key, v.plain, kDesEncrypt), v.cipher);
    EXPECT_EQ(Scheduled(v.key, v.cipher, 1), v.plain);
  }
}

const Block kKey = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
const Block kPlain = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
const Block kCipher = {0x85, 0xE8, 0x13, 0x54, 0x0F, 0x0A, 0xB4, 0x05};

TEST(DesBlock, WorkedExample) {
  EXPECT_EQ(Encrypt(kKey, kPlain), kCipher);
  EXPECT_EQ(Encrypt(kKey, kCipher, 1), kPlain);
}

TEST(DesBlock, EveryNonZeroDirectionDecrypts) {
  for (const int direction : {1, 2, 256, -1}) {
    SCOPED_TRACE(direction);
    EXPECT_EQ(Encrypt(kKey, kCipher, direction), kPlain);
    EXPECT_EQ(Scheduled(kKey, kCipher, direction), kPlain);
  }
}

TEST(DesBlock, ParityBitsTakeNoPart) {
  for (std::size_t byte = 0; byte < 8; ++byte) {
    Block key = kKey;
    key[byte] ^= 1;
    EXPECT_EQ(Encrypt(key, kPlain), kCipher) << "key byte " << byte;
    EXPECT_EQ(Encrypt(key, kCipher, 1), kPlain) << "key byte " << byte;
  }
}

TEST(DesBlock, OneBufferAsKeyInputAndOutput) {
  Block buffer = kKey;
  const Block expected = Encrypt(kKey, kKey);
  ASSERT_EQ(DesBlock(buffer.data(), buffer.data(), buffer.data(), kDesEncrypt), 0);
  EXPECT_EQ(buffer, expected);

  Block inPlace = kPlain;
  ASSERT_EQ(DesBlock(kKey.data(), inPlace.data(), inPlace.data(), kDesEncrypt), 0);
  EXPECT_EQ(inPlace, kCipher);
}

TEST(DesBlock, MissingArgumentLeavesOutputAlone) {
  Block out;
  out.fill(0xAA);
  const Block untouched = out;
  EXPECT_EQ(DesBlock(nullptr, kPlain.data(), out.data(), kDesEncrypt), -1);
  EXPECT_EQ(DesBlock(kKey.data(), nullptr, out.data(), kDesEncrypt), -1);
  EXPECT_EQ(DesBlock(kKey.data(), kPlain.data(), nullptr, kDesEncrypt), -1);
  EXPECT_EQ(out, untouched);
}

TEST(DesKeySchedule, DecryptingScheduleIsTheEncryptingOneReversed) {
  DesSchedule forward;
  DesSchedule backward;
  DesKeySchedule(kKey.data(), forward, kDesEncrypt);
  DesKeySchedule(kKey.data(), backward, 1);
  for (int n = 0; n < 16; ++n) {
    EXPECT_EQ(forward.subkeys[n].even, backward.subkeys[15 - n].even) << n;
    EXPECT_EQ(forward.subkeys[n].odd, backward.subkeys[15 - n].odd) << n;
  }
}

// --- CbcAbsorb -----------------------------------------------------------

Block Absorb(const Block& key, const std::vector<std::uint8_t>& bytes, Block chaining = {}) {
  EXPECT_EQ(CbcAbsorb(key.data(), bytes.data(), bytes.size(), chaining.data()), 0);
  return chaining;
}

Block Xor(Block a, const Block& b) {
  for (std::size_t i = 0; i < 8; ++i) a[i] ^= b[i];
  return a;
}

TEST(CbcAbsorb, RefusalsLeaveTheChainingValue) {
  Block chaining = kPlain;
  const std::uint8_t bytes[3] = {'a', 'b', 'c'};
  EXPECT_EQ(CbcAbsorb(kKey.data(), bytes, 0, chaining.data()), -1);
  EXPECT_EQ(CbcAbsorb(nullptr, bytes, 3, chaining.data()), -1);
  EXPECT_EQ(CbcAbsorb(kKey.data(), nullptr, 3, chaining.data()), -1);
  EXPECT_EQ(CbcAbsorb(kKey.data(), bytes, 3, nullptr), -1);
  EXPECT_EQ(chaining, kPlain);
}

TEST(CbcAbsorb, ShortLastBlockIsZeroPadded) {
  EXPECT_EQ(Absorb(kKey, {'a', 'b', 'c'}), Absorb(kKey, {'a', 'b', 'c', 0, 0, 0, 0, 0}));
}

TEST(CbcAbsorb, BlocksChainAndTheLengthIsNotAbsorbed) {
  const std::vector<std::uint8_t> eight = {1, 2, 3, 4, 5, 6, 7, 8};
  const Block start = {9, 9, 9, 9, 9, 9, 9, 9};
  const Block one = Encrypt(kKey, Xor(start, FromHex("0102030405060708")));
  EXPECT_EQ(Absorb(kKey, eight, start), one);

  // The ninth byte goes into byte 0 alone, then one more encryption.
  std::vector<std::uint8_t> nine = eight;
  nine.push_back(0x5A);
  Block fed = one;
  fed[0] ^= 0x5A;
  EXPECT_EQ(Absorb(kKey, nine, start), Encrypt(kKey, fed));
}

}  // namespace
