#pragma once
// Behaviour-suite harness: lays out a temporary installation tree, copies a
// build's real programs and stand-ins into it, runs them natively (POSIX
// build) or under Wine (the 64-bit and the shipped 32-bit Windows build),
// and reads back what the stand-ins recorded. Runs on the POSIX host only;
// one suite source serves every target.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace harness {

enum class TargetKind { Posix, Win64, Win32 };

/// The calling convention of the stand-ins a suite installs; the 32-bit
/// Windows build has both.
enum class Convention { Cdecl, Stdcall };

/// The build whose programs a suite runs; chosen with
/// --target=posix|win64|win32, --build=DIR and, for win32,
/// --convention=cdecl|stdcall on the suite's command line.
struct Target {
  TargetKind kind = TargetKind::Posix;
  std::string buildDir;
  Convention convention = Convention::Cdecl;

  bool IsWindows() const { return kind != TargetKind::Posix; }
  /// The build's stand-in directory `name` (e.g. "tloxtrc", "talmsg").
  std::string Standin(std::string_view name) const;
  /// "credseal" -> DIR/bin/credseal (POSIX) or DIR/bin/credseal.exe.
  std::string Program(std::string_view name) const;
  /// A file name as the target's programs see it: "/tmp/x/y" stays on
  /// POSIX and becomes "Z:\tmp\x\y" under Wine.
  std::string TargetPath(std::string_view hostPath) const;
};

/// Strips --target and --build from argv (before InitGoogleTest).
void InitTarget(int* argc, char** argv);
const Target& CurrentTarget();

enum class TraceVariant {
  Recording,        ///< records every open, write and close
  NoRelMemoryDump,  ///< lacks the entry point "TloxRelMemoryDump"
  OpenLeavesZero,   ///< its open leaves the handle's first word 0
};

/// A temporary installation tree ROOT/bin, ROOT/etc; removed when it goes.
/// `depthPath` puts the tree deeper, e.g. "a/b/App" gives TMP/a/b/App.
class InstallTree {
 public:
  explicit InstallTree(std::string_view depthPath = "App");
  ~InstallTree();
  InstallTree(const InstallTree&) = delete;
  InstallTree& operator=(const InstallTree&) = delete;

  const std::string& Root() const { return root_; }
  /// The temporary directory that holds ROOT (removed with it).
  const std::string& Base() const { return base_; }
  std::string Bin() const { return root_ + "/bin"; }
  std::string Etc() const { return root_ + "/etc"; }
  std::string BinFile(std::string_view name) const;
  std::string EtcFile(std::string_view name) const;

  /// Copies the target's program (name without extension) into bin/, or
  /// into `dir` when given (a host path, for probes placed elsewhere).
  std::string InstallProgram(std::string_view name, std::string_view dir = {}) const;
  /// Copies a trace-library stand-in into bin/ (or `dir`).
  void InstallTrace(TraceVariant variant = TraceVariant::Recording,
                    std::string_view dir = {}) const;
  /// Copies the console-library stand-in into bin/ (or `dir`).
  void InstallConsole(std::string_view dir = {}) const;

  /// Host path of the trace stand-in's record file (see ReadTrace).
  std::string TraceLog() const { return base_ + "/trace.log"; }
  /// Host path of the console stand-in's record file.
  std::string ConsoleLog() const { return base_ + "/console.log"; }

 private:
  std::string base_;
  std::string root_;
};

struct RunResult {
  int exitCode = -1;     ///< low 8 bits of the program's exit code
  bool crashed = false;  ///< killed by a signal (POSIX) or a Windows exception
  std::string out;
  std::string err;
};

/// Where a program's standard input comes from.
enum class InputFrom {
  kSuite,     ///< the suite's own, inherited
  kText,      ///< RunOptions::input's bytes, through a pipe closed after them
  kFile,      ///< the file RunOptions::input names (a host path)
  kClosed,    ///< none: the descriptor is closed
  kTerminal,  ///< the terminal device RunOptions::input names, as the
              ///< controlling terminal of a session of the program's own
};

struct RunOptions {
  /// Extra environment; the stand-ins' record files are always set
  /// (TLOXTRC_LOG, TALMSG_LOG) to the tree's TraceLog()/ConsoleLog().
  std::vector<std::pair<std::string, std::string>> env;
  /// Working directory (host path); the tree's root when empty.
  std::string cwd;
  /// Command words put in front of the program (e.g. gdb, setpriv);
  /// POSIX target only.
  std::vector<std::string> prefix;
  InputFrom inputFrom = InputFrom::kSuite;
  std::string input;
};

/// Runs `programPath` (a host path to an installed program) with `args`.
RunResult Run(const Target& target, const std::string& programPath,
              const std::vector<std::string>& args, const RunOptions& options = {});

/// Convenience: runs the tree's bin/<name> for the current target.
RunResult RunInstalled(const InstallTree& tree, std::string_view name,
                       const std::vector<std::string>& args, const RunOptions& options = {});

/// One line of the trace stand-in's record file.
struct TraceRecord {
  std::string kind;     ///< "load", "unload", "open", "trace", "close"
  std::string channel;  ///< channel name (open, trace, close)
  int value = 0;        ///< open value or close value
  int values[9] = {};   ///< trace: values 1..9 (value3 and value9 are 0 here)
  std::string file;     ///< trace: value 3, the source file
  std::string data;     ///< trace: the value-6 bytes at value 9
};
std::vector<TraceRecord> ReadTrace(const std::string& path);

/// One call the console stand-in received: the thirteen words, pointers
/// as their text or "NULL", integers in decimal.
struct ConsoleCall {
  std::vector<std::string> words;
};
std::vector<ConsoleCall> ReadConsole(const std::string& path);

/// Where LD_PRELOAD can name `library`: a copy in a folder of this
/// process's own under the temporary folder. LD_PRELOAD splits at blanks,
/// and a checkout's path may hold one.
std::string Preloadable(const std::string& library);

/// The build's fault shim (fault_shim.cpp), which the suites preload into
/// POSIX programs, as Preloadable gives it.
std::string FaultShim();

/// Runs shell `commands` on the host in directory `dir`; their exit status.
int RunShell(const std::string& dir, const std::string& commands);

/// True when Wine itself, not the program, failed in `output`: its client
/// lost the server (a process started just as a server with no programs
/// left ended), or it could not start a process (seen under load for
/// reg.exe). Such a run is worth one more try.
bool WineFailedToStart(const std::string& output);

/// True in CI, whose machine has every tool the suites need.
bool InCi();

/// Root, and `unshare -m` at hand: a private mount namespace can be had.
bool CanUnshareMounts();

/// Tests that need root, a mount namespace or gdb fail loudly in CI (which
/// has them) and are skipped elsewhere.
#define REQUIRE_TOOL(available, what)                           \
  do {                                                          \
    if (!(available)) {                                         \
      if (harness::InCi()) FAIL() << "needed here: " << (what); \
      GTEST_SKIP() << "not available: " << (what);              \
    }                                                           \
  } while (false)

/// Whole file, or nothing when it does not exist.
std::optional<std::string> ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view content);
bool Exists(const std::string& path);

}  // namespace harness
