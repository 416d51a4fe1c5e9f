// ReplaceFileContent on one temporary directory, natively and under Wine:
// a row per situation the name can be in, each where its situation exists
// (links, FIFOs and devices are POSIX files here; root writes a read-only
// POSIX file, and only root can give a file to another account); then,
// through the fault seam, every system call of each route failing, and the
// process ending, at each of its calls; readers; the lock's bounded wait.

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/system_call_faults.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using platform::ReplaceStage;
namespace faults = platform::faults;

constexpr char kNew[] = "SALES,admin,sealed\n";
const std::string kOld = "OLDDSN,olduser,oldsealed\n";
/// An account that is neither the caller nor root.
constexpr int kOtherAccount = 12345;

std::optional<std::string> Read(const fs::path& path) {
  if (!fs::is_regular_file(path)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

/// The new content, then nothing but line ends: what a kill before the cut
/// of the in-place route leaves.
bool NewThenLineEnds(const std::string& content) {
  const std::string line = kNew;
  return content.rfind(line, 0) == 0 &&
         content.find_first_not_of('\n', line.size()) == std::string::npos;
}

#if defined(_WIN32)
constexpr bool kPosix = false;
constexpr const char* kPauseCall = "SleepEx";
bool MakeFifo(const fs::path&) { return false; }
// The backend refuses a read-only file to administrators too.
bool IsRoot() { return false; }
bool GiveToAnotherAccount(const fs::path&, bool) { return false; }
#else
constexpr bool kPosix = true;
constexpr const char* kPauseCall = "nanosleep";
bool MakeFifo(const fs::path& path) { return mkfifo(path.c_str(), 0600) == 0; }
bool IsRoot() { return geteuid() == 0; }
bool GiveToAnotherAccount(const fs::path& path, bool link) {
  return (link ? lchown(path.c_str(), kOtherAccount, kOtherAccount)
               : chown(path.c_str(), kOtherAccount, kOtherAccount)) == 0;
}
#endif

/// The test program's own path, for the children that end mid-run.
std::string selfPath;

/// A temporary directory of the test's own, removed with everything in it.
class Scratch {
 public:
  explicit Scratch(const std::string& name)
      : dir_(fs::temp_directory_path() /
             ("replace_file_test_" + std::to_string(std::random_device{}()) + "_" + name)) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  ~Scratch() {
    // The read-only row's file is made writable again so it can go; a link
    // is never followed here, as root that would change what it names
    // (/dev/null, for one row).
    std::error_code ignored;
    fs::permissions(file(), fs::perms::owner_all,
                    fs::perm_options::replace | fs::perm_options::nofollow, ignored);
    fs::remove_all(dir_, ignored);
  }
  const fs::path& dir() const { return dir_; }
  fs::path file() const { return dir_ / "credseal.csv"; }
  fs::path other() const { return dir_ / "other.csv"; }

  /// Every name in the directory but the two above: temporary files.
  std::vector<std::string> Strays() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      if (entry.path() != file() && entry.path() != other()) {
        names.push_back(entry.path().filename().string());
      }
    }
    return names;
  }

 private:
  fs::path dir_;
};

enum class Situation {
  kMissing,
  kRegular,
  kLongerRegular,
  kSecondHardLink,
  kLongerWithSecondHardLink,
  kShorterWithSecondHardLink,
  kSymbolicLink,
  kDanglingLink,
  kFifoWithAReader,
  kLinkToADevice,
  kReadOnly,
  kDirectory,
  kLinkOfAnotherAccount,
  kFileOfAnotherAccount,
  kSecondHardLinkInASharedDirectory,
};

/// Puts the scratch directory's name in `situation`; false when that fails.
bool Make(const Scratch& s, Situation situation, std::fstream& reader) {
  std::error_code error;
  switch (situation) {
    case Situation::kMissing:
      return true;
    case Situation::kRegular:
      Write(s.file(), kOld);
      return true;
    case Situation::kLongerRegular:
      Write(s.file(), kOld + std::string(5000, 'x') + "\n");
      return true;
    case Situation::kSecondHardLink:
    case Situation::kLongerWithSecondHardLink:
    case Situation::kShorterWithSecondHardLink:
    case Situation::kSecondHardLinkInASharedDirectory:
      Write(s.file(), situation == Situation::kLongerWithSecondHardLink    ? kOld + kOld + kOld
                      : situation == Situation::kShorterWithSecondHardLink ? "x\n"
                                                                           : kOld);
      fs::create_hard_link(s.file(), s.other(), error);
      if (situation == Situation::kSecondHardLinkInASharedDirectory) {
        fs::permissions(s.dir(), fs::perms::all, error);
      }
      return !error;
    case Situation::kSymbolicLink:
    case Situation::kLinkOfAnotherAccount:
      Write(s.other(), kOld);
      fs::create_symlink(s.other().filename(), s.file(), error);
      return !error &&
             (situation == Situation::kSymbolicLink || GiveToAnotherAccount(s.file(), true));
    case Situation::kDanglingLink:
      fs::create_symlink(s.other().filename(), s.file(), error);
      return !error;
    case Situation::kFifoWithAReader:
      // Opened for reading and writing, it never waits for the writer.
      if (!MakeFifo(s.file())) return false;
      reader.open(s.file(), std::ios::in | std::ios::out | std::ios::binary);
      return reader.is_open();
    case Situation::kLinkToADevice:
      fs::create_symlink("/dev/null", s.file(), error);
      return !error;
    case Situation::kReadOnly:
      Write(s.file(), kOld);
      fs::permissions(s.file(), fs::perms::owner_read | fs::perms::group_read, error);
      return !error;
    case Situation::kDirectory:
      return fs::create_directory(s.file(), error);
    case Situation::kFileOfAnotherAccount:
      Write(s.file(), kOld);
      return GiveToAnotherAccount(s.file(), false);
  }
  return false;
}

struct Row {
  const char* name;
  Situation situation;
  bool written;        ///< the new content arrives; else the run fails at the open
  const char* holder;  ///< the name that holds the content afterwards
  bool posixOnly = false;
  int error = 0;  ///< the open's failure, where a row pins it
  bool needsRoot = false;
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class ReplaceFileContent : public testing::TestWithParam<Row> {};

TEST_P(ReplaceFileContent, LeavesTheNewContentOrFailsAtTheOpen) {
  const Row& row = GetParam();
  Scratch s(row.name);
  std::fstream reader;
  ASSERT_TRUE(Make(s, row.situation, reader));
  const std::string path = s.file().string();
  const auto before = row.written ? std::nullopt : Read(s.dir() / row.holder);
  const platform::ReplaceResult result =
      platform::ReplaceFileContent(path.c_str(), kNew, sizeof kNew - 1);
  if (!row.written) {
    EXPECT_NE(result.error, 0);
    if (row.error != 0) {
      EXPECT_EQ(result.error, row.error);
    }
    EXPECT_EQ(result.stage, ReplaceStage::kOpen);
    EXPECT_EQ(Read(s.dir() / row.holder), before) << "untouched";
    EXPECT_EQ(fs::is_directory(s.file()), row.situation == Situation::kDirectory);
    return;
  }
  ASSERT_EQ(result.error, 0);
  if (row.situation == Situation::kFifoWithAReader) {
    std::string line;
    std::getline(reader, line);
    EXPECT_EQ(line + "\n", kNew);
  } else if (row.situation != Situation::kLinkToADevice) {
    EXPECT_EQ(Read(s.dir() / row.holder), kNew);
  }
  // Links stay links and every name of the file sees the new content.
  if (row.situation == Situation::kSecondHardLink ||
      row.situation == Situation::kLongerWithSecondHardLink) {
    EXPECT_TRUE(fs::equivalent(s.file(), s.other()));
  }
  if (row.situation == Situation::kSymbolicLink || row.situation == Situation::kDanglingLink) {
    EXPECT_TRUE(fs::is_symlink(s.file()));
  }
  // A file made new is its owner's alone.
  if (row.situation == Situation::kDanglingLink ||
      (kPosix && row.situation == Situation::kMissing)) {
    EXPECT_EQ(fs::status(s.dir() / row.holder).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
  }
  EXPECT_EQ(s.Strays(), std::vector<std::string>{}) << "no temporary file left";
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
      // What another account planted is refused, whatever it leads to.
      {"LinkOfAnotherAccount", Situation::kLinkOfAnotherAccount, false, "other.csv", true, EPERM,
       true},
      {"FileOfAnotherAccount", Situation::kFileOfAnotherAccount, false, "credseal.csv", true, EPERM,
       true},
      {"SecondHardLinkInASharedDirectory", Situation::kSecondHardLinkInASharedDirectory, false,
       "other.csv", true, EPERM},
  };
  std::vector<Row> rows;
  for (const Row& row : all) {
    const bool exists = (kPosix || !row.posixOnly) && (!row.needsRoot || IsRoot()) &&
                        (row.situation != Situation::kReadOnly || !IsRoot());
    if (exists) rows.push_back(row);
  }
  return rows;
}

INSTANTIATE_TEST_SUITE_P(Situations, ReplaceFileContent, testing::ValuesIn(Rows()),
                         [](const auto& info) { return std::string(info.param.name); });

// --- every call of each route failing, and the process ending there ---------

struct Route {
  const char* name;
  Situation situation;
  const char* holder;
  bool inPlace;  ///< a kill can leave the new content followed by line ends
};

void PrintTo(const Route& route, std::ostream* os) { *os << route.name; }

/// A scratch directory put in the route's situation, and what the name
/// held then.
struct RouteStart {
  explicit RouteStart(const Route& route, const std::string& suffix = {})
      : s(route.name + suffix),
        made(Make(s, route.situation, reader)),
        before(Read(s.dir() / route.holder)),
        path(s.file().string()) {}
  Scratch s;
  std::fstream reader;
  bool made;
  std::optional<std::string> before;
  std::string path;
};

/// One call of a clean run: its name and which of its calls it is.
struct Call {
  std::string_view name;
  unsigned nth;
  bool beforeCommit;
  bool afterCommit;
};

/// The calls a clean run of the route makes, in order. The commit is the
/// move (or, in place, the last flush); writes and flushes before it must
/// never fail unnoticed.
std::vector<Call> CleanRun(const Route& route) {
  RouteStart start(route, "_clean");
  EXPECT_TRUE(start.made);
  faults::Arm("", 0, 0);
  EXPECT_EQ(platform::ReplaceFileContent(start.path.c_str(), kNew, sizeof kNew - 1).error, 0);
  faults::Disarm();
  const std::vector<std::string_view> made = faults::CallsMade();
  std::size_t commit = made.size();
  for (std::size_t i = 0; i < made.size(); ++i) {
    const bool move = made[i] == "renameat" || made[i] == "MoveFileExA";
    const bool flush = made[i] == "fsync" || made[i] == "FlushFileBuffers";
    if (move || (route.inPlace && flush)) commit = i;
    if (move) break;
  }
  std::vector<Call> calls;
  for (std::size_t i = 0; i < made.size(); ++i) {
    unsigned nth = 0;
    for (std::size_t j = 0; j <= i; ++j) nth += made[j] == made[i] ? 1u : 0u;
    calls.push_back({made[i], nth, i<commit, i> commit && commit < made.size()});
  }
  return calls;
}

/// Calls whose failure before the commit must fail the run: the new
/// content's writes and flushes.
bool MustBeReported(std::string_view name) {
  for (std::string_view call :
       {"write", "pwrite", "fsync", "ftruncate", "fallocate", "WriteFile", "FlushFileBuffers"}) {
    if (name == call) return true;
  }
  return false;
}

/// `check`(call, start) for every call of a clean run of the route, each
/// from a start of its own.
template <typename Check>
void ForEveryCall(const Route& route, Check check) {
  for (const Call& call : CleanRun(route)) {
    SCOPED_TRACE(std::string(call.name) + " #" + std::to_string(call.nth));
    RouteStart start(route);
    ASSERT_TRUE(start.made);
    check(call, start);
  }
}

class ReplaceFileFaults : public testing::TestWithParam<Route> {};

TEST_P(ReplaceFileFaults, EveryFailedCallLeavesTheNewContentOrTheOldBytes) {
  const Route& route = GetParam();
  ForEveryCall(route, [&](const Call& call, const RouteStart& start) {
    faults::Arm(call.name, call.nth, faults::DeviceError());
    const platform::ReplaceResult result =
        platform::ReplaceFileContent(start.path.c_str(), kNew, sizeof kNew - 1);
    faults::Disarm();
    if (call.afterCommit) {
      EXPECT_EQ(result.error, 0) << "nothing after the commit fails the run";
    }
    if (result.error == 0) {
      if (route.situation != Situation::kFifoWithAReader) {
        EXPECT_EQ(Read(start.s.dir() / route.holder), kNew);
      }
      EXPECT_FALSE(call.beforeCommit && MustBeReported(call.name)) << "failure not reported";
    } else {
      EXPECT_EQ(Read(start.s.dir() / route.holder), start.before) << "byte for byte as it was";
      EXPECT_FALSE(result.oldContentLost);
    }
    EXPECT_EQ(start.s.Strays(), std::vector<std::string>{}) << "no temporary file left";
  });
}

/// The replacement as a child process makes it: the process ends right
/// before the `nth` call of `name`, or, past the run's last call, exits 0.
int ReplaceUntil(const char* path, std::string_view name, unsigned nth) {
  faults::Arm(name, nth, 0, faults::Effect::kEnd);
  platform::ReplaceFileContent(path, kNew, sizeof kNew - 1);
  return 0;
}

/// Runs the replacement in a child process that ends right before the
/// `nth` call of `name`, as a kill there would; its exit code.
int RunEndingAt(const std::string& path, std::string_view name, unsigned nth) {
#if defined(_WIN32)
  char line[2048];
  std::snprintf(line, sizeof line, "\"%s\" --replace-until \"%s\" %.*s %u", selfPath.c_str(),
                path.c_str(), static_cast<int>(name.size()), name.data(), nth);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &child)) {
    return -1;
  }
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(child.hProcess, &code);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  return static_cast<int>(code);
#else
  const pid_t child = fork();
  if (child == 0) _exit(ReplaceUntil(path.c_str(), name, nth));
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

TEST_P(ReplaceFileFaults, AnEndAtAnyCallLeavesTheOldContentOrTheNew) {
  const Route& route = GetParam();
  ForEveryCall(route, [&](const Call& call, const RouteStart& start) {
    ASSERT_EQ(RunEndingAt(start.path, call.name, call.nth), faults::kEndCode);
    const auto after = Read(start.s.dir() / route.holder);
    const bool whole = after == start.before || after == std::string(kNew) ||
                       (route.inPlace && after && NewThenLineEnds(*after));
    EXPECT_TRUE(whole) << after.value_or("(no file)");
    if (start.before) {
      EXPECT_TRUE(after.has_value()) << "the name always holds a file";
    }
  });
}

/// The routes, each where its situation exists.
std::vector<Route> Routes() {
  const Route all[] = {
      {"NewFile", Situation::kMissing, "credseal.csv", false},
      {"Rename", Situation::kRegular, "credseal.csv", false},
      {"InPlace", Situation::kSecondHardLink, "other.csv", true},
      {"InPlaceLongerOld", Situation::kLongerWithSecondHardLink, "other.csv", true},
      {"InPlaceShorterOld", Situation::kShorterWithSecondHardLink, "other.csv", true},
      {"Stream", Situation::kFifoWithAReader, "credseal.csv", false},
  };
  std::vector<Route> routes;
  for (const Route& route : all) {
    if (kPosix || route.situation != Situation::kFifoWithAReader) routes.push_back(route);
  }
  return routes;
}

INSTANTIATE_TEST_SUITE_P(Routes, ReplaceFileFaults, testing::ValuesIn(Routes()),
                         [](const auto& info) { return std::string(info.param.name); });

// --- readers and the lock ----------------------------------------------------

// A reader that opens the file without sharing its deletion (as the C
// runtime's fopen does on Windows) can be told that it is busy for the
// moment of a rename there; it never finds it missing.
TEST(ReplaceFileReaders, NeverFindTheFileMissing) {
  Scratch s("readers");
  Write(s.file(), kOld);
  const std::string path = s.file().string();
  std::atomic<bool> done = false;
  int opened = 0;
  int missing = 0;
  std::thread reader([&] {
    while (!done) {
      if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        ++opened;
        std::fclose(f);
      } else if (errno == ENOENT) {
        ++missing;
      }
    }
  });
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(platform::ReplaceFileContent(path.c_str(), kNew, sizeof kNew - 1).error, 0);
  }
  done = true;
  reader.join();
  EXPECT_EQ(missing, 0) << "of " << opened + missing << " opens";
  EXPECT_GT(opened, 0);
  EXPECT_EQ(s.Strays(), std::vector<std::string>{});
}

/// Holds a lock on the file, as a reader may, until it goes.
class LockHolder {
 public:
  explicit LockHolder(const fs::path& file) {
#if defined(_WIN32)
    handle_ =
        CreateFileA(file.string().c_str(), GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr);
    OVERLAPPED at{};
    at.Offset = 0xFFFFFFFF;
    at.OffsetHigh = 0x7FFFFFFF;
    held_ = LockFileEx(handle_, 0, 0, 1, 0, &at) != FALSE;
#else
    fd_ = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    held_ = flock(fd_, LOCK_SH) == 0;
#endif
  }
  ~LockHolder() {
#if defined(_WIN32)
    CloseHandle(handle_);
#else
    close(fd_);
#endif
  }
  bool held() const { return held_; }

 private:
#if defined(_WIN32)
  HANDLE handle_;
#else
  int fd_;
#endif
  bool held_;
};

TEST(ReplaceFileLock, AHeldLockIsWaitedForAtMostThirtySeconds) {
  Scratch s("lock");
  Write(s.file(), kOld);
  LockHolder holder(s.file());
  ASSERT_TRUE(holder.held());
  const std::string path = s.file().string();
  // Each pause returns at once, so the wait's bound shows as its count.
  faults::Arm(kPauseCall, 1, faults::DeviceError(), faults::Effect::kFailOnward);
  const platform::ReplaceResult result =
      platform::ReplaceFileContent(path.c_str(), kNew, sizeof kNew - 1);
  faults::Disarm();
  EXPECT_EQ(result.error, EBUSY);
  EXPECT_EQ(result.stage, ReplaceStage::kOpen);
  EXPECT_EQ(faults::Count(kPauseCall), 600u) << "30 s in pauses of 50 ms";
  EXPECT_EQ(Read(s.file()), kOld);
}

// --- the longest path ------------------------------------------------------

/// A scratch directory deep enough that the file's path has 259 characters.
fs::path LongestFilePath(const Scratch& s) {
  const std::size_t used = (s.dir() / "credseal.csv").string().size();
  if (used + 2 > 259) return {};
  const fs::path dir = s.dir() / std::string(259 - used - 1, 'd');
  fs::create_directories(dir);
  return dir / "credseal.csv";
}

TEST(ReplaceFilePaths, TheLongestPathIsCreatedAndReplaced) {
  Scratch s("longest");
  const fs::path file = LongestFilePath(s);
  ASSERT_EQ(file.string().size(), 259u);
  for (const char* step : {"created", "replaced"}) {
    SCOPED_TRACE(step);
    EXPECT_EQ(platform::ReplaceFileContent(file.string().c_str(), kNew, sizeof kNew - 1).error, 0);
    EXPECT_EQ(Read(file), kNew);
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator{}),
              1);
  }
}

}  // namespace

/// A child of AnEndAtAnyCallLeavesTheOldContentOrTheNew on Windows:
/// --replace-until PATH CALL NTH.
int main(int argc, char** argv) {
#if defined(_WIN32)
  char self[MAX_PATH];
  selfPath = GetModuleFileNameA(nullptr, self, sizeof self) != 0 ? self : argv[0];
#else
  selfPath = argv[0];
#endif
  if (argc == 5 && std::strcmp(argv[1], "--replace-until") == 0) {
    return ReplaceUntil(argv[2], argv[3], static_cast<unsigned>(std::atoi(argv[4])));
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
