// ReplaceFileContent on one temporary directory, a row per situation the
// name can be in, natively and under Wine, each where its situation exists:
// links, FIFOs and devices are POSIX files here (Wine shows a dangling link
// as no file), and root writes a read-only POSIX file.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using platform::ReplaceStage;

constexpr char kNew[] = "SALES,admin,sealed\n";
const std::string kOld = "OLDDSN,olduser,oldsealed\n";

std::optional<std::string> Read(const fs::path& path) {
  if (!fs::is_regular_file(path)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

#if defined(_WIN32)
constexpr bool kPosix = false;
bool MakeFifo(const fs::path&) { return false; }
// The backend refuses a read-only file to administrators too.
bool WritesReadOnlyFiles() { return false; }
#else
constexpr bool kPosix = true;
bool MakeFifo(const fs::path& path) { return mkfifo(path.c_str(), 0600) == 0; }
bool WritesReadOnlyFiles() { return geteuid() == 0; }
#endif

enum class Situation {
  kMissing,
  kRegular,
  kLongerRegular,
  kSecondHardLink,
  kLongerWithSecondHardLink,
  kSymbolicLink,
  kDanglingLink,
  kFifoWithAReader,
  kLinkToADevice,
  kReadOnly,
  kDirectory,
};

struct Row {
  const char* name;
  Situation situation;
  bool written;        ///< the new content arrives; else the run fails at the open
  const char* holder;  ///< the name that holds the content afterwards
  bool posixOnly = false;
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class ReplaceFileContent : public testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("replace_file_test_" + std::to_string(std::random_device{}()) + "_" + GetParam().name);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    // The read-only row's file is made writable again so it can go; a link
    // is never followed here, as root that would change what it names
    // (/dev/null, for one row).
    std::error_code ignored;
    fs::permissions(file(), fs::perms::owner_all,
                    fs::perm_options::replace | fs::perm_options::nofollow, ignored);
    fs::remove_all(dir_, ignored);
  }
  fs::path file() const { return dir_ / "credseal.csv"; }
  fs::path other() const { return dir_ / "other.csv"; }

  /// Puts the name in the row's situation; false when that fails.
  bool Make(Situation situation) {
    std::error_code error;
    switch (situation) {
      case Situation::kMissing:
        return true;
      case Situation::kRegular:
        Write(file(), kOld);
        return true;
      case Situation::kLongerRegular:
        Write(file(), kOld + std::string(5000, 'x') + "\n");
        return true;
      case Situation::kSecondHardLink:
      case Situation::kLongerWithSecondHardLink:
        Write(file(), situation == Situation::kSecondHardLink ? kOld : kOld + kOld + kOld);
        fs::create_hard_link(file(), other(), error);
        return !error;
      case Situation::kSymbolicLink:
        Write(other(), kOld);
        fs::create_symlink(other().filename(), file(), error);
        return !error;
      case Situation::kDanglingLink:
        fs::create_symlink(other().filename(), file(), error);
        return !error;
      case Situation::kFifoWithAReader:
        // Opened for reading and writing, it never waits for the writer.
        if (!MakeFifo(file())) return false;
        reader_.open(file(), std::ios::in | std::ios::out | std::ios::binary);
        return reader_.is_open();
      case Situation::kLinkToADevice:
        fs::create_symlink("/dev/null", file(), error);
        return !error;
      case Situation::kReadOnly: {
        Write(file(), kOld);
        fs::permissions(file(), fs::perms::owner_read | fs::perms::group_read, error);
        // Root may write a read-only file on POSIX.
        return !error && !WritesReadOnlyFiles();
      }
      case Situation::kDirectory:
        return fs::create_directory(file(), error);
    }
    return false;
  }

  fs::path dir_;
  std::fstream reader_;
};

TEST_P(ReplaceFileContent, LeavesTheNewContentOrFailsAtTheOpen) {
  const Row& row = GetParam();
  ASSERT_TRUE(Make(row.situation));
  const std::string path = file().string();
  const auto before = row.written ? std::nullopt : Read(dir_ / row.holder);
  const platform::ReplaceResult result =
      platform::ReplaceFileContent(path.c_str(), kNew, sizeof kNew - 1);
  if (!row.written) {
    EXPECT_NE(result.error, 0);
    EXPECT_EQ(result.stage, ReplaceStage::kOpen);
    EXPECT_EQ(Read(dir_ / row.holder), before) << "untouched";
    EXPECT_EQ(fs::is_directory(file()), row.situation == Situation::kDirectory);
    return;
  }
  ASSERT_EQ(result.error, 0);
  if (row.situation == Situation::kFifoWithAReader) {
    std::string line;
    std::getline(reader_, line);
    EXPECT_EQ(line + "\n", kNew);
  } else if (row.situation != Situation::kLinkToADevice) {
    EXPECT_EQ(Read(dir_ / row.holder), kNew);
  }
  // Links stay links and every name of the file sees the new content.
  if (row.situation == Situation::kSecondHardLink ||
      row.situation == Situation::kLongerWithSecondHardLink) {
    EXPECT_TRUE(fs::equivalent(file(), other()));
  }
  if (row.situation == Situation::kSymbolicLink || row.situation == Situation::kDanglingLink) {
    EXPECT_TRUE(fs::is_symlink(file()));
  }
  // A file made new is its owner's alone.
  if (row.situation == Situation::kDanglingLink ||
      (kPosix && row.situation == Situation::kMissing)) {
    EXPECT_EQ(fs::status(dir_ / row.holder).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
  }
  // No temporary file is left beside it.
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_TRUE(entry.path() == file() || entry.path() == other()) << entry.path();
  }
}

/// The rows whose situation exists on this system.
std::vector<Row> Rows() {
  const Row all[] = {
      {"Missing", Situation::kMissing, true, "credseal.csv"},
      {"Regular", Situation::kRegular, true, "credseal.csv"},
      {"LongerRegular", Situation::kLongerRegular, true, "credseal.csv"},
      {"SecondHardLink", Situation::kSecondHardLink, true, "other.csv"},
      {"LongerWithSecondHardLink", Situation::kLongerWithSecondHardLink, true, "other.csv"},
      {"SymbolicLink", Situation::kSymbolicLink, true, "other.csv", true},
      {"DanglingLink", Situation::kDanglingLink, true, "other.csv", true},
      {"FifoWithAReader", Situation::kFifoWithAReader, true, "credseal.csv", true},
      {"LinkToADevice", Situation::kLinkToADevice, true, "credseal.csv", true},
      {"ReadOnly", Situation::kReadOnly, false, "credseal.csv"},
      {"Directory", Situation::kDirectory, false, "credseal.csv"},
  };
  std::vector<Row> rows;
  for (const Row& row : all) {
    const bool exists = (kPosix || !row.posixOnly) &&
                        (row.situation != Situation::kReadOnly || !WritesReadOnlyFiles());
    if (exists) rows.push_back(row);
  }
  return rows;
}

INSTANTIATE_TEST_SUITE_P(Situations, ReplaceFileContent, testing::ValuesIn(Rows()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
