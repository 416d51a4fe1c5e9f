// Behaviour of the real credseal program in a temporary installation tree,
// against the POSIX build and the 64-bit Windows build under Wine, with and
// without the recording trace library.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <latch>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "sealcrypt/sealcrypt.h"
#include "tests/harness/harness.h"

namespace {

using harness::CurrentTarget;
using harness::InstallTree;
using harness::ReadFile;
using harness::RunResult;

const std::string kUsage =
    "Error: invalid parameter\n"
    "Usage: credseal -d dsnname -u username -p password [-o logfie]\n";
const std::string kInvalid = "credseal error invalid parameter.";
const std::string kSealFailed = "credseal error in SealCrypt.";
const std::string kLogFailed = "credseal error write log file.";
const std::string kCreateFailed = "credseal error create dbinf file:";
const std::string kWriteFailed = "credseal error write dbinf file:";

/// What an earlier run left in the tree; a failed run must leave it so.
const std::string kOldLine = "OLDDSN,olduser,oldsealed";
const std::string kOldLog = "previous log";

std::string LineEnd() { return CurrentTarget().IsWindows() ? "\r\n" : "\n"; }

/// The password in a sealed text, unsealed under the command's key strings;
/// nullopt when the text does not unseal.
std::optional<std::string> Unseal(std::string sealed) {
  char keyString1[kKeyStringCapacity] = {};
  char keyString2[kKeyStringCapacity] = {};
  char plaintext[kPlaintextCapacity] = {};
  if (DeriveKeyStrings(KeyPhrase1, KeyPhrase2, keyString1, keyString2) != 0 ||
      SealCrypt(keyString1, keyString2, plaintext, sealed.data(), MODE_UNSEAL) != 0) {
    return std::nullopt;
  }
  return std::string(plaintext);
}

/// Sealed-text length for a password of n bytes: ceil(4 (n + 2) / 3).
std::size_t SealedLength(std::size_t n) { return (4 * (n + 2) + 2) / 3; }

using harness::CanUnshareMounts;

bool HasGdb() { return std::system("gdb --version >/dev/null 2>&1") == 0; }

std::vector<std::string> EtcListing(const InstallTree& tree) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(tree.Etc())) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void WriteOldFiles(const InstallTree& tree, bool withLog) {
  harness::WriteFile(tree.EtcFile("credseal.csv"), kOldLine + LineEnd());
  if (withLog) harness::WriteFile(tree.Root() + "/log.txt", kOldLog);
}

struct Written {
  std::string dsn;
  std::string user;
  std::string password;
};

/// The sealed text of `content` when it is exactly one credential line for
/// `dsn` and `user`; nullopt otherwise.
std::optional<std::string> SealedTextIn(const std::string& content, const std::string& dsn,
                                        const std::string& user) {
  const std::string prefix = dsn + "," + user + ",";
  const std::size_t end = content.size() - std::min(content.size(), LineEnd().size());
  if (content.rfind(prefix, 0) != 0 || end < prefix.size() || content.substr(end) != LineEnd() ||
      content.find('\n') + 1 != content.size()) {
    return std::nullopt;
  }
  return content.substr(prefix.size(), end - prefix.size());
}

/// `content` is exactly the one credential line for `w`.
void ExpectCredentialText(const std::string& content, const Written& w) {
  const auto sealed = SealedTextIn(content, w.dsn, w.user);
  ASSERT_TRUE(sealed.has_value()) << content;
  EXPECT_EQ(sealed->size(), SealedLength(w.password.size()));
  EXPECT_EQ(
      sealed->find_first_not_of("./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"),
      std::string::npos)
      << *sealed;
  EXPECT_EQ(Unseal(*sealed), w.password);
}

/// The file at `path` holds exactly the one credential line for `w`.
void ExpectCredentialLineIn(const std::string& path, const Written& w) {
  const auto content = ReadFile(path);
  ASSERT_TRUE(content.has_value()) << path;
  ExpectCredentialText(*content, w);
}

void ExpectCredentialLine(const InstallTree& tree, const Written& w) {
  ExpectCredentialLineIn(tree.EtcFile("credseal.csv"), w);
}

/// The records a run leaves with the recording library: both channels
/// opened, START, the messages on the error channel, END with the exit
/// code, the error channel closed first; nine values each.
void ExpectTrace(const InstallTree& tree, const std::vector<std::string>& messages, int exitCode) {
  const auto records = harness::ReadTrace(tree.TraceLog());
  std::vector<std::string> seen;
  int pid = 0;
  for (const auto& r : records) {
    if (r.kind == "open" || r.kind == "close") {
      seen.push_back(r.kind + " " + r.channel + " " + std::to_string(r.value));
      continue;
    }
    if (r.kind != "trace") continue;
    seen.push_back("trace " + r.channel + " " + r.data);
    SCOPED_TRACE(r.data);
    EXPECT_EQ(r.values[0], 0);
    EXPECT_EQ(r.values[1], 1);
    EXPECT_EQ(r.file, "credseal_command.cpp");
    EXPECT_GT(r.values[3], 0);
    EXPECT_EQ(r.values[4], 2);
    EXPECT_EQ(r.values[5], static_cast<int>(r.data.size()));
    if (pid == 0) pid = r.values[6];
    EXPECT_EQ(r.values[6], pid);
    EXPECT_EQ(r.values[7], r.data == "END" ? exitCode : 0);
  }
  EXPECT_GT(pid, 0);
  std::vector<std::string> expected = {"open Norvelle03 0", "open Norvelle04 0",
                                       "trace Norvelle04 START"};
  for (const auto& m : messages) expected.push_back("trace Norvelle03 " + m);
  expected.insert(expected.end(),
                  {"trace Norvelle04 END", "close Norvelle03 0", "close Norvelle04 0"});
  EXPECT_EQ(seen, expected);
}

// --- the command line, messages, files and exit codes --------------------

struct CommandCase {
  const char* name = "";
  std::vector<std::string> args{};
  bool oldLog = false;  ///< a log file from an earlier run exists (ROOT/log.txt)
  int exitCode = 0;
  std::string err{};                 ///< the whole standard error stream
  std::optional<Written> written{};  ///< nullopt: the old credential line stays
  std::optional<std::string> log{};  ///< the log file afterwards; nullopt: none
  std::vector<std::string> messages{};
};

const std::string k64(64, 'p');
const std::string k65(65, 'p');
const std::string kName64(64, 'n');
const std::string kName65(65, 'n');
const std::string kLogPath260(260, 'L');

/// -d SALES -u admin -p secret after `before`.
std::vector<std::string> Sales(std::vector<std::string> before = {}) {
  before.insert(before.end(), {"-d", "SALES", "-u", "admin", "-p", "secret"});
  return before;
}

/// A command line refused with the usage text on the standard error stream.
CommandCase Usage(const char* name, std::vector<std::string> args) {
  return {
      .name = name, .args = std::move(args), .exitCode = 22, .err = kUsage, .messages = {kInvalid}};
}

/// A command line that writes the credential line for `w`.
CommandCase Writes(const char* name, std::vector<std::string> args,
                   const Written& w = {"SALES", "admin", "secret"}) {
  return {.name = name, .args = std::move(args), .written = w};
}

std::vector<CommandCase> CommandCases() {
  const std::vector<std::string> invalid = {kInvalid};
  return {
      {.name = "NoArguments",
       .oldLog = true,
       .exitCode = 22,
       .err = kUsage,
       .log = kOldLog,
       .messages = invalid},
      Writes("ThreeValues", Sales()),
      Writes("AttachedValues", {"-dSALES", "-uadmin", "-psecret"}),
      Writes("AnyOrder", {"-p", "secret", "-u", "admin", "-d", "SALES"}),
      {.name = "LogWithoutPassword",
       .args = {"-o", "log.txt", "-d", "SALES", "-u", "admin"},
       .oldLog = true,
       .exitCode = 22,
       .log = kInvalid,
       .messages = invalid},
      {.name = "LogThenUnknownLetter",
       .args = {"-o", "log.txt", "-x"},
       .oldLog = true,
       .exitCode = 22,
       .err = kUsage,
       .log = kOldLog,
       .messages = invalid},
      Usage("ValueMissingAtEnd", {"-d", "SALES", "-u", "admin", "-p"}),
      Usage("ValueIsNextOption", {"-d", "-u", "admin", "-p", "secret"}),
      Usage("AttachedValueBeginsWithDash", {"-d", "SALES", "-u", "admin", "-p-abc"}),
      Usage("SeparateValueBeginsWithDash", {"-d", "SALES", "-u", "admin", "-p", "-abc"}),
      Usage("UpperCaseLetter", {"-D", "SALES", "-u", "admin", "-p", "secret"}),
      Usage("LoneDash", {"-", "-d", "SALES"}),
      Usage("EmptyPassword", {"-d", "SALES", "-u", "admin", "-p", ""}),
      {.name = "EmptyPasswordToLog",
       .args = {"-o", "log.txt", "-d", "SALES", "-u", "admin", "-p", ""},
       .exitCode = 22,
       .log = kInvalid,
       .messages = invalid},
      Writes("ExtraAfterOptions", {"-d", "SALES", "-u", "admin", "-p", "secret", "extra", "-x"}),
      Usage("ExtraBeforeOptions", Sales({"extra"})),
      Writes("RepeatedOption", Sales({"-d", "FIRST"})),
      {.name = "SuccessDeletesLog",
       .args = Sales({"-o", "log.txt"}),
       .oldLog = true,
       .written = Written{"SALES", "admin", "secret"}},
      Writes("SuccessWithoutEarlierLog", Sales({"-o", "log.txt"})),
      Writes("CommasWrittenUnchanged", {"-d", "SA,LES", "-u", "ad,min", "-p", "secret"},
             {"SA,LES", "ad,min", "secret"}),
      Writes("SpacesAndQuotes", {"-d", "SALES DB", "-u", "admin", "-p", "pa ss\"w\\ord\\"},
             {"SALES DB", "admin", "pa ss\"w\\ord\\"}),
      Writes("OneCharacterPassword", {"-d", "SALES", "-u", "admin", "-p", "x"},
             {"SALES", "admin", "x"}),
      Writes("LongestValues", {"-d", kName64, "-u", kName64, "-p", k64}, {kName64, kName64, k64}),
      {.name = "PasswordTooLong",
       .args = {"-d", "SALES", "-u", "admin", "-p", k65},
       .exitCode = 100,
       .err = kSealFailed,
       .messages = {kSealFailed}},
      {.name = "PasswordFarTooLong",
       .args = {"-d", "SALES", "-u", "admin", "-p", std::string(3000, 'q')},
       .exitCode = 100,
       .err = kSealFailed,
       .messages = {kSealFailed}},
      {.name = "PasswordTooLongToLog",
       .args = {"-o", "log.txt", "-d", "SALES", "-u", "admin", "-p", k65},
       .oldLog = true,
       .exitCode = 100,
       .log = kSealFailed,
       .messages = {kSealFailed}},
      Usage("DsnTooLong", {"-d", kName65, "-u", "admin", "-p", "secret"}),
      Usage("UserTooLong", {"-d", "SALES", "-u", kName65, "-p", "secret"}),
      {.name = "UserTooLongToLog",
       .args = {"-o", "log.txt", "-d", "SALES", "-u", kName65, "-p", "secret"},
       .exitCode = 22,
       .log = kInvalid,
       .messages = invalid},
      Writes("TooLongThenRepeatedFits", Sales({"-d", kName65})),
      Usage("LogPathTooLong", Sales({"-o", kLogPath260})),
      Usage("LineBreakInDsn", {"-d", "SA\nLES", "-u", "admin", "-p", "secret"}),
      Usage("CarriageReturnInUser", {"-d", "SALES", "-u", "ad\rmin", "-p", "secret"}),
      {.name = "LogCannotBeWritten",
       .args = {"-o", "missing/log.txt", "-d", "SALES", "-u", "admin"},
       .exitCode = 22,
       .messages = {kInvalid, kLogFailed}},
      // The credential file under another name: its message would take the
      // line's place, its deletion after success the file.
      Usage("LogIsTheCredentialFile", Sales({"-o", "etc/../etc/credseal.csv"})),
  };
}

void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }

/// Text written to the standard error stream in text mode: "\n" is CR LF on
/// Windows.
std::string AsText(std::string text) {
  if (!CurrentTarget().IsWindows()) return text;
  for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) {
    text.insert(at, 1, '\r');
  }
  return text;
}

class CredsealCommand : public testing::TestWithParam<std::tuple<CommandCase, bool>> {};

TEST_P(CredsealCommand, Run) {
  const auto& [c, traced] = GetParam();
  InstallTree tree;
  tree.InstallProgram("credseal");
  if (traced) tree.InstallTrace();
  WriteOldFiles(tree, c.oldLog);

  const RunResult r = harness::RunInstalled(tree, "credseal", c.args);
  ASSERT_FALSE(r.crashed) << r.err;
  EXPECT_EQ(r.exitCode, c.exitCode);
  EXPECT_EQ(r.err, AsText(c.err));
  EXPECT_EQ(r.out, "");
  if (c.written) {
    ExpectCredentialLine(tree, *c.written);
  } else {
    EXPECT_EQ(ReadFile(tree.EtcFile("credseal.csv")), kOldLine + LineEnd());
  }
  EXPECT_EQ(ReadFile(tree.Root() + "/log.txt"), c.log);
  EXPECT_EQ(EtcListing(tree), std::vector<std::string>{"credseal.csv"}) << "nothing left behind";
  if (traced) {
    ExpectTrace(tree, c.messages, c.exitCode);
  } else {
    EXPECT_FALSE(ReadFile(tree.TraceLog()).value_or("").find("trace") != std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CredsealCommand,
                         testing::Combine(testing::ValuesIn(CommandCases()), testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "_traced" : "_untraced");
                         });

// --- the credential file ---------------------------------------------------

RunResult RunThreeValues(const InstallTree& tree, const harness::RunOptions& options = {}) {
  return harness::RunInstalled(tree, "credseal", {"-d", "SALES", "-u", "admin", "-p", "secret"},
                               options);
}

TEST(CredsealFile, CreatedWhenAbsent) {
  InstallTree tree;
  tree.InstallProgram("credseal");
  const RunResult r = RunThreeValues(tree);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  ExpectCredentialLine(tree, {"SALES", "admin", "secret"});
  struct stat st {};
  ASSERT_EQ(stat(tree.EtcFile("credseal.csv").c_str(), &st), 0);
  if (CurrentTarget().IsWindows()) {
    // Wine keeps no security descriptor, but derives the mode from the one
    // the file was created with: without the protected DACL others may read.
    EXPECT_EQ(st.st_mode & 07, 0u) << "others may not open it";
  } else {
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "readable by its owner only";
  }
}

TEST(CredsealFile, ReplacedFileKeepsModeAndOwner) {
  if (CurrentTarget().IsWindows()) GTEST_SKIP() << "POSIX modes and owners";
  REQUIRE_TOOL(geteuid() == 0, "root, to give the file another group");
  InstallTree tree;
  tree.InstallProgram("credseal");
  WriteOldFiles(tree, false);
  const std::string path = tree.EtcFile("credseal.csv");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_EQ(chown(path.c_str(), 0, 65534), 0);
  const RunResult r = RunThreeValues(tree);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_gid, 65534u);
  ExpectCredentialLine(tree, {"SALES", "admin", "secret"});
}

// --- the credential file in shared, linked and interrupted setups ----------

/// What the file holds after a run.
enum class Holds {
  kNewLine,              ///< exactly the new line
  kOldLine,              ///< the old line, whole
  kNewLineThenLineEnds,  ///< the new line, then empty lines (a kill before the cut)
  kUntouched,            ///< what the setup put there
};

struct FileSetup {
  const char* name = "";
  const char* setup = "true";  ///< shell commands in ROOT before the run
  std::vector<std::string> args = Sales();
  const char* runAs = nullptr;   ///< POSIX: "uid:gid" the program runs as
  bool root = false;             ///< the setup gives files to other accounts
  const char* fault = nullptr;   ///< POSIX: "NAME=VALUE" for the preloaded fault shim
  const char* within = nullptr;  ///< POSIX: shell commands in ROOT just before the program
  bool ownMounts = false;        ///< POSIX: `within` runs in a private mount namespace
  int together = 0;  ///< runs started at once, each with its own password: one of their lines
  int exitCode = 0;
  const char* lineIn = "etc/credseal.csv";  ///< holds the line afterwards
  Holds holds = Holds::kNewLine;
  const char* check = "true";         ///< shell commands in ROOT that must succeed after
  const char* windowsSkip = nullptr;  ///< why the case cannot run under Wine
};

const char* const kPosixSignals =
    "POSIX signals (the console control handler is checked by reading it)";

std::vector<FileSetup> FileSetups() {
  return {
      // Only a file of the caller's own or root's is used: a group member
      // may not take over another account's file.
      {.name = "GroupMemberMayNotUseAnotherAccountsFile",
       .setup = "chmod 755 .. . bin && chmod 777 etc && chown 65534:65532 etc/credseal.csv && "
                "chmod 660 etc/credseal.csv",
       .runAs = "65533:65532",
       .exitCode = 2,
       .holds = Holds::kOldLine,
       .check = "test \"$(stat -c %u:%g:%a etc/credseal.csv)\" = 65534:65532:660",
       .windowsSkip = "POSIX owners, groups and modes"},
      {.name = "WritableFileInADirectoryTheCallerCannotWrite",
       .setup = "chmod 755 .. . bin etc && chmod 666 etc/credseal.csv",
       .runAs = "65533:65533",
       .check = "test \"$(stat -c %u:%a etc/credseal.csv)\" = 0:666",
       .windowsSkip = "Wine's server creates files as root whatever the directory's mode"},
      {.name = "RunsStartedTogetherInPlace",
       .setup = "ln etc/credseal.csv other",
       .together = 50,
       .check = "test etc/credseal.csv -ef other"},
      {.name = "RunsStartedTogetherThroughTemporaryFiles", .together = 50},
      // Every interruption another process or the system can send waits
      // for the run; a kill, which nothing can hold, leaves no old tail.
      {.name = "TermBeforeTheMoveWaitsForTheRun",
       .fault = "FAULT_SHIM_SIGNAL_AT=renameat:15",
       .exitCode = 128 + SIGTERM,
       .windowsSkip = kPosixSignals},
      {.name = "CpuLimitBeforeTheMoveWaitsForTheRun",
       .fault = "FAULT_SHIM_SIGNAL_AT=renameat:24",
       .exitCode = 128 + SIGXCPU,
       .windowsSkip = kPosixSignals},
      {.name = "TermBeforeTheCutWaitsForTheRun",
       .setup = "ln etc/credseal.csv other",
       .fault = "FAULT_SHIM_SIGNAL_AT=ftruncate:15",
       .exitCode = 128 + SIGTERM,
       .windowsSkip = kPosixSignals},
      {.name = "UserSignalBeforeTheCutWaitsForTheRun",
       .setup = "ln etc/credseal.csv other",
       .fault = "FAULT_SHIM_SIGNAL_AT=ftruncate:10",
       .exitCode = 128 + SIGUSR1,
       .windowsSkip = kPosixSignals},
      {.name = "KillBeforeTheCutLeavesOnlyLineEndsBehindTheNewLine",
       .setup = "ln etc/credseal.csv other && printf 'OLDDSN,olduser,%0200d\\n' 0 >other",
       .fault = "FAULT_SHIM_SIGNAL_AT=ftruncate:9",
       .exitCode = 128 + SIGKILL,
       .holds = Holds::kNewLineThenLineEnds,
       .windowsSkip = kPosixSignals},
      {.name = "FileSizeLimitFailsTheWriteAndKeepsTheOldLine",
       .within = "ulimit -f 0",
       .exitCode = 4,
       .holds = Holds::kOldLine,
       .windowsSkip = "a POSIX resource limit"},
      // In place, the old line stays byte for byte: a full disk at the
      // reservation or at the write, or a kill right after the reservation.
      {.name = "FullDiskAtTheReservationKeepsTheOldLine",
       .setup = "ln etc/credseal.csv other",
       .args = {"-d", "SALESDATABASE", "-u", "admin", "-p", "secret"},
       .fault = "FAULT_SHIM_FULL_DISK=fallocate",
       .exitCode = 4,
       .holds = Holds::kOldLine,
       .windowsSkip = "a full disk is simulated in the POSIX C library"},
      {.name = "FullDiskAtTheInPlaceWritePutsTheOldLineBack",
       .setup = "ln etc/credseal.csv other",
       .args = {"-d", "SALESDATABASE", "-u", "admin", "-p", "secret"},
       .fault = "FAULT_SHIM_FULL_DISK=pwrite",
       .exitCode = 4,
       .holds = Holds::kOldLine,
       .windowsSkip = "a full disk is simulated in the POSIX C library"},
      {.name = "KillRightAfterTheReservationKeepsTheOldLine",
       .setup = "ln etc/credseal.csv other",
       .args = {"-d", "SALESDATABASE", "-u", "admin", "-p", "secret"},
       .fault = "FAULT_SHIM_SIGNAL_AT=pwrite:9",
       .exitCode = 128 + SIGKILL,
       .holds = Holds::kOldLine,
       .windowsSkip = kPosixSignals},
      // What the file had, kept: carried over, or written in place.
      {.name = "ExtendedAttributeIsCarriedOver",
       .setup = "setfattr -n user.kit -v kept etc/credseal.csv",
       .check = "test \"$(getfattr --only-values -n user.kit etc/credseal.csv)\" = kept",
       .windowsSkip = "POSIX extended attributes"},
      {.name = "AttributeTheCallerCannotSetKeepsTheFileInPlace",
       .setup = "chmod 755 .. . bin etc && chown 65533:65533 etc etc/credseal.csv && "
                "setfattr -n security.kit -v kept etc/credseal.csv && stat -c %i "
                "etc/credseal.csv >inode",
       .runAs = "65533:65533",
       .check = "test \"$(getfattr --only-values -n security.kit etc/credseal.csv)\" = kept && "
                "test \"$(stat -c %i etc/credseal.csv)\" = \"$(cat inode)\"",
       .windowsSkip = "POSIX extended attributes"},
      {.name = "BindMountOverTheFileIsWrittenThrough",
       .setup = "cp etc/credseal.csv mounted.csv",
       .within = "mount --bind mounted.csv etc/credseal.csv",
       .ownMounts = true,
       .lineIn = "mounted.csv",
       .windowsSkip = "POSIX mounts"},
      // etc writable by another account (the relay's, on POSIX by design):
      // what it planted there is refused before anything is written.
      {.name = "LinkAnotherAccountPlantedIsNotFollowed",
       .setup = "printf 'ROOT ONLY\\n' >secret && chmod 600 secret && chown 12345 etc && "
                "rm etc/credseal.csv && ln -s ../secret etc/credseal.csv && "
                "chown -h 12345 etc/credseal.csv",
       .root = true,
       .exitCode = 2,
       .lineIn = "secret",
       .holds = Holds::kUntouched,
       .check = "test -L etc/credseal.csv && test \"$(stat -c %u:%a secret)\" = 0:600"},
      {.name = "FileAnotherAccountPlantedIsNotUsed",
       .setup = "chown 12345 etc etc/credseal.csv && chmod 666 etc/credseal.csv",
       .root = true,
       .exitCode = 2,
       .holds = Holds::kOldLine,
       .check = "test \"$(stat -c %u:%a etc/credseal.csv)\" = 12345:666"},
      {.name = "OwnLinkToAnotherDirectoryIsFollowed",
       .setup = "mkdir elsewhere && mv etc/credseal.csv elsewhere/ && "
                "ln -s ../elsewhere/credseal.csv etc/credseal.csv",
       .lineIn = "elsewhere/credseal.csv",
       .check = "test -L etc/credseal.csv",
       .windowsSkip = "Wine shows a Unix link as the file it names, so no link's owner can be "
                      "checked there: every such link is refused"},
      {.name = "HardLinkInADirectoryOthersMayWriteIsRefused",
       .setup = "ln etc/credseal.csv hard && chmod 777 etc",
       .exitCode = 2,
       .holds = Holds::kOldLine,
       .windowsSkip = "the folder's permissions are the installation's ACL on Windows"},
      {.name = "LogNamingALinkToTheCredentialFileIsRefused",
       .setup = "ln -s etc/credseal.csv link",
       .args = Sales({"-o", "link"}),
       .exitCode = 22,
       .holds = Holds::kOldLine,
       .check = "test -L link"},
      {.name = "LogNamingADirectoryLeavesIt",
       .setup = "mkdir logs",
       .args = Sales({"-o", "logs"}),
       .check = "test -d logs"},
  };
}

void PrintTo(const FileSetup& c, std::ostream* os) { *os << c.name; }

void RunShell(const InstallTree& tree, const std::string& commands) {
  ASSERT_EQ(harness::RunShell(tree.Root(), commands), 0) << commands;
}

class CredsealFileSetup : public testing::TestWithParam<FileSetup> {};

/// The options that put the case's user, fault and shell steps around the
/// program.
harness::RunOptions SetupOptions(const InstallTree& tree, const FileSetup& c) {
  harness::RunOptions options;
  if (c.ownMounts) options.prefix = {"unshare", "-m"};
  if (c.within != nullptr) {
    options.prefix.insert(
        options.prefix.end(),
        {"sh", "-c", std::string("cd '") + tree.Root() + "' && " + c.within + " && exec \"$@\"",
         "sh"});
  }
  if (c.runAs != nullptr) {
    const std::string id = c.runAs;
    const std::string uid = id.substr(0, id.find(':'));
    const std::string gid = id.substr(id.find(':') + 1);
    options.prefix.insert(options.prefix.end(),
                          {"setpriv", "--reuid=" + uid, "--regid=" + gid, "--clear-groups"});
  }
  if (c.fault != nullptr) {
    const std::string fault = c.fault;
    options.env = {{"LD_PRELOAD", harness::FaultShim()},
                   {fault.substr(0, fault.find('=')), fault.substr(fault.find('=') + 1)},
                   {"ASAN_OPTIONS", "verify_asan_link_order=0"}};
  }
  return options;
}

/// Runs started at once behind a barrier, the i-th with password "pw<i>";
/// a few rounds natively, one with fewer runs under Wine, where each costs
/// a Wine process.
void RunTogether(const InstallTree& tree, const FileSetup& c, const harness::RunOptions& options) {
  const bool wine = CurrentTarget().IsWindows();
  const int runs = wine ? 8 : c.together;
  for (int round = 0; round < (wine ? 1 : 3); ++round) {
    std::latch start(runs);
    std::vector<RunResult> results(static_cast<std::size_t>(runs));
    std::vector<std::thread> threads;
    for (int i = 0; i < runs; ++i) {
      threads.emplace_back([&, i] {
        start.arrive_and_wait();
        results[static_cast<std::size_t>(i)] = harness::RunInstalled(
            tree, "credseal", {"-d", "SALES", "-u", "admin", "-p", "pw" + std::to_string(i)},
            options);
      });
    }
    for (auto& t : threads) t.join();
    for (std::size_t i = 0; i < results.size(); ++i) {
      EXPECT_EQ(results[i].exitCode, c.exitCode)
          << "round " << round << ", run " << i << ": " << results[i].out << results[i].err;
    }
    const std::string content = ReadFile(tree.Root() + "/" + c.lineIn).value_or("");
    const auto sealed = SealedTextIn(content, "SALES", "admin");
    ASSERT_TRUE(sealed.has_value()) << "round " << round << ": " << content;
    const auto password = Unseal(*sealed);
    ASSERT_TRUE(password.has_value()) << content;
    EXPECT_EQ(password->rfind("pw", 0), 0u);
    EXPECT_LT(std::stoi(password->substr(2)), runs) << "round " << round;
  }
}

void ExpectHolds(const InstallTree& tree, const FileSetup& c) {
  const std::string path = tree.Root() + "/" + c.lineIn;
  switch (c.holds) {
    case Holds::kNewLine:
      ExpectCredentialLineIn(path, {"SALES", "admin", "secret"});
      break;
    case Holds::kOldLine:
      EXPECT_EQ(ReadFile(path), kOldLine + LineEnd());
      break;
    case Holds::kUntouched:
      EXPECT_EQ(ReadFile(path), "ROOT ONLY\n");
      break;
    case Holds::kNewLineThenLineEnds: {
      // The new line whole; in the old line's place, nothing but line ends.
      const std::string content = ReadFile(path).value_or("");
      const std::size_t newLineEnd = content.find('\n') + 1;
      EXPECT_EQ(content.find_first_not_of('\n', newLineEnd), std::string::npos) << content;
      ExpectCredentialText(content.substr(0, newLineEnd), {"SALES", "admin", "secret"});
      break;
    }
  }
}

TEST_P(CredsealFileSetup, Run) {
  const FileSetup& c = GetParam();
  if (c.windowsSkip != nullptr && CurrentTarget().IsWindows()) GTEST_SKIP() << c.windowsSkip;
  if (c.runAs != nullptr) REQUIRE_TOOL(geteuid() == 0, "root, to run as another user");
  if (c.root) REQUIRE_TOOL(geteuid() == 0, "root, to give files to another account");
  if (c.ownMounts) REQUIRE_TOOL(CanUnshareMounts(), "root and unshare -m");
  InstallTree tree;
  tree.InstallProgram("credseal");
  WriteOldFiles(tree, false);
  RunShell(tree, c.setup);
  const harness::RunOptions options = SetupOptions(tree, c);
  if (c.together > 0) {
    RunTogether(tree, c, options);
  } else {
    const RunResult r = harness::RunInstalled(tree, "credseal", c.args, options);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
  }
  RunShell(tree, std::string(c.check) + " && test -z \"$(find . -name '*.csv.*')\"");
  // Runs started together check their lines round by round.
  if (c.together == 0) ExpectHolds(tree, c);
}

INSTANTIATE_TEST_SUITE_P(Setups, CredsealFileSetup, testing::ValuesIn(FileSetups()),
                         [](const auto& info) { return std::string(info.param.name); });

// --- what another account planted ------------------------------------------

// A directory link that another account swaps while runs go on (etc is its
// to write): each run works in the one directory it found the file in, so
// the root-only file never takes on the other account's owner or mode.
TEST(CredsealTrust, DirectoryLinkSwappedDuringTheRunsNeverMixesTheTwo) {
  if (CurrentTarget().IsWindows()) GTEST_SKIP() << "renameat2 swaps POSIX links";
  REQUIRE_TOOL(geteuid() == 0, "root, to give files to another account");
  InstallTree tree;
  tree.InstallProgram("credseal");
  RunShell(
      tree,
      "mkdir secret theirs && printf 'ROOT ONLY\\n' >secret/credseal.csv && "
      "chmod 600 secret/credseal.csv && printf 'THEIRS\\n' >theirs/credseal.csv && "
      "chmod 666 theirs/credseal.csv && chown -R 12345 theirs etc && "
      "ln -s ../secret etc/x && ln -s ../theirs etc/y && ln -s x/credseal.csv etc/credseal.csv");
  const std::string x = tree.EtcFile("x");
  const std::string y = tree.EtcFile("y");
  std::atomic<bool> done = false;
  std::thread swapper([&] {
    while (!done) renameat2(AT_FDCWD, x.c_str(), AT_FDCWD, y.c_str(), RENAME_EXCHANGE);
  });
  for (int run = 0; run < 100; ++run) {
    const RunResult r = RunThreeValues(tree);
    EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 2) << r.err;
  }
  done = true;
  swapper.join();
  RunShell(tree,
           "test \"$(stat -c %u:%a secret/credseal.csv)\" = 0:600 && "
           "test \"$(stat -c %u:%a theirs/credseal.csv)\" = 12345:666 && "
           "test \"$(cat theirs/credseal.csv)\" = THEIRS");
}

// A reader that holds the file's lock does not hold the run for good: while
// the run waits for it, termination is not held yet.
TEST(CredsealLock, RunWaitingForAReadersLockEndsOnSigterm) {
  if (CurrentTarget().IsWindows()) GTEST_SKIP() << kPosixSignals;
  InstallTree tree;
  tree.InstallProgram("credseal");
  WriteOldFiles(tree, false);
  const int reader = open(tree.EtcFile("credseal.csv").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(reader, LOCK_SH), 0);
  harness::RunOptions options;
  options.prefix = {"sh", "-c", "\"$@\" & pid=$!; sleep 1; kill -TERM $pid; wait $pid", "sh"};
  const RunResult r = RunThreeValues(tree, options);
  close(reader);
  EXPECT_EQ(r.exitCode, 128 + SIGTERM) << r.err;
  EXPECT_EQ(ReadFile(tree.EtcFile("credseal.csv")), kOldLine + LineEnd());
  EXPECT_EQ(EtcListing(tree), std::vector<std::string>{"credseal.csv"});
}

// --- faults ------------------------------------------------------------------

/// A failed run: its message on the standard error stream, the old line
/// still in place and no temporary file beside it.
void ExpectFailureKeepsOldFile(const RunResult& r, const std::string& message, int exitCode,
                               const std::vector<std::string>& listing,
                               const std::optional<std::string>& content) {
  EXPECT_EQ(r.exitCode, exitCode) << r.err;
  EXPECT_EQ(r.err.rfind(message, 0), 0u) << r.err;
  EXPECT_EQ(r.err.back(), '.') << "no line end";
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(listing, std::vector<std::string>{"credseal.csv"});
  EXPECT_EQ(content, kOldLine + LineEnd());
}

std::vector<std::string> ReadListing(const std::string& path) {
  std::vector<std::string> names;
  std::string all = ReadFile(path).value_or("");
  std::size_t start = 0;
  while (start < all.size()) {
    const std::size_t end = all.find('\n', start);
    names.push_back(all.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return names;
}

/// Runs credseal in a private mount namespace after `setup` (shell
/// commands); the etc listing and the credential file as the program left
/// them are saved to OUT before the namespace goes.
RunResult RunInNamespace(const InstallTree& tree, const std::string& setup) {
  const std::string script = "set -e\n" + setup +
                             "\nset +e\n\"$@\"\nrc=$?\n"
                             "ls -A \"$ETC\" | grep -v '^fill$' > \"$OUT/listing\"\n"
                             "cp \"$ETC/credseal.csv\" \"$OUT/after\"\nexit $rc\n";
  std::filesystem::create_directories(tree.Base() + "/out");
  harness::RunOptions options;
  options.env = {{"ETC", tree.Etc()}, {"OUT", tree.Base() + "/out"}};
  options.prefix = {"unshare", "-m", "sh", "-c", script, "sh"};
  return RunThreeValues(tree, options);
}

TEST(CredsealFault, ReadOnlyEtc) {
  InstallTree tree;
  tree.InstallProgram("credseal");
  WriteOldFiles(tree, false);
  if (CurrentTarget().IsWindows()) {
    GTEST_SKIP() << "Wine's server creates files as root whatever the directory's mode";
  }
  REQUIRE_TOOL(CanUnshareMounts(), "root and unshare -m");
  const RunResult r = RunInNamespace(
      tree, "mount --bind \"$ETC\" \"$ETC\"\nmount -o remount,bind,ro \"$ETC\" \"$ETC\"");
  ExpectFailureKeepsOldFile(r, kCreateFailed + "30.", 2, ReadListing(tree.Base() + "/out/listing"),
                            ReadFile(tree.Base() + "/out/after"));
}

TEST(CredsealFault, ReadOnlyCredentialFile) {
  InstallTree tree;
  tree.InstallProgram("credseal");
  WriteOldFiles(tree, false);
  if (CurrentTarget().IsWindows()) {
    // Wine gives a file without write permission the read-only attribute.
    ASSERT_EQ(chmod(tree.EtcFile("credseal.csv").c_str(), 0444), 0);
    const RunResult r = RunThreeValues(tree);
    ExpectFailureKeepsOldFile(r, kCreateFailed + "13.", 2, EtcListing(tree),
                              ReadFile(tree.EtcFile("credseal.csv")));
    return;
  }
  REQUIRE_TOOL(CanUnshareMounts(), "root and unshare -m");
  const RunResult r = RunInNamespace(tree,
                                     "f=\"$ETC/credseal.csv\"\nmount --bind \"$f\" \"$f\"\n"
                                     "mount -o remount,bind,ro \"$f\" \"$f\"");
  ExpectFailureKeepsOldFile(r, kCreateFailed + "30.", 2, ReadListing(tree.Base() + "/out/listing"),
                            ReadFile(tree.Base() + "/out/after"));
}

TEST(CredsealFault, EtcMissing) {
  InstallTree tree;
  tree.InstallProgram("credseal");
  std::filesystem::remove_all(tree.Etc());
  const RunResult r = RunThreeValues(tree);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, kCreateFailed + "2.");
  EXPECT_FALSE(harness::Exists(tree.Etc()));
}

// The line does not fit on a full file system: the failure shows only when
// the buffered line is flushed.
TEST(CredsealFault, WriteFailsOnFullFileSystem) {
  if (CurrentTarget().IsWindows()) GTEST_SKIP() << "a full file system is mounted on POSIX only";
  REQUIRE_TOOL(CanUnshareMounts(), "root and unshare -m");
  InstallTree tree;
  tree.InstallProgram("credseal");
  WriteOldFiles(tree, false);
  const RunResult r =
      RunInNamespace(tree,
                     "cp \"$ETC/credseal.csv\" \"$OUT/before\"\n"
                     "mount -t tmpfs -o size=64k tmpfs \"$ETC\"\n"
                     "cp \"$OUT/before\" \"$ETC/credseal.csv\"\n"
                     "dd if=/dev/zero of=\"$ETC/fill\" bs=4096 2>/dev/null || true");
  ExpectFailureKeepsOldFile(r, kWriteFailed + "28.", 4, ReadListing(tree.Base() + "/out/listing"),
                            ReadFile(tree.Base() + "/out/after"));
}

TEST(CredsealFault, InstallDirectoryTooLong) {
  // The program's own path no longer fits in 260 characters.
  InstallTree tree(std::string(120, 'a') + "/" + std::string(120, 'b') + "/App");
  tree.InstallProgram("credseal");
  harness::RunOptions options;
  options.cwd = tree.Base();  // Wine cannot start in a directory that long
  const RunResult r = RunThreeValues(tree, options);
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_EQ(r.err, "credseal error get adapter install path.");
}

TEST(CredsealFault, CredentialPathTooLong) {
  // A root of 243 characters: the program in ROOT/b still has a path that
  // fits in 260, the path of etc/credseal.csv does not and is refused
  // rather than cut.
  InstallTree probe;
  const std::size_t base = CurrentTarget().TargetPath(probe.Base()).size() + 1;
  ASSERT_LT(base, 200u);
  InstallTree tree(std::string(243 - 4 - base, 'a') + "/App");
  ASSERT_EQ(CurrentTarget().TargetPath(tree.Root()).size(), 243u);
  std::filesystem::create_directories(tree.Root() + "/b");
  const std::string program = tree.InstallProgram("credseal", tree.Root() + "/b");
  const RunResult r =
      harness::Run(CurrentTarget(), program, {"-d", "SALES", "-u", "admin", "-p", "secret"});
  EXPECT_EQ(r.exitCode, 2) << r.err;
  EXPECT_EQ(r.err.rfind(kCreateFailed, 0), 0u) << r.err;
  EXPECT_TRUE(EtcListing(tree).empty());
}

// --- the password in the process's own command line --------------------------

std::string ProbeLibrary() {
  const auto& t = CurrentTarget();
  return t.buildDir + "/bin/probes/cmdline/" + (t.IsWindows() ? "tloxtrc.dll" : "libtloxtrc.so");
}

/// What the probe saw at one record: the copies of the password in the
/// process's writable memory, and the command line.
struct ProbeRecord {
  long copies = -1;
  std::string commandLine;
};

struct ProbeLines {
  ProbeRecord start;
  ProbeRecord end;
};

/// The password as the probe takes it: hex digits of each byte XOR 0xFF.
std::string ProbeSecret(const std::string& password) {
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (const unsigned char c : password) {
    hex += kHex[(c ^ 0xFF) >> 4];
    hex += kHex[(c ^ 0xFF) & 0xF];
  }
  return hex;
}

/// "TEXT<tab>COPIES<tab>COMMAND LINE" as a record.
ProbeRecord ParseProbeLine(const std::string& line) {
  const std::size_t first = line.find('\t');
  const std::size_t second = line.find('\t', first + 1);
  return {std::stol(line.substr(first + 1, second - first - 1)), line.substr(second + 1)};
}

struct ProbedRun {
  RunResult result;
  ProbeLines lines;
};

/// Runs credseal with the probe in place of the trace library, which looks
/// for `password`, and returns what it saw at START (before the scan) and
/// at END.
ProbedRun RunWithProbe(const InstallTree& tree, const std::vector<std::string>& args,
                       const std::string& password, harness::RunOptions options = {}) {
  std::filesystem::copy_file(
      ProbeLibrary(), tree.Bin() + "/" + std::filesystem::path(ProbeLibrary()).filename().string());
  const std::string log = tree.Base() + "/probe.log";
  options.env = {{"CMDLINE_PROBE_LOG", CurrentTarget().TargetPath(log)},
                 {"CMDLINE_PROBE_SECRET", ProbeSecret(password)}};
  ProbedRun run{harness::RunInstalled(tree, "credseal", args, options), {}};
  for (const auto& line : ReadListing(log)) {
    if (line.rfind("START\t", 0) == 0) run.lines.start = ParseProbeLine(line);
    if (line.rfind("END\t", 0) == 0) run.lines.end = ParseProbeLine(line);
  }
  return run;
}

TEST(CredsealCommandLine, PasswordGoneOnceRead) {
  // Each password begins with the marker Zq7; the last one needs quoting
  // and escapes in a Windows command line.
  const struct {
    std::vector<std::string> args;
    std::string password;
  } cases[] = {
      {{"-d", "SALES", "-u", "admin", "-p", "Zq7secretPW"}, "Zq7secretPW"},
      {{"-d", "SALES", "-u", "admin", "-pZq7secretPW"}, "Zq7secretPW"},
      {{"-d", "SALES", "-p", "Zq7 \"sec\\\"ret\\", "-u", "admin"}, "Zq7 \"sec\\\"ret\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    InstallTree tree;
    tree.InstallProgram("credseal");
    const ProbedRun run = RunWithProbe(tree, c.args, c.password);
    EXPECT_EQ(run.result.exitCode, 0) << run.result.err;
    const ProbeRecord& start = run.lines.start;
    const std::string& end = run.lines.end.commandLine;
    EXPECT_NE(start.commandLine.find("Zq7"), std::string::npos) << start.commandLine;
    EXPECT_GT(start.copies, 0) << "the scan finds the argument";
    ASSERT_FALSE(end.empty());
    EXPECT_EQ(end.find("Zq7"), std::string::npos) << end;
    EXPECT_EQ(end.find("sec"), std::string::npos) << end;
    EXPECT_EQ(run.lines.end.copies, 0) << "left in memory; before the scan: " << start.copies;
    // Only the password went: the other arguments are still shown.
    EXPECT_NE(end.find("SALES"), std::string::npos) << end;
    EXPECT_NE(end.find("admin"), std::string::npos) << end;
  }
}

// --- the password from standard input --------------------------------------

struct InputCase {
  const char* name = "";
  std::vector<std::string> args = {"-d", "SALES", "-u", "admin", "-i"};
  harness::InputFrom from = harness::InputFrom::kText;
  std::string input{};                 ///< the bytes of a text, or the content of a file
  std::string secret = "Zq7secretPW";  ///< what the probe looks for
  int exitCode = 0;
  std::string err{};
  bool written = false;  ///< the secret sealed in the credential file; else the old line
  std::optional<std::string> log{};
};

void PrintTo(const InputCase& c, std::ostream* os) { *os << c.name; }

/// A run refused with the usage text, the old credential line kept.
InputCase Refused(const char* name, std::string input,
                  harness::InputFrom from = harness::InputFrom::kText) {
  return {.name = name, .from = from, .input = std::move(input), .exitCode = 22, .err = kUsage};
}

std::vector<InputCase> InputCases() {
  const std::string k64 = "Zq7" + std::string(61, 'p');
  const std::string k65 = "Zq7" + std::string(62, 'p');
  return {
      {.name = "Pipe", .input = "Zq7secretPW\n", .written = true},
      {.name = "RedirectedFileWithCrLf",
       .from = harness::InputFrom::kFile,
       .input = "Zq7secretPW\r\nnext line\r\n",
       .written = true},
      {.name = "PasswordBeginningWithDash",
       .input = "-Zq7secretPW\n",
       .secret = "-Zq7secretPW",
       .written = true},
      {.name = "Longest", .input = k64 + "\n", .secret = k64, .written = true},
      {.name = "TooLong", .input = k65 + "\n", .secret = k65, .exitCode = 100, .err = kSealFailed},
      Refused("EmptyLine", "\nZq7secretPW\n"),
      Refused("EmptyInput", ""),
      Refused("NoInput", "", harness::InputFrom::kClosed),
      {.name = "EmptyInputToLog",
       .args = {"-o", "log.txt", "-d", "SALES", "-u", "admin", "-i"},
       .exitCode = 22,
       .log = kInvalid},
      {.name = "WithPasswordOption",
       .args = {"-d", "SALES", "-u", "admin", "-i", "-p", "other"},
       .input = "Zq7secretPW\n",
       .exitCode = 22,
       .err = kUsage},
      {.name = "GroupedWithAnOption",
       .args = {"-id", "SALES", "-u", "admin"},
       .input = "Zq7secretPW\n",
       .written = true},
      {.name = "GroupedWithAnUnknownLetter",
       .args = {"-ix", "-d", "SALES", "-u", "admin"},
       .input = "Zq7secretPW\n",
       .exitCode = 22,
       .err = kUsage},
  };
}

class CredsealInput : public testing::TestWithParam<InputCase> {};

// The probe takes the trace library's place: the password is never on the
// command line, and no copy stays in memory once the run is over.
TEST_P(CredsealInput, Run) {
  const InputCase& c = GetParam();
  InstallTree tree;
  tree.InstallProgram("credseal");
  WriteOldFiles(tree, false);
  harness::RunOptions options;
  options.inputFrom = c.from;
  options.input = c.input;
  if (c.from == harness::InputFrom::kFile) {
    options.input = tree.Base() + "/input.txt";
    harness::WriteFile(options.input, c.input);
  }
  const ProbedRun run = RunWithProbe(tree, c.args, c.secret, options);
  const RunResult& r = run.result;
  ASSERT_FALSE(r.crashed) << r.err;
  EXPECT_EQ(r.exitCode, c.exitCode);
  EXPECT_EQ(r.err, AsText(c.err));
  EXPECT_EQ(r.out, "");
  if (c.written) {
    ExpectCredentialLine(tree, {"SALES", "admin", c.secret});
  } else {
    EXPECT_EQ(ReadFile(tree.EtcFile("credseal.csv")), kOldLine + LineEnd());
  }
  EXPECT_EQ(ReadFile(tree.Root() + "/log.txt"), c.log);
  for (const ProbeRecord* record : {&run.lines.start, &run.lines.end}) {
    EXPECT_EQ(record->commandLine.find("Zq7"), std::string::npos) << record->commandLine;
    EXPECT_EQ(record->copies, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CredsealInput, testing::ValuesIn(InputCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// --- the password typed on a terminal ---------------------------------------

/// A pseudo-terminal: the suite holds its master side, the program opens
/// the device as its controlling terminal.
class Terminal {
 public:
  Terminal() : master_(posix_openpt(O_RDWR | O_NOCTTY)) {
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
      throw std::runtime_error("no pseudo-terminal");
    }
    device_ = ptsname(master_);
  }
  ~Terminal() { close(master_); }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  const std::string& Device() const { return device_; }
  bool Echoes() const {
    struct termios modes {};
    return tcgetattr(master_, &modes) == 0 && (modes.c_lflag & ECHO) != 0;
  }
  /// True once the echo is as asked, false after 20 s.
  bool AwaitEcho(bool on) const {
    for (int i = 0; i < 2000 && Echoes() != on; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return Echoes() == on;
  }
  void Type(const std::string& keys) const {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  /// What the terminal showed, the echo included.
  std::string Shown() const {
    std::string shown;
    char chunk[256];
    pollfd ready = {master_, POLLIN, 0};
    while (poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN) != 0) {
      const ssize_t n = read(master_, chunk, sizeof chunk);
      if (n <= 0) break;
      shown.append(chunk, static_cast<std::size_t>(n));
    }
    return shown;
  }

 private:
  int master_;
  std::string device_;
};

struct TypedCase {
  const char* name;
  std::string keys;
  int exitCode;
  bool written;
};

// Echo off while the line is read, and back on after it: when the line was
// typed, and when Ctrl+C ended the program instead.
TEST(CredsealTerminal, EchoOffWhileTheLineIsRead) {
  // A Windows program reads a terminal through Wine's console, which sets
  // the terminal raw and echoes nothing, echo on or off.
  if (CurrentTarget().IsWindows()) GTEST_SKIP() << "Wine's console does not echo to the terminal";
  const TypedCase cases[] = {
      {"TypedLine", "Zq7secretPW\r", 0, true},
      {"CtrlC", "Zq7\x03", 128 + SIGINT, false},
  };
  for (const TypedCase& c : cases) {
    SCOPED_TRACE(c.name);
    InstallTree tree;
    tree.InstallProgram("credseal");
    WriteOldFiles(tree, false);
    Terminal terminal;
    ASSERT_TRUE(terminal.Echoes());
    harness::RunOptions options;
    options.inputFrom = harness::InputFrom::kTerminal;
    options.input = terminal.Device();
    RunResult r;
    std::thread run([&] {
      r = harness::RunInstalled(tree, "credseal", {"-d", "SALES", "-u", "admin", "-i"}, options);
    });
    EXPECT_TRUE(terminal.AwaitEcho(false)) << "echo off while reading";
    terminal.Type(c.keys);
    run.join();
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_TRUE(terminal.Echoes()) << "echo restored";
    EXPECT_EQ(terminal.Shown().find("Zq7"), std::string::npos) << "nothing typed was shown";
    if (c.written) {
      ExpectCredentialLine(tree, {"SALES", "admin", "Zq7secretPW"});
    } else {
      EXPECT_EQ(ReadFile(tree.EtcFile("credseal.csv")), kOldLine + LineEnd());
    }
  }
}

// The real program stopped under gdb: before the scan its command line shows
// the password, once the key strings are being derived it no longer does.
TEST(CredsealCommandLine, ProcessListingUnderGdb) {
  if (CurrentTarget().IsWindows()) GTEST_SKIP() << "gdb drives the POSIX build";
  REQUIRE_TOOL(HasGdb(), "gdb");
  InstallTree tree;
  const std::string program = tree.InstallProgram("credseal");
  harness::RunOptions options;
  options.prefix = {"gdb",
                    "-batch",
                    "-nx",
                    "-ex",
                    "set startup-with-shell off",
                    "-ex",
                    "break ScanOption",
                    "-ex",
                    "run",
                    "-ex",
                    "info proc cmdline",
                    "-ex",
                    "delete",
                    "-ex",
                    "break DeriveKeyStrings",
                    "-ex",
                    "continue",
                    "-ex",
                    "info proc cmdline",
                    "-ex",
                    "kill",
                    "--args"};
  const RunResult r = harness::Run(CurrentTarget(), program,
                                   {"-d", "SALES", "-u", "admin", "-p", "Zq7secretPW"}, options);
  std::vector<std::string> cmdlines;
  std::size_t at = 0;
  while ((at = r.out.find("cmdline = '", at)) != std::string::npos) {
    const std::size_t end = r.out.find('\n', at);
    cmdlines.push_back(r.out.substr(at, end - at));
    at = end;
  }
  ASSERT_EQ(cmdlines.size(), 2u) << r.out << r.err;
  EXPECT_NE(cmdlines[0].find("Zq7secretPW"), std::string::npos) << cmdlines[0];
  EXPECT_EQ(cmdlines[1].find("Zq7secretPW"), std::string::npos) << cmdlines[1];
  EXPECT_NE(cmdlines[1].find("SALES"), std::string::npos) << cmdlines[1];
}

}  // namespace
