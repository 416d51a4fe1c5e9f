#include "harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace harness {

namespace fs = std::filesystem;

namespace {

Target& MutableTarget() {
  static Target target{TargetKind::Posix, KIT_HARNESS_BUILD_DIR};
  return target;
}

// Live trees, newest last: Run finds the tree a program belongs to, so the
// stand-ins record into that tree's files.
std::vector<const InstallTree*>& LiveTrees() {
  static std::vector<const InstallTree*> trees;
  return trees;
}

const InstallTree* TreeOf(const std::string& programPath) {
  const auto& trees = LiveTrees();
  for (auto it = trees.rbegin(); it != trees.rend(); ++it) {
    const std::string& base = (*it)->Base();
    if (programPath.size() > base.size() && programPath.compare(0, base.size(), base) == 0 &&
        programPath[base.size()] == '/') {
      return *it;
    }
  }
  return trees.empty() ? nullptr : trees.back();
}

void CopyFile(const std::string& from, const std::string& toDir) {
  if (!fs::exists(from)) throw std::runtime_error("harness: not built: " + from);
  fs::create_directories(toDir);
  fs::copy_file(from, fs::path(toDir) / fs::path(from).filename(),
                fs::copy_options::overwrite_existing);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\') {
      if (i + 3 >= text.size() || text[i + 1] != 'x' || HexDigit(text[i + 2]) < 0 ||
          HexDigit(text[i + 3]) < 0) {
        throw std::runtime_error("harness: bad escape in record: " + std::string(text));
      }
      out += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> lines;
  const auto content = ReadFile(path);
  if (!content) return lines;
  std::istringstream in(*content);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

int Number(const std::string& field, const std::string& line) {
  try {
    size_t used = 0;
    const long long value = std::stoll(field, &used);
    if (used == field.size()) return static_cast<int>(value);
  } catch (const std::exception&) {
  }
  throw std::runtime_error("harness: bad number in record: " + line);
}

// Reads both pipes to their end without letting either fill up.
void Drain(int outFd, int errFd, std::string& out, std::string& err) {
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("harness: poll failed");
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char chunk[4096];
      const ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
      if (n > 0) {
        sinks[i]->append(chunk, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

/// The pipe a text input is written into before the program starts; the
/// text must fit into the pipe's buffer. -1 for the other inputs.
int TextInput(const RunOptions& options) {
  if (options.inputFrom != InputFrom::kText) return -1;
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("harness: pipe failed");
  const ssize_t n = write(ends[1], options.input.data(), options.input.size());
  close(ends[1]);
  if (n != static_cast<ssize_t>(options.input.size())) {
    throw std::runtime_error("harness: input does not fit into a pipe");
  }
  return ends[0];
}

/// In the child: standard input as the options ask; false when it cannot
/// be had.
bool SetInput(const RunOptions& options, int textInput) {
  switch (options.inputFrom) {
    case InputFrom::kSuite:
      return true;
    case InputFrom::kText:
      return dup2(textInput, 0) == 0;
    case InputFrom::kClosed:
      return close(0) == 0 || errno == EBADF;
    case InputFrom::kTerminal:
      // The first terminal a session leader opens becomes its controlling
      // terminal, so Ctrl+C typed there reaches the program.
      if (setsid() < 0) return false;
      [[fallthrough]];
    case InputFrom::kFile: {
      const int fd =
          open(options.input.c_str(), options.inputFrom == InputFrom::kFile ? O_RDONLY : O_RDWR);
      return fd >= 0 && (fd == 0 || (dup2(fd, 0) == 0 && close(fd) == 0));
    }
  }
  return false;
}

bool WineCrashed(const std::string& err) {
  return err.find("Unhandled exception") != std::string::npos ||
         err.find("wine: Unhandled") != std::string::npos ||
         err.find("kit-no-debugger") != std::string::npos;
}

}  // namespace

std::string Target::Program(std::string_view name) const {
  return buildDir + "/bin/" + std::string(name) + (IsWindows() ? ".exe" : "");
}

std::string Target::Standin(std::string_view name) const {
  return buildDir + "/bin/standins/" + (convention == Convention::Stdcall ? "stdcall/" : "") +
         std::string(name);
}

std::string Target::TargetPath(std::string_view hostPath) const {
  std::string path(hostPath);
  if (!IsWindows()) return path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return hostPath.starts_with('/') ? "Z:" + path : path;
}

void InitTarget(int* argc, char** argv) {
  Target& target = MutableTarget();
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--target=posix") {
      target.kind = TargetKind::Posix;
    } else if (arg == "--target=win64") {
      target.kind = TargetKind::Win64;
    } else if (arg == "--target=win32") {
      target.kind = TargetKind::Win32;
    } else if (arg == "--convention=stdcall" || arg == "--convention=cdecl") {
      target.convention = arg.ends_with("stdcall") ? Convention::Stdcall : Convention::Cdecl;
    } else if (arg.starts_with("--target=") || arg.starts_with("--convention=")) {
      throw std::runtime_error("harness: unknown option: " + std::string(arg));
    } else if (arg.starts_with("--build=")) {
      target.buildDir = std::string(arg.substr(8));
    } else {
      argv[kept++] = argv[i];
    }
  }
  *argc = kept;
  argv[kept] = nullptr;
}

const Target& CurrentTarget() { return MutableTarget(); }

InstallTree::InstallTree(std::string_view depthPath) {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/kit-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("harness: mkdtemp failed in " + pattern);
  }
  base_ = pattern;
  root_ = base_ + "/" + std::string(depthPath);
  fs::create_directories(Bin());
  fs::create_directories(Etc());
  LiveTrees().push_back(this);
}

InstallTree::~InstallTree() {
  auto& trees = LiveTrees();
  trees.erase(std::remove(trees.begin(), trees.end(), this), trees.end());
  std::error_code ignored;
  fs::remove_all(base_, ignored);
}

std::string InstallTree::BinFile(std::string_view name) const {
  return Bin() + "/" + std::string(name);
}

std::string InstallTree::EtcFile(std::string_view name) const {
  return Etc() + "/" + std::string(name);
}

std::string InstallTree::InstallProgram(std::string_view name, std::string_view dir) const {
  const std::string from = CurrentTarget().Program(name);
  const std::string toDir = dir.empty() ? Bin() : std::string(dir);
  CopyFile(from, toDir);
  return toDir + "/" + fs::path(from).filename().string();
}

void InstallTree::InstallTrace(TraceVariant variant, std::string_view dir) const {
  const char* sub = variant == TraceVariant::Recording         ? "tloxtrc"
                    : variant == TraceVariant::NoRelMemoryDump ? "tloxtrc-norel"
                                                               : "tloxtrc-noopen";
  const char* file = CurrentTarget().IsWindows() ? "tloxtrc.dll" : "libtloxtrc.so";
  CopyFile(CurrentTarget().Standin(sub) + "/" + file, dir.empty() ? Bin() : std::string(dir));
}

void InstallTree::InstallConsole(std::string_view dir) const {
  const char* file = CurrentTarget().IsWindows() ? "TALMSG.dll" : "libTALMSG.so";
  CopyFile(CurrentTarget().Standin("talmsg") + "/" + file, dir.empty() ? Bin() : std::string(dir));
}

namespace {

RunResult RunOnce(const Target& target, const std::string& programPath,
                  const std::vector<std::string>& args, const RunOptions& options) {
  std::vector<std::string> command;
  if (target.IsWindows()) {
    if (!options.prefix.empty()) throw std::runtime_error("harness: prefix is POSIX only");
    const char* runner = target.kind == TargetKind::Win32 ? "/cmake/wine32-run" : "/cmake/wine-run";
    command = {std::string(KIT_HARNESS_SOURCE_DIR) + runner, target.buildDir + "/wineprefix",
               programPath};
  } else {
    command = options.prefix;
    command.push_back(programPath);
  }
  command.insert(command.end(), args.begin(), args.end());

  std::vector<std::pair<std::string, std::string>> env;
  const InstallTree* tree = TreeOf(programPath);
  if (tree != nullptr) {
    env.emplace_back("TLOXTRC_LOG", target.TargetPath(tree->TraceLog()));
    env.emplace_back("TALMSG_LOG", target.TargetPath(tree->ConsoleLog()));
  }
  if (target.IsWindows()) env.emplace_back("WINEDEBUG", "-all");
  for (const auto& [name, value] : options.env) {
    std::erase_if(env, [&](const auto& e) { return e.first == name; });
    env.emplace_back(name, value);
  }
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view entry = *e;
    const std::string_view name = entry.substr(0, entry.find('='));
    if (name == "TLOXTRC_LOG" || name == "TALMSG_LOG" ||
        std::any_of(env.begin(), env.end(), [&](const auto& v) { return v.first == name; })) {
      continue;
    }
    envStrings.emplace_back(entry);
  }
  for (const auto& [name, value] : env) envStrings.push_back(name + "=" + value);

  std::vector<char*> argv;
  for (auto& word : command) argv.push_back(word.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& entry : envStrings) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string cwd = options.cwd;
  if (cwd.empty()) {
    cwd = tree != nullptr ? tree->Root() : ".";
  }

  int outPipe[2];
  int errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("harness: pipe failed");
  }
  const int textInput = TextInput(options);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("harness: fork failed");
  if (pid == 0) {
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    if (!SetInput(options, textInput)) _exit(125);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    execvpe(argv[0], argv.data(), envp.data());
    static const char kMessage[] = "harness: exec failed\n";
    [[maybe_unused]] const ssize_t n = write(2, kMessage, sizeof kMessage - 1);
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  if (textInput >= 0) close(textInput);
  RunResult result;
  Drain(outPipe[0], errPipe[0], result.out, result.err);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("harness: waitpid failed");
  }
  if (WIFSIGNALED(status)) {
    result.crashed = true;
    result.exitCode = 128 + WTERMSIG(status);
  } else {
    result.exitCode = WEXITSTATUS(status) & 0xFF;
    result.crashed = target.IsWindows() && WineCrashed(result.err);
  }
  return result;
}

}  // namespace

// A run that never reached the program is run once more; anything the
// program did is its own outcome.
RunResult Run(const Target& target, const std::string& programPath,
              const std::vector<std::string>& args, const RunOptions& options) {
  RunResult result = RunOnce(target, programPath, args, options);
  if (target.IsWindows() && WineFailedToStart(result.err)) {
    result = RunOnce(target, programPath, args, options);
  }
  return result;
}

RunResult RunInstalled(const InstallTree& tree, std::string_view name,
                       const std::vector<std::string>& args, const RunOptions& options) {
  const std::string program =
      tree.BinFile(std::string(name) + (CurrentTarget().IsWindows() ? ".exe" : ""));
  return Run(CurrentTarget(), program, args, options);
}

std::vector<TraceRecord> ReadTrace(const std::string& path) {
  std::vector<TraceRecord> records;
  for (const std::string& line : Lines(path)) {
    const std::vector<std::string> f = SplitTabs(line);
    TraceRecord r;
    r.kind = f[0];
    const size_t expected = r.kind == "trace"                        ? 11
                            : r.kind == "open" || r.kind == "close"  ? 3
                            : r.kind == "load" || r.kind == "unload" ? 2
                                                                     : 0;
    if (expected != 0 && f.size() != expected) {
      throw std::runtime_error("harness: malformed trace record: " + line);
    }
    if (r.kind == "load" || r.kind == "unload") {
      r.value = Number(f[1], line);
    } else if (r.kind == "open" || r.kind == "close") {
      r.channel = Unescape(f[1]);
      r.value = Number(f[2], line);
    } else if (r.kind == "trace") {
      r.channel = Unescape(f[1]);
      r.values[0] = Number(f[2], line);
      r.values[1] = Number(f[3], line);
      r.file = Unescape(f[4]);
      for (int i = 3; i < 8; ++i) r.values[i] = Number(f[i + 2], line);
      r.data = Unescape(f[10]);
    } else if (f.size() > 1) {
      r.channel = Unescape(f[1]);
    }
    records.push_back(std::move(r));
  }
  return records;
}

std::vector<ConsoleCall> ReadConsole(const std::string& path) {
  std::vector<ConsoleCall> calls;
  for (const std::string& line : Lines(path)) {
    std::vector<std::string> f = SplitTabs(line);
    if (f.size() != 14 || f[0] != "msgpost3") {
      throw std::runtime_error("harness: malformed console record: " + line);
    }
    ConsoleCall call;
    for (size_t i = 1; i < f.size(); ++i) call.words.push_back(Unescape(f[i]));
    calls.push_back(std::move(call));
  }
  return calls;
}

namespace {

/// A folder of this process's own for libraries to preload; removed at exit.
class PreloadFolder {
 public:
  ~PreloadFolder() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  const std::string& Path() {
    if (path_.empty()) {
      const char* tmp = getenv("TMPDIR");
      std::string pattern =
          std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/kit-preload-XXXXXX";
      if (pattern.find(' ') != std::string::npos || mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("harness: no folder without a blank to preload from: " + pattern);
      }
      path_ = pattern;
    }
    return path_;
  }

 private:
  std::string path_;
};

}  // namespace

std::string Preloadable(const std::string& library) {
  static PreloadFolder folder;
  const std::string copy = folder.Path() + "/" + fs::path(library).filename().string();
  if (!fs::exists(copy)) CopyFile(library, folder.Path());
  return copy;
}

std::string FaultShim() {
  return Preloadable(CurrentTarget().buildDir + "/bin/probes/fault/libfault_shim.so");
}

int RunShell(const std::string& dir, const std::string& commands) {
  const std::string line = "cd '" + dir + "' && " + commands;
  return std::system(line.c_str());
}

bool WineFailedToStart(const std::string& output) {
  return output.find("wine client error:") != std::string::npos ||
         output.find("ShellExecuteEx failed: Internal error.") != std::string::npos;
}

bool InCi() { return std::getenv("CI") != nullptr; }

bool CanUnshareMounts() {
  return geteuid() == 0 && std::system("unshare -m true >/dev/null 2>&1") == 0;
}

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("harness: cannot write " + path);
}

bool Exists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(path, ignored);
}

}  // namespace harness

int main(int argc, char** argv) {
  harness::InitTarget(&argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
