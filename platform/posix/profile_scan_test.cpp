// The POSIX profile reader against the values GetPrivateProfileIntA gives.

#include "platform/posix/profile_scan.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "tests/evtrelay/profile_corpus.h"

namespace {

using platform::posix::ProfileIntFromText;
using platform::posix::ProfileScan;

int ByteByByte(std::string_view text, const char* section, const char* key) {
  ProfileScan scan(section, key, profile_corpus::kDefault);
  for (char c : text) {
    scan.Feed(&c, 1);
  }
  return scan.Finish();
}

TEST(ProfileScan, GivesWhatTheWindowsReaderGives) {
  for (const profile_corpus::Case& c : profile_corpus::kCases) {
    for (const profile_corpus::Query& q : c.queries) {
      EXPECT_EQ(ProfileIntFromText(c.text.data(), c.text.size(), q.section, q.key,
                                   profile_corpus::kDefault),
                q.expected)
          << c.name << ": [" << q.section << "] " << q.key;
      EXPECT_EQ(ByteByByte(c.text, q.section, q.key), q.expected)
          << c.name << " fed byte by byte: [" << q.section << "] " << q.key;
    }
  }
}

TEST(ProfileScan, ReadsPastAnyLineLength) {
  const std::string filler(100000, 'x');
  const std::string text = "[Severity]\n" + filler + "=1\nA=" + filler + "\nB=\"" +
                           std::string(40, '0') + "\"\nC=\"" + std::string(28, ' ') + "42\"\n" +
                           "[" + filler + "]\nD=9\n";
  const struct {
    const char* key;
    int expected;
  } cases[] = {{"A", 0}, {"B", 0}, {"C", 4}, {"D", -1}};
  for (const auto& c : cases) {
    EXPECT_EQ(ProfileIntFromText(text.data(), text.size(), "Severity", c.key, -1), c.expected)
        << c.key;
  }
  EXPECT_EQ(ProfileIntFromText(text.data(), text.size(), filler.c_str(), "D", -1), 9);
}

TEST(ProfileInt, ReadsTheFileInPieces) {
  std::string name = std::filesystem::temp_directory_path() / "profile_scan_test_XXXXXX";
  const int fd = mkstemp(name.data());
  const char* path = name.c_str();
  ASSERT_GE(fd, 0);
  // The key lies beyond the first read.
  const std::string text = std::string(10000, '\n') + "[Severity]\r\nWARN = 0x10\r\n";
  ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fd);
  EXPECT_EQ(platform::ProfileInt("Severity", "WARN", -1, path), 16);
  EXPECT_EQ(platform::ProfileInt("Severity", "MISSING", -7, path), -7);
  std::remove(path);
  EXPECT_EQ(platform::ProfileInt("Severity", "WARN", -1, path), -1);
  EXPECT_EQ(platform::ProfileInt("Severity", "WARN", -1, "/"), -1);
}

}  // namespace
