#include "sealcrypt/crypt64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::string ZeroFill(const std::string& bytes) {
  char out[128];
  Crypt64EncodeZeroFill(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                        static_cast<int>(bytes.size()), out);
  return out;
}

std::string RandomFill(const std::string& bytes) {
  char out[128];
  Crypt64EncodeRandomFill(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                          static_cast<int>(bytes.size()), out);
  return out;
}

int Decode(const std::string& text, std::string& bytes) {
  std::uint8_t out[128];
  const int count = Crypt64Decode(text.data(), text.size(), out);
  bytes.assign(reinterpret_cast<const char*>(out), count > 0 ? count : 0);
  return count;
}

TEST(Crypt64, Alphabet) {
  EXPECT_EQ(std::strlen(CRYPT64_ALPHABET), 64u);
  EXPECT_EQ(CRYPT64_ALPHABET[0], '.');
  EXPECT_EQ(CRYPT64_ALPHABET[1], '/');
  EXPECT_EQ(CRYPT64_ALPHABET[2], '0');
  EXPECT_EQ(CRYPT64_ALPHABET[12], 'A');
  EXPECT_EQ(CRYPT64_ALPHABET[38], 'a');
  EXPECT_EQ(CRYPT64_ALPHABET[63], 'z');
}

TEST(Crypt64, ZeroFillExamples) {
  EXPECT_EQ(ZeroFill("abc"), "MK7X");
  EXPECT_EQ(ZeroFill("ab"), "MK6");
  EXPECT_EQ(ZeroFill("a"), "ME");
  EXPECT_EQ(ZeroFill(""), "");
  char out[4] = "xyz";
  Crypt64EncodeZeroFill(reinterpret_cast<const std::uint8_t*>("abc"), -3, out);
  EXPECT_STREQ(out, "");
}

TEST(Crypt64, LastCharacterOfShortGroups) {
  std::mt19937 random(7);
  for (int run = 0; run < 200; ++run) {
    std::string eight(8, '\0');
    for (char& c : eight) c = static_cast<char>(random());
    const std::string text = ZeroFill(eight);
    ASSERT_EQ(text.size(), 11u);
    EXPECT_NE(std::strchr(".26AEIMQUYcgkosw", text[10]), nullptr) << text;
    EXPECT_NE(std::strchr(".EUk", ZeroFill(eight.substr(0, 1))[1]), nullptr);
  }
}

TEST(Crypt64, RandomFillDiffersOnlyInFillBits) {
  for (int run = 0; run < 64; ++run) {
    EXPECT_EQ(RandomFill("abc"), "MK7X");
    const std::string two = RandomFill("ab");
    EXPECT_EQ(two.substr(0, 2), "MK");
    EXPECT_NE(std::strchr("6789", two[2]), nullptr) << two;
    const std::string one = RandomFill("a");
    EXPECT_EQ(one.substr(0, 1), "M");
    EXPECT_TRUE(one[1] >= 'E' && one[1] <= 'T') << one;
  }
}

TEST(Crypt64, DecodeExamples) {
  std::string bytes;
  EXPECT_EQ(Decode("MK7X", bytes), 3);
  EXPECT_EQ(bytes, "abc");
  EXPECT_EQ(Decode("MK9", bytes), 2);
  EXPECT_EQ(bytes, "ab");
  EXPECT_EQ(Decode("MT", bytes), 1);
  EXPECT_EQ(bytes, "a");
  EXPECT_EQ(Decode("", bytes), 0);
  for (const char* bad : {"M", "MK7XZ", "MK7=", "MK7XM", "M=", "MK="}) {
    EXPECT_EQ(Decode(bad, bytes), -1) << bad;
  }
}

TEST(Crypt64, EveryByteOutsideTheAlphabetIsRefusedInEveryPosition) {
  std::string bytes;
  for (int value = 0; value < 256; ++value) {
    if (value != 0 && std::strchr(CRYPT64_ALPHABET, value) != nullptr) continue;
    for (std::size_t position = 0; position < 4; ++position) {
      std::string text = "MK7X";
      text[position] = static_cast<char>(value);
      EXPECT_EQ(Decode(text, bytes), -1) << "byte " << value << " at " << position;
    }
  }
}

TEST(Crypt64, RoundTripsEveryLength) {
  std::mt19937 random(11);
  for (std::size_t length = 0; length <= 66; ++length) {
    std::string bytes(length, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    for (const std::string& text : {ZeroFill(bytes), RandomFill(bytes)}) {
      EXPECT_EQ(text.size(), Crypt64Length(length));
      std::string decoded;
      EXPECT_EQ(Decode(text, decoded), static_cast<int>(length));
      EXPECT_EQ(decoded, bytes);
    }
  }
}

}  // namespace
