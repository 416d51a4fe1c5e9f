// Every way ReplaceFileA can fail leaves the old file or the new one under
// the name. Wine's ReplaceFileA never fails halfway, so fakes in its place
// leave the files as Microsoft documents each failure to.

#include "replace_over.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace {

std::optional<std::string> Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

/// The documented failures, each as the system leaves the files.
BOOL WINAPI OldFileDeleted(LPCSTR replaced, LPCSTR, LPCSTR, DWORD, LPVOID, LPVOID) {
  DeleteFileA(replaced);
  SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
  return FALSE;
}

BOOL WINAPI OldFileRenamed(LPCSTR replaced, LPCSTR, LPCSTR, DWORD, LPVOID, LPVOID) {
  MoveFileA(replaced, (std::string(replaced) + ".elsewhere").c_str());
  SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
  return FALSE;
}

/// Another writer's file takes the name the failed replacement emptied
/// (Wine's ReplaceFileA empties it for a moment); the next call succeeds.
BOOL WINAPI AnotherFileTakesTheName(LPCSTR replaced, LPCSTR replacement, LPCSTR backup, DWORD flags,
                                    LPVOID exclude, LPVOID reserved) {
  static bool failed = false;
  if (failed) return ReplaceFileA(replaced, replacement, backup, flags, exclude, reserved);
  failed = true;
  DeleteFileA(replaced);
  Write(replaced, "another\r\n");
  SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
  return FALSE;
}

BOOL WINAPI NothingChanged(LPCSTR, LPCSTR, LPCSTR, DWORD, LPVOID, LPVOID) {
  SetLastError(ERROR_UNABLE_TO_REMOVE_REPLACED);
  return FALSE;
}

struct Case {
  const char* name;
  platform::ReplaceFileFn replace;
  bool oldFile;      ///< a file has the name beforehand
  int result;        ///< ReplaceOver's result
  const char* then;  ///< the name's content afterwards
  bool tempLeft;     ///< the temporary file is still there (for the caller to discard)
};

class ReplaceOver : public testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    char dir[MAX_PATH];
    ASSERT_NE(GetTempPathA(sizeof dir, dir), 0u);
    base_ = std::string(dir) + "replace_over_" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(base_.c_str(), nullptr));
  }
  void TearDown() override {
    for (const char* name : {"\\c.csv", "\\c.csv.tmp", "\\c.csv.elsewhere"}) {
      DeleteFileA((base_ + name).c_str());
    }
    RemoveDirectoryA(base_.c_str());
  }
  std::string base_;
};

TEST_P(ReplaceOver, LeavesTheOldFileOrTheNewOneUnderTheName) {
  const Case& c = GetParam();
  const std::string target = base_ + "\\c.csv";
  const std::string temp = target + ".tmp";
  if (c.oldFile) Write(target, "old\r\n");
  Write(temp, "new\r\n");
  EXPECT_EQ(platform::ReplaceOver(temp.c_str(), target.c_str(), c.replace), c.result);
  EXPECT_EQ(Read(target), c.then);
  EXPECT_EQ(Read(temp).has_value(), c.tempLeft);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ReplaceOver,
    testing::Values(Case{"Replaced", ReplaceFileA, true, 0, "new\r\n", false},
                    Case{"NoFileUnderTheName", ReplaceFileA, false, 0, "new\r\n", false},
                    Case{"OldFileDeleted", OldFileDeleted, true, 0, "new\r\n", false},
                    Case{"OldFileUnderAnotherName", OldFileRenamed, true, 0, "new\r\n", false},
                    Case{"AnotherFileTakesTheName", AnotherFileTakesTheName, true, 0, "new\r\n",
                         false},
                    Case{"NothingChanged", NothingChanged, true, EACCES, "old\r\n", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
