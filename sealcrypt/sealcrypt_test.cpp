#include "sealcrypt/sealcrypt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "sealcrypt/crypt64.h"

namespace {

constexpr char kFirstKey[] = "AbCdEfGhIjE";
constexpr char kSecondKey[] = "0123456789.";

/// The caller's two buffers, filled with a pattern so that any write shows.
/// The text buffer has room for inputs longer than a sealed text may be.
struct Buffers {
  char plaintext[65];
  char text[100];
  Buffers() {
    std::memset(plaintext, 'p', sizeof plaintext);
    std::memset(text, 't', sizeof text);
  }
  void SetPlaintext(const std::string& s) { std::memcpy(plaintext, s.c_str(), s.size() + 1); }
  void SetText(const std::string& s) { std::memcpy(text, s.c_str(), s.size() + 1); }
  bool operator==(const Buffers& other) const {
    return std::memcmp(plaintext, other.plaintext, sizeof plaintext) == 0 &&
           std::memcmp(text, other.text, sizeof text) == 0;
  }
};

/// Runs a call that must fail and checks that neither buffer changed.
void ExpectRefused(const char* first, const char* second, Buffers buffers, unsigned mode,
                   bool nullPlaintext = false, bool nullText = false) {
  const Buffers before = buffers;
  EXPECT_EQ(SealCrypt(first, second, nullPlaintext ? nullptr : buffers.plaintext,
                      nullText ? nullptr : buffers.text, mode),
            -1);
  EXPECT_TRUE(buffers == before);
}

std::string Seal(const std::string& plaintext, unsigned mode = MODE_SEAL,
                 const char* second = kSecondKey) {
  Buffers b;
  b.SetPlaintext(plaintext);
  EXPECT_EQ(SealCrypt(kFirstKey, second, b.plaintext, b.text, mode), 0);
  return b.text;
}

int Unseal(const std::string& text, std::string& plaintext, unsigned mode = MODE_UNSEAL,
           const char* first = kFirstKey, const char* second = kSecondKey) {
  Buffers b;
  b.SetText(text);
  const int result = SealCrypt(first, second, b.plaintext, b.text, mode);
  if (result == 0) plaintext = b.plaintext;
  return result;
}

std::string RandomBytes(std::mt19937& random, std::size_t length, int low = 1, int high = 255) {
  std::uniform_int_distribution<int> byte(low, high);
  std::string s(length, '\0');
  for (char& c : s) c = static_cast<char>(byte(random));
  return s;
}

TEST(SealCrypt, CommonChecksComeFirstAndChangeNothing) {
  for (unsigned mode = MODE_SEAL_TEXT; mode <= MODE_UNSEAL; ++mode) {
    SCOPED_TRACE(mode);
    Buffers b;
    b.SetPlaintext("secret");
    b.SetText(Seal("secret"));
    ExpectRefused(nullptr, kSecondKey, b, mode);
    ExpectRefused("", kSecondKey, b, mode);
    ExpectRefused(kFirstKey, nullptr, b, mode);
    ExpectRefused(kFirstKey, kSecondKey, b, mode, true, false);
    ExpectRefused(kFirstKey, kSecondKey, b, mode, false, true);
  }
  Buffers b;
  b.SetPlaintext("secret");
  for (const unsigned mode : {6u, 7u, 256u, 0xFFFFFFFFu})
    ExpectRefused(kFirstKey, kSecondKey, b, mode);
}

TEST(SealCrypt, EmptySecondKeyStringIsAccepted) {
  std::string plaintext;
  ASSERT_EQ(Unseal(Seal("secret", MODE_SEAL, ""), plaintext, MODE_UNSEAL, kFirstKey, ""), 0);
  EXPECT_EQ(plaintext, "secret");
}

TEST(SealCrypt, SealedLengthByPlaintextLength) {
  const std::pair<std::size_t, std::size_t> examples[] = {{1, 4},   {2, 6},   {3, 7},   {4, 8},
                                                          {5, 10},  {8, 14},  {16, 24}, {32, 46},
                                                          {62, 86}, {63, 87}, {64, 88}};
  for (const auto& [n, length] : examples) EXPECT_EQ(Seal(std::string(n, 'x')).size(), length) << n;
  for (std::size_t n = 1; n <= 64; ++n) {
    const std::string sealed = Seal(std::string(n, 'x'));
    EXPECT_EQ(sealed.size(), Crypt64Length(n + 2)) << n;
    EXPECT_NE(sealed.size() % 4, 1u);
    EXPECT_EQ(std::strspn(sealed.c_str(), CRYPT64_ALPHABET), sealed.size()) << sealed;
  }
}

TEST(SealCrypt, AnyBytesRoundTripAtEveryLength) {
  std::mt19937 random(3);
  for (std::size_t n = 1; n <= 64; ++n) {
    const std::string plaintext = RandomBytes(random, n);
    std::string unsealed;
    ASSERT_EQ(Unseal(Seal(plaintext), unsealed), 0) << n;
    EXPECT_EQ(unsealed, plaintext) << n;
  }
}

TEST(SealCrypt, TextModesRoundTripPrintableText) {
  std::mt19937 random(5);
  for (std::size_t n = 1; n <= 64; ++n) {
    const std::string plaintext = RandomBytes(random, n, 32, 126);
    std::string unsealed;
    ASSERT_EQ(Unseal(Seal(plaintext, MODE_SEAL_TEXT), unsealed, MODE_UNSEAL_TEXT), 0) << n;
    EXPECT_EQ(unsealed, plaintext);
    // Both seal modes make the same kind of sealed text.
    ASSERT_EQ(Unseal(Seal(plaintext, MODE_SEAL), unsealed, MODE_UNSEAL_TEXT), 0) << n;
    EXPECT_EQ(unsealed, plaintext);
  }
}

TEST(SealCrypt, TextSealRefusesCharactersOutsideTheTextAlphabet) {
  for (const std::string plaintext : {"tab\there", "line\nfeed", "del\x7f", "high\xc8"}) {
    Buffers b;
    b.SetPlaintext(plaintext);
    ExpectRefused(kFirstKey, kSecondKey, b, MODE_SEAL_TEXT);
    std::string unsealed;
    ASSERT_EQ(Unseal(Seal(plaintext, MODE_SEAL), unsealed, MODE_UNSEAL), 0);
    EXPECT_EQ(unsealed, plaintext);
    // The text unseal refuses the same plaintext when it comes out.
    Buffers sealed;
    sealed.SetText(Seal(plaintext, MODE_SEAL));
    ExpectRefused(kFirstKey, kSecondKey, sealed, MODE_UNSEAL_TEXT);
  }
}

TEST(SealCrypt, PlaintextLengthLimits) {
  for (const unsigned mode : {MODE_SEAL_TEXT, MODE_MASK, MODE_SEAL}) {
    SCOPED_TRACE(mode);
    Buffers b;
    b.SetPlaintext(std::string(65, 'x'));
    ExpectRefused(kFirstKey, kSecondKey, b, mode);
    b.SetPlaintext("");
    ExpectRefused(kFirstKey, kSecondKey, b, mode);
  }
  // No terminator within the buffer: at most 65 bytes are looked at.
  Buffers b;
  ExpectRefused(kFirstKey, kSecondKey, b, MODE_SEAL);
}

TEST(SealCrypt, SealedTextsThatCannotBeUnsealed) {
  const std::string good = Seal(std::string(64, 'x'));
  const std::string cases[] = {
      "",                                // empty
      "M",        "MK7XM", "MK7XMK7XM",  // 4k + 1 characters
      "MK",       "MK7",                 // decode to 1 or 2 bytes
      good + "M",                        // 89 characters
      "MK7=",     "MK+X",  "MK X",      "MK\tX", "MK\x7fX", "MK\xc8X", "MK,X",
  };
  for (const std::string& text : cases) {
    for (const unsigned mode : {MODE_UNSEAL_TEXT, MODE_UNSEAL}) {
      SCOPED_TRACE(text + " mode " + std::to_string(mode));
      Buffers b;
      b.SetText(text);
      ExpectRefused(kFirstKey, kSecondKey, b, mode);
    }
  }
  // The unseal modes look at no more than 89 characters of a text without
  // a terminator.
  char text[89];
  std::memset(text, 'M', sizeof text);
  char plaintext[65] = "untouched";
  EXPECT_EQ(SealCrypt(kFirstKey, kSecondKey, plaintext, text, MODE_UNSEAL), -1);
  EXPECT_STREQ(plaintext, "untouched");
}

TEST(SealCrypt, FourCharacterTextHoldsOneByte) {
  const std::string sealed = Seal("z");
  ASSERT_EQ(sealed.size(), 4u);
  std::string plaintext;
  ASSERT_EQ(Unseal(sealed, plaintext), 0);
  EXPECT_EQ(plaintext, "z");
}

TEST(SealCrypt, FillBitsAreIgnored) {
  // 1 byte (T = 3) has no fill; 2 bytes (T = 4) leave 4 fill bits, 3 bytes 2.
  for (const std::string& plaintext :
       {std::string("ab"), std::string("abc"), std::string(62, 'q')}) {
    const std::string sealed = Seal(plaintext);
    const char* last = std::strchr(CRYPT64_ALPHABET, sealed.back());
    const int value = static_cast<int>(last - CRYPT64_ALPHABET);
    const int fillMask = sealed.size() % 4 == 2 ? 15 : 3;
    for (int fill = 0; fill <= fillMask; ++fill) {
      std::string variant = sealed;
      variant.back() = CRYPT64_ALPHABET[(value & ~fillMask) | fill];
      std::string unsealed;
      ASSERT_EQ(Unseal(variant, unsealed), 0);
      EXPECT_EQ(unsealed, plaintext) << variant;
    }
  }
}

TEST(SealCrypt, SealsDifferAndAllUnseal) {
  const std::string a = Seal("same password");
  const std::string b = Seal("same password");
  const std::string c = Seal("same password");
  EXPECT_FALSE(a == b && b == c);
  for (const std::string& sealed : {a, b, c}) {
    std::string plaintext;
    ASSERT_EQ(Unseal(sealed, plaintext), 0);
    EXPECT_EQ(plaintext, "same password");
  }
}

TEST(SealCrypt, TamperedTextUnsealsToOtherBytes) {
  const std::string sealed = Seal("tamper me please");
  for (std::size_t position = 0; position + 1 < sealed.size(); ++position) {
    std::string tampered = sealed;
    tampered[position] = tampered[position] == 'A' ? 'B' : 'A';
    std::string plaintext;
    ASSERT_EQ(Unseal(tampered, plaintext), 0);
    EXPECT_NE(plaintext, "tamper me please") << position;
  }
}

TEST(SealCrypt, OtherKeyStringsAreNotDetectedByTheByteMode) {
  std::mt19937 random(9);
  const char* otherKey = "ZZZZZZZZZZE";
  for (int run = 0; run < 200; ++run) {
    const std::string sealed = Seal(RandomBytes(random, 1 + run % 64, 32, 126));
    std::string bytes;
    ASSERT_EQ(Unseal(sealed, bytes, MODE_UNSEAL, otherKey), 0);
    // The text mode accepts exactly when every byte before the first zero
    // is printable, and then gives the same bytes.
    const bool printable =
        std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 32 && c <= 126; });
    Buffers b;
    b.SetText(sealed);
    if (printable) {
      ASSERT_EQ(SealCrypt(otherKey, kSecondKey, b.plaintext, b.text, MODE_UNSEAL_TEXT), 0);
      EXPECT_EQ(std::string(b.plaintext), bytes);
    } else {
      ExpectRefused(otherKey, kSecondKey, b, MODE_UNSEAL_TEXT);
    }
  }
}

TEST(SealCrypt, KeyStringsFromThePhrasesSeal) {
  char first[kKeyStringCapacity];
  char second[kKeyStringCapacity];
  ASSERT_EQ(DeriveKeyStrings(KeyPhrase1, KeyPhrase2, first, second), 0);
  Buffers b;
  b.SetPlaintext("db password");
  ASSERT_EQ(SealCrypt(first, second, b.plaintext, b.text, MODE_SEAL), 0);
  std::memset(b.plaintext, 0, sizeof b.plaintext);
  ASSERT_EQ(SealCrypt(first, second, b.plaintext, b.text, MODE_UNSEAL), 0);
  EXPECT_STREQ(b.plaintext, "db password");
}

}  // namespace
