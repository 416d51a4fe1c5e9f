// DesBlock and DesKeySchedule + DesRounds against OpenSSL's DES over random
// keys and blocks, both directions.

#define OPENSSL_SUPPRESS_DEPRECATED
#include <gtest/gtest.h>
#include <openssl/des.h>

#include <cstring>
#include <random>

#include "sealcrypt/cipher_state.h"
#include "sealcrypt/des.h"

namespace {

TEST(DesDifferential, RandomKeysAndBlocksMatchOpenSsl) {
  std::mt19937_64 random(20240601);
  constexpr int kRuns = 100000;
  int mismatches = 0;
  for (int run = 0; run < kRuns && mismatches < 10; ++run) {
    DES_cblock key;
    DES_cblock block;
    const std::uint64_t k = random();
    const std::uint64_t b = random();
    std::memcpy(key, &k, sizeof key);
    std::memcpy(block, &b, sizeof block);
    DES_key_schedule openSchedule;
    DES_set_key_unchecked(&key, &openSchedule);

    for (const int direction : {0, 1}) {
      DES_cblock expected;
      DES_ecb_encrypt(&block, &expected, &openSchedule, direction == 0 ? DES_ENCRYPT : DES_DECRYPT);
      std::uint8_t fresh[8];
      std::uint8_t scheduled[8];
      DesBlock(key, block, fresh, direction);
      DesSchedule schedule;
      DesKeySchedule(key, schedule, direction);
      DesRounds(schedule, block, scheduled);
      if (std::memcmp(fresh, expected, 8) != 0 || std::memcmp(scheduled, expected, 8) != 0) {
        ++mismatches;
        ADD_FAILURE() << "run " << run << " direction " << direction;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(DesDifferential, CbcAbsorbIsTheLastBlockOfZeroPaddedCbc) {
  std::mt19937_64 random(77);
  for (std::size_t length = 1; length <= 40; ++length) {
    std::uint8_t key[8];
    std::uint8_t chaining[8];
    std::uint8_t bytes[40] = {};
    for (auto& b : key) b = static_cast<std::uint8_t>(random());
    for (auto& b : chaining) b = static_cast<std::uint8_t>(random());
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(random());

    DES_cblock iv;
    std::memcpy(iv, chaining, sizeof iv);
    DES_key_schedule schedule;
    DES_set_key_unchecked(reinterpret_cast<DES_cblock*>(key), &schedule);
    const std::size_t padded = (length + 7) / 8 * 8;
    std::uint8_t out[40];
    DES_ncbc_encrypt(bytes, out, static_cast<long>(padded), &schedule, &iv, DES_ENCRYPT);

    ASSERT_EQ(CbcAbsorb(key, bytes, length, chaining), 0);
    EXPECT_EQ(std::memcmp(chaining, out + padded - 8, 8), 0) << length;
  }
}

}  // namespace
