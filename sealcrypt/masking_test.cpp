#include "sealcrypt/masking.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "sealcrypt/des.h"
#include "sealcrypt/sealcrypt.h"

namespace {

constexpr char kFirstKey[] = "AbCdEfGhIjE";
constexpr char kSecondKey[] = "0123456789.";

int Mask(const std::string& plaintext, std::string& masked, const char* first = kFirstKey) {
  char in[65] = {};
  char out[89];
  std::memset(out, 'o', sizeof out);
  std::memcpy(in, plaintext.c_str(), plaintext.size() + 1);
  const int result = SealCrypt(first, kSecondKey, in, out, MODE_MASK);
  masked = result == 0 ? std::string(out) : std::string();
  if (result != 0) {
    for (const char c : out) EXPECT_EQ(c, 'o') << "a refused mask wrote to the text buffer";
  }
  return result;
}

int Unmask(const std::string& masked, std::string& plaintext, const char* first = kFirstKey) {
  char text[89] = {};
  char out[65];
  std::memset(out, 'o', sizeof out);
  std::memcpy(text, masked.c_str(), masked.size() + 1);
  const int result = SealCrypt(first, kSecondKey, out, text, MODE_UNMASK);
  plaintext = result == 0 ? std::string(out) : std::string();
  return result;
}

enum class ByteClass { kControl, kPrintable, kHigh };

ByteClass ClassOf(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b < 32 ? ByteClass::kControl : b <= 126 ? ByteClass::kPrintable : ByteClass::kHigh;
}

std::string RandomText(std::mt19937& random, std::size_t length, int low, int high) {
  std::uniform_int_distribution<int> byte(low, high);
  std::string s(length, '\0');
  for (char& c : s) c = static_cast<char>(byte(random));
  return s;
}

/// The first key byte of a stream pass: R0 encrypted once under K.
unsigned FirstKeyByte() {
  CipherState state;
  DeriveCipherState(state, kFirstKey, kSecondKey);
  std::uint8_t reg[8];
  DesBlock(state.k, state.r0, reg, kDesEncrypt);
  return reg[0];
}

TEST(Masking, LengthLimitsLeaveBothBuffersUnchanged) {
  for (const unsigned mode : {MODE_MASK, MODE_UNMASK}) {
    for (const std::size_t length : {0u, 65u}) {
      char plaintext[90];
      char text[90];
      std::memset(plaintext, 'p', sizeof plaintext);
      std::memset(text, 't', sizeof text);
      (mode == MODE_MASK ? plaintext : text)[length] = '\0';
      char plaintextBefore[90];
      char textBefore[90];
      std::memcpy(plaintextBefore, plaintext, sizeof plaintext);
      std::memcpy(textBefore, text, sizeof text);
      EXPECT_EQ(SealCrypt(kFirstKey, kSecondKey, plaintext, text, mode), -1);
      EXPECT_EQ(std::memcmp(plaintext, plaintextBefore, sizeof plaintext), 0);
      EXPECT_EQ(std::memcmp(text, textBefore, sizeof text), 0);
    }
  }
}

TEST(Masking, PrintableTextStaysPrintableAndRoundTrips) {
  std::mt19937 random(1);
  for (std::size_t length = 1; length <= 64; ++length) {
    const std::string plaintext = RandomText(random, length, 32, 126);
    std::string masked;
    ASSERT_EQ(Mask(plaintext, masked), 0);
    ASSERT_EQ(masked.size(), length);
    for (const char c : masked) EXPECT_EQ(ClassOf(c), ByteClass::kPrintable);
    std::string again;
    Mask(plaintext, again);
    EXPECT_EQ(again, masked) << "masking has no salt";
    std::string unmasked;
    ASSERT_EQ(Unmask(masked, unmasked), 0);
    EXPECT_EQ(unmasked, plaintext);
  }
}

// The mask ends with the second pass over the reversed text, so the classes
// come out mirrored: position i of the result has the class of position
// L - 1 - i of the text.
TEST(Masking, RangePathKeepsEveryCharacterInItsClass) {
  std::mt19937 random(2);
  int refused = 0;
  for (int run = 0; run < 2000; ++run) {
    std::string plaintext = RandomText(random, 1 + run % 64, 1, 255);
    plaintext[run % plaintext.size()] = '\t';  // at least one non-printable
    std::string masked;
    if (Mask(plaintext, masked) != 0) {
      ++refused;
      continue;
    }
    ASSERT_EQ(masked.size(), plaintext.size());
    const std::size_t last = masked.size() - 1;
    for (std::size_t i = 0; i <= last; ++i) {
      EXPECT_EQ(ClassOf(masked[i]), ClassOf(plaintext[last - i])) << i;
    }
    std::string unmasked;
    ASSERT_EQ(Unmask(masked, unmasked), 0);
    EXPECT_EQ(unmasked, plaintext);
  }
  // A control character comes out as 0 about once in 32: those masks are
  // refused, the rest succeed.
  EXPECT_GT(refused, 0);
  EXPECT_LT(refused, 2000);
}

TEST(Masking, OneCharacterMovesByTwiceTheFirstKeyByte) {
  const unsigned k0 = FirstKeyByte();
  std::string masked;
  ASSERT_EQ(Mask("A", masked), 0);
  EXPECT_EQ(static_cast<unsigned char>(masked[0]), 32 + ('A' - 32 + 2 * k0) % 95);
  ASSERT_EQ(Mask("\xc8", masked), 0);
  EXPECT_EQ(static_cast<unsigned char>(masked[0]), 127 + (0xc8 - 127 + 2 * k0) % 129);
  for (unsigned p = 1; p < 32; ++p) {
    const unsigned expected = (p + 2 * k0) % 32;
    const int result = Mask(std::string(1, static_cast<char>(p)), masked);
    if (expected == 0) {
      EXPECT_EQ(result, -1) << p;
    } else {
      ASSERT_EQ(result, 0) << p;
      EXPECT_EQ(static_cast<unsigned char>(masked[0]), expected) << p;
    }
  }
}

TEST(Masking, UnmaskingUnderOtherKeysGivesAnotherPrintableText) {
  std::string masked;
  ASSERT_EQ(Mask("a printable text", masked), 0);
  std::string unmasked;
  ASSERT_EQ(Unmask(masked, unmasked, "OtherKeyStr"), 0);
  EXPECT_EQ(unmasked.size(), masked.size());
  EXPECT_NE(unmasked, "a printable text");
  for (const char c : unmasked) EXPECT_EQ(ClassOf(c), ByteClass::kPrintable);
}

TEST(Masking, StreamsInvertForOtherAlphabetSizes) {
  CipherState state;
  DeriveCipherState(state, kFirstKey, kSecondKey);
  for (const int n : {1, 7, 10, 95, 128}) {
    std::uint8_t bytes[64];
    for (int i = 0; i < 64; ++i) bytes[i] = static_cast<std::uint8_t>((i * 37) % n);
    std::uint8_t original[64];
    std::memcpy(original, bytes, sizeof bytes);
    AlphabetStreamEncrypt(state, n, bytes, sizeof bytes);
    for (const std::uint8_t b : bytes) EXPECT_LT(b, n);
    AlphabetStreamDecrypt(state, n, bytes, sizeof bytes);
    EXPECT_EQ(std::memcmp(bytes, original, sizeof bytes), 0) << n;
  }
  std::uint8_t all[256];
  for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
  RangeStreamEncrypt(state, all, sizeof all);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(ClassOf(static_cast<char>(all[i])), ClassOf(static_cast<char>(i))) << i;
  }
  RangeStreamDecrypt(state, all, sizeof all);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(all[i], i);
}

TEST(Masking, ReverseBytes) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""}, {"a", "a"}, {"ab", "ba"}, {"abcde", "edcba"}, {"abcdef", "fedcba"}};
  for (const auto& [in, out] : cases) {
    std::string bytes = in;
    ReverseBytes(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(bytes, out);
  }
}

}  // namespace
