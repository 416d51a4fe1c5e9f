// RandomByte's draws from the process's start. A program of its own, so
// that no other test has advanced the random state first.

#include <gtest/gtest.h>

#include <bit>
#include <ctime>

#include "sealcrypt/cipher_state.h"
#include "sealcrypt/des.h"

namespace {

TEST(RandomByte, DrawsFollowFromTheClockAndTheAddressAlone) {
  const std::time_t before = std::time(nullptr);
  std::uint8_t drawn[3];
  for (auto& byte : drawn) byte = RandomByte();
  if (std::time(nullptr) != before) GTEST_SKIP() << "the clock's second changed during the draws";

  // A second process with RandomByte at the same address, drawing in the
  // same second, starts from the same all-zero state.
  const auto t = static_cast<std::uint32_t>(static_cast<std::uint64_t>(before));
  const auto a = static_cast<std::uint32_t>(std::bit_cast<std::uintptr_t>(&RandomByte));
  std::uint8_t state[8] = {};
  for (const std::uint8_t byte : drawn) {
    for (int i = 0; i < 4; ++i) {
      state[i] ^= static_cast<std::uint8_t>(t >> (24 - 8 * i));
      state[4 + i] ^= static_cast<std::uint8_t>(a >> (24 - 8 * i));
    }
    DesBlock(state, state, state, kDesEncrypt);
    EXPECT_EQ(byte, state[0]);
  }
}

}  // namespace
