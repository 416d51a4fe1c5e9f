#include "common/install_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace {

// Cases are written with "\" and run with the build's own separator.
std::string Native(std::string path) {
  std::replace(path.begin(), path.end(), '\\', kPathSeparator);
  return path;
}

constexpr char kOtherSeparator = kPathSeparator == '\\' ? '/' : '\\';

struct DirCase {
  const char* path;
  int result;
  const char* dir;
};

TEST(InstallDirOf, TwoLevelsAboveTheProgram) {
  const DirCase cases[] = {
      {"C:\\App\\bin\\credseal.exe", 0, "C:\\App"},
      {"\\\\server\\share\\bin\\tool.exe", 0, "\\\\server\\share"},
      {"C:\\a\\b\\c\\d\\evtrelay.exe", 0, "C:\\a\\b\\c"},
      {"\\bin\\probe", 0, ""},
      {"C:\\App\\bin\\", 0, "C:\\App"},
      {"C:\\credseal.exe", 87, nullptr},
      {"\\credseal.exe", 87, nullptr},
      {"credseal.exe", 87, nullptr},
      {"", 87, nullptr},
  };
  for (const DirCase& c : cases) {
    SCOPED_TRACE(c.path);
    char buffer[kPathCapacity];
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(InstallDirOf(Native(c.path).c_str(), buffer, sizeof buffer), c.result);
    if (c.dir != nullptr) {
      EXPECT_EQ(std::string(buffer), Native(c.dir));
    } else {
      EXPECT_TRUE(std::all_of(buffer, buffer + sizeof buffer, [](char b) { return b == '#'; }));
    }
  }
}

TEST(InstallDirOf, OnlyTheBuildsSeparatorCounts) {
  std::string path = "C:\\App\\bin\\credseal.exe";
  std::replace(path.begin(), path.end(), '\\', kOtherSeparator);
  char buffer[kPathCapacity] = "unchanged";
  EXPECT_EQ(InstallDirOf(path.c_str(), buffer, sizeof buffer), 87);
  EXPECT_STREQ(buffer, "unchanged");

  // The other character is part of a name, not a cut.
  const std::string mixed = Native("C:\\A") + kOtherSeparator + Native("B\\bin\\x.exe");
  ASSERT_EQ(InstallDirOf(mixed.c_str(), buffer, sizeof buffer), 0);
  EXPECT_EQ(std::string(buffer), Native("C:\\A") + kOtherSeparator + "B");
}

TEST(InstallDirOf, DirectoryMustBeShorterThanTheCapacity) {
  const std::string dir = Native("C:\\") + std::string(20, 'd');
  const std::string path = dir + Native("\\bin\\x.exe");
  struct {
    unsigned capacity;
    int result;
  } const cases[] = {
      {static_cast<unsigned>(dir.size()) + 1, 0},
      {static_cast<unsigned>(dir.size()), 87},
      {1, 87},
      {0, 87},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.capacity);
    // Exactly `capacity` bytes plus a guard that must stay untouched.
    std::string buffer(c.capacity + 1, '#');
    EXPECT_EQ(InstallDirOf(path.c_str(), buffer.data(), c.capacity), c.result);
    if (c.result == 0) {
      EXPECT_EQ(std::string(buffer.c_str()), dir);
    } else {
      EXPECT_EQ(buffer, std::string(c.capacity + 1, '#'));
    }
    EXPECT_EQ(buffer.back(), '#');
  }
}

TEST(GetInstallDir, IsTheParentOfThisProgramsDirectory) {
  char module[kPathCapacity];
  const uint32_t length = platform::ModulePath(module, sizeof module);
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, kPathCapacity) << "build tree too deep for this test";
  char dir[kPathCapacity];
  ASSERT_EQ(GetInstallDir(dir, sizeof dir), 0);
  const std::string program = module;
  const std::string prefix = std::string(dir) + kPathSeparator;
  ASSERT_EQ(program.compare(0, prefix.size(), prefix), 0) << program;
  const std::string rest = program.substr(prefix.size());
  EXPECT_EQ(std::count(rest.begin(), rest.end(), kPathSeparator), 1) << rest;
}

TEST(GetInstallDir, NullBufferIsRefused) { EXPECT_EQ(GetInstallDir(nullptr, kPathCapacity), 87); }

TEST(ModulePath, CutPathIsTerminatedAndReportedAsTheCapacity) {
  char full[kPathCapacity];
  const uint32_t length = platform::ModulePath(full, sizeof full);
  ASSERT_GT(length, 4u);
  ASSERT_LT(length, kPathCapacity);

  char exact[kPathCapacity];
  EXPECT_EQ(platform::ModulePath(exact, length + 1), length);
  EXPECT_STREQ(exact, full);

  char cut[kPathCapacity];
  memset(cut, '#', sizeof cut);
  EXPECT_EQ(platform::ModulePath(cut, length), length);
  EXPECT_EQ(cut[length - 1], '\0');
  EXPECT_EQ(std::string(cut), std::string(full, length - 1));
  EXPECT_EQ(cut[length], '#');
}

TEST(JoinEtcPath, JoinsWithTheEtcPart) {
  char buffer[kPathCapacity];
  ASSERT_TRUE(JoinEtcPath(buffer, sizeof buffer, Native("C:\\App").c_str(), "credseal.csv"));
  EXPECT_EQ(std::string(buffer), Native("C:\\App\\etc\\credseal.csv"));
  ASSERT_TRUE(JoinEtcPath(buffer, sizeof buffer, "", "x"));
  EXPECT_EQ(std::string(buffer), Native("\\etc\\x"));
}

TEST(JoinEtcPath, NeverCuts) {
  const std::string dir(250, 'd');
  const std::string joined = dir + Native("\\etc\\") + "abcd";  // 259 characters
  ASSERT_EQ(joined.size(), kPathCapacity - 1);
  char buffer[kPathCapacity + 1];
  memset(buffer, '#', sizeof buffer);
  ASSERT_TRUE(JoinEtcPath(buffer, kPathCapacity, dir.c_str(), "abcd"));
  EXPECT_EQ(std::string(buffer), joined);

  struct {
    const char* dir;
    const char* name;
    std::size_t capacity;
  } const failures[] = {
      {dir.c_str(), "abcde", kPathCapacity},
      {"", "", 5},
      {"C:", "x", 0},
      {nullptr, "x", kPathCapacity},
      {"C:", nullptr, kPathCapacity},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(f.capacity);
    memset(buffer, '#', sizeof buffer);
    EXPECT_FALSE(JoinEtcPath(buffer, f.capacity, f.dir, f.name));
    if (f.capacity > 0) {
      EXPECT_EQ(buffer[0], '\0');
    }
    EXPECT_TRUE(std::all_of(buffer + std::max<std::size_t>(f.capacity, 1), buffer + sizeof buffer,
                            [](char b) { return b == '#'; }));
  }
}

}  // namespace
