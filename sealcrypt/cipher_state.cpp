#include "sealcrypt/cipher_state.h"

#include <bit>
#include <cstring>
#include <ctime>

#include "sealcrypt/des.h"
#include "sealcrypt/secure_wipe.h"

int CbcAbsorb(const std::uint8_t* key, const std::uint8_t* bytes, std::size_t length,
              std::uint8_t* chaining) {
  if (key == nullptr || bytes == nullptr || chaining == nullptr || length == 0) return -1;
  std::uint8_t value[8];
  std::memcpy(value, chaining, sizeof value);
  DesSchedule schedule;
  DesKeySchedule(key, schedule, kDesEncrypt);
  for (std::size_t offset = 0; offset < length; offset += 8) {
    // A short last block XORs only its own bytes, as zero padding would.
    const std::size_t count = length - offset < 8 ? length - offset : 8;
    for (std::size_t i = 0; i < count; ++i) value[i] ^= bytes[offset + i];
    DesRounds(schedule, value, value);
  }
  std::memcpy(chaining, value, sizeof value);
  SecureWipe(value, sizeof value);
  SecureWipe(&schedule, sizeof schedule);
  return 0;
}

namespace {

int AbsorbString(const std::uint8_t* key, const char* text, std::uint8_t* chaining) {
  return CbcAbsorb(key, reinterpret_cast<const std::uint8_t*>(text), std::strlen(text), chaining);
}

}  // namespace

int DeriveCipherState(CipherState& state, const char* first, const char* second) {
  std::memset(&state, 0, sizeof state);
  AbsorbString(state.r0, second, state.k);
  AbsorbString(state.k, first, state.r0);
  return AbsorbString(state.r0, second, state.k);
}

namespace {

std::uint8_t randomState[8] = {};

}  // namespace

std::uint8_t RandomByte() {
  const auto seconds = static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::time(nullptr)));
  const auto address = static_cast<std::uint32_t>(std::bit_cast<std::uintptr_t>(&RandomByte));
  for (int i = 0; i < 4; ++i) {
    randomState[i] ^= static_cast<std::uint8_t>(seconds >> (24 - 8 * i));
    randomState[4 + i] ^= static_cast<std::uint8_t>(address >> (24 - 8 * i));
  }
  DesBlock(randomState, randomState, randomState, kDesEncrypt);
  return randomState[0];
}
