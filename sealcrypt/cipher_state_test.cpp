#include "sealcrypt/cipher_state.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "sealcrypt/crypt64.h"
#include "sealcrypt/sealcrypt.h"

namespace {

using Block = std::array<std::uint8_t, 8>;

Block Absorb(const Block& key, const std::string& text, Block chaining = {}) {
  CbcAbsorb(key.data(), reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
            chaining.data());
  return chaining;
}

Block K(const CipherState& s) { return std::to_array(s.k); }
Block R0(const CipherState& s) { return std::to_array(s.r0); }

TEST(DeriveCipherState, ThreeAbsorptionsEachUnderTheLastResult) {
  CipherState state;
  ASSERT_EQ(DeriveCipherState(state, "first", "second"), 0);
  const Block k1 = Absorb(Block{}, "second");
  const Block r0 = Absorb(k1, "first");
  EXPECT_EQ(R0(state), r0);
  EXPECT_EQ(K(state), Absorb(r0, "second", k1));

  CipherState again;
  DeriveCipherState(again, "first", "second");
  EXPECT_EQ(std::memcmp(&state, &again, sizeof state), 0);
}

TEST(DeriveCipherState, EmptySecondStringLeavesKZero) {
  CipherState state;
  std::memset(&state, 0xEE, sizeof state);
  EXPECT_EQ(DeriveCipherState(state, "first", ""), -1);
  EXPECT_EQ(K(state), Block{});
  EXPECT_EQ(R0(state), Absorb(Block{}, "first"));
}

TEST(DeriveCipherState, EmptyFirstStringLeavesR0Zero) {
  CipherState state;
  std::memset(&state, 0xEE, sizeof state);
  EXPECT_EQ(DeriveCipherState(state, "", "second"), 0);
  EXPECT_EQ(R0(state), Block{});
  EXPECT_EQ(K(state), Absorb(Block{}, "second", Absorb(Block{}, "second")));
}

// --- DeriveKeyStrings ----------------------------------------------------

TEST(DeriveKeyStrings, KeyStringsAreTheStateInCrypt64) {
  char first[12];
  char second[12];
  ASSERT_EQ(DeriveKeyStrings(KeyPhrase1, KeyPhrase2, first, second), 0);
  CipherState state;
  DeriveCipherState(state, KeyPhrase1, KeyPhrase2);
  char k[12];
  char r0[12];
  Crypt64EncodeZeroFill(state.k, 8, k);
  Crypt64EncodeZeroFill(state.r0, 8, r0);
  EXPECT_STREQ(first, k);
  EXPECT_STREQ(second, r0);
  for (const char* text : {first, second}) {
    ASSERT_EQ(std::strlen(text), 11u);
    EXPECT_EQ(std::strspn(text, CRYPT64_ALPHABET), 11u);
    EXPECT_NE(std::strchr(".26AEIMQUYcgkosw", text[10]), nullptr) << text;
  }

  char firstAgain[12];
  char secondAgain[12];
  DeriveKeyStrings(KeyPhrase1, KeyPhrase2, firstAgain, secondAgain);
  EXPECT_STREQ(first, firstAgain);
  EXPECT_STREQ(second, secondAgain);
}

TEST(DeriveKeyStrings, RefusalsWriteNothing) {
  struct Case {
    const char* name;
    const char* firstPhrase;
    const char* secondPhrase;
    bool firstOut;
    bool secondOut;
  };
  const Case cases[] = {
      {"first phrase missing", nullptr, KeyPhrase2, true, true},
      {"first phrase empty", "", KeyPhrase2, true, true},
      {"second phrase missing", KeyPhrase1, nullptr, true, true},
      {"second phrase empty", KeyPhrase1, "", true, true},
      {"first output missing", KeyPhrase1, KeyPhrase2, false, true},
      {"second output missing", KeyPhrase1, KeyPhrase2, true, false},
  };
  for (const Case& c : cases) {
    char first[12] = "untouched1";
    char second[12] = "untouched2";
    EXPECT_EQ(DeriveKeyStrings(c.firstPhrase, c.secondPhrase, c.firstOut ? first : nullptr,
                               c.secondOut ? second : nullptr),
              -1)
        << c.name;
    EXPECT_STREQ(first, "untouched1") << c.name;
    EXPECT_STREQ(second, "untouched2") << c.name;
  }
}

}  // namespace
