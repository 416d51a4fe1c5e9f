// The trace channel and the installation directory as the real programs
// meet them: probes placed in temporary installation trees, with and
// without the trace stand-ins, on the POSIX and the Windows build.

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "harness.h"

namespace {

using harness::CurrentTarget;
using harness::InstallTree;
using harness::RunResult;
using harness::TraceVariant;

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Standard output as the target writes it, line ends made plain.
std::string PlainOut(const RunResult& r) {
  std::string out;
  for (char c : r.out) {
    if (c != '\r') out += c;
  }
  return out;
}

class Trace : public testing::Test {
 protected:
  void SetUp() override { tree_.InstallProgram("trace_probe"); }

  std::string Log() const { return CurrentTarget().TargetPath(tree_.TraceLog()); }

  std::string Probe(const std::vector<std::string>& steps) {
    const RunResult r = harness::RunInstalled(tree_, "trace_probe", steps);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(r.crashed) << r.err;
    return PlainOut(r);
  }

  // One line per record; load and unload without their pid, which
  // LoadPid checks on its own.
  std::vector<std::string> Records() const {
    std::vector<std::string> lines;
    for (const harness::TraceRecord& r : harness::ReadTrace(tree_.TraceLog())) {
      std::string line = r.kind;
      if (r.kind == "open" || r.kind == "close") {
        line += " " + r.channel + " " + std::to_string(r.value);
      } else if (r.kind == "trace") {
        line += " " + r.channel;
        for (int i : {0, 1}) line += " " + std::to_string(r.values[i]);
        line += " [" + r.file + "]";
        for (int i : {3, 4, 5, 6, 7}) line += " " + std::to_string(r.values[i]);
        line += " [" + r.data + "]";
      } else if (r.kind != "load" && r.kind != "unload") {
        line += " " + r.channel;
      }
      lines.push_back(line);
    }
    return lines;
  }

  int LoadPid() const {
    for (const harness::TraceRecord& r : harness::ReadTrace(tree_.TraceLog())) {
      if (r.kind == "load") return r.value;
    }
    return -1;
  }

  InstallTree tree_;
};

TEST_F(Trace, WithoutTheLibraryNothingHappens) {
  EXPECT_EQ(
      Probe({"open",  "0", "Norvelle03", "0", "zero",  "0",                                  //
             "write", "0", "0",          "1", "f.cpp", "7",    "2", "len", "pid", "0", "x",  //
             "zero",  "0", "close",      "0", "0",     "zero", "0", "null"}),
      "open 0\nzero yes\nwrite 0\nzero yes\nclose 1\nzero yes\nnull 0 0 0\n");
  EXPECT_FALSE(harness::Exists(tree_.TraceLog()));
}

TEST_F(Trace, RecordsArriveInOrderWithAllNineValues) {
  tree_.InstallTrace();
  const std::string log = Log();
  EXPECT_EQ(Probe({"open",
                   "0",
                   "Norvelle03",
                   "0",  //
                   "write",
                   "0",
                   "0",
                   "1",
                   "src\\x5Ccredseal.cpp",
                   "42",
                   "2",
                   "len",
                   "pid",
                   "0",
                   "START",  //
                   "write",
                   "0",
                   "-2147483648",
                   "2147483647",
                   "t\\x09b",
                   "-1",
                   "7",
                   "len",
                   "123",
                   "99",
                   "a b\\x00\\x09\\x0A\\x5C\\xFF~",  //
                   "write",
                   "0",
                   "1",
                   "1",
                   "NULL",
                   "0",
                   "2",
                   "-1",
                   "0",
                   "0",
                   "ignored",
                   "write",
                   "0",
                   "1",
                   "1",
                   "f",
                   "0",
                   "2",
                   "5",
                   "0",
                   "0",
                   "NULL",  //
                   "close",
                   "0",
                   "4",
                   "mark",
                   log,
                   "end"}),
            "open 11\nwrite 12\nwrite 12\nwrite 12\nwrite 12\nclose 1\n");
  const int pid = LoadPid();
  EXPECT_EQ(
      Joined(Records()),
      Joined(
          {"load", "open Norvelle03 0",
           "trace Norvelle03 0 1 [src\\credseal.cpp] 42 2 5 " + std::to_string(pid) + " 0 [START]",
           "trace Norvelle03 -2147483648 2147483647 [t\tb] -1 7 9 123 99 "
           "[a b" +
               std::string(1, '\0') + "\t\n\\\xFF~]",
           "trace Norvelle03 1 1 [] 0 2 -1 0 0 []", "trace Norvelle03 1 1 [f] 0 2 5 0 0 []",
           "close Norvelle03 4", "unload", "mark end"}));
  EXPECT_GT(pid, 0);
}

TEST_F(Trace, EachChannelHoldsItsOwnLoad) {
  tree_.InstallTrace();
  const std::string log = Log();
  EXPECT_EQ(Probe({"open",  "0", "Norvelle01", "0",    "open",  "1",        "Norvelle02", "0",  //
                   "open",  "2", "Norvelle01", "0",                                             //
                   "write", "0", "1",          "1",    "a.cpp", "1",        "2",          "len",
                   "0",     "0", "first",  //
                   "close", "0", "1",      //
                   "write", "1", "1",          "1",    "b.cpp", "2",        "2",          "len",
                   "0",     "0", "second",                                   //
                   "close", "2", "1",          "mark", log,     "one left",  //
                   "write", "1", "1",          "1",    "c.cpp", "3",        "2",          "len",
                   "0",     "0", "third",  //
                   "close", "1", "1",          "mark", log,     "none left"}),
            "open 11\nopen 11\nopen 11\nwrite 12\nclose 1\nwrite 12\nclose 1\nwrite 12\nclose 1\n");
  EXPECT_EQ(Joined(Records()),
            Joined({"load", "open Norvelle01 0", "open Norvelle02 0", "open Norvelle01 0",
                    "trace Norvelle01 1 1 [a.cpp] 1 2 5 0 0 [first]", "close Norvelle01 1",
                    "trace Norvelle02 1 1 [b.cpp] 2 2 6 0 0 [second]", "close Norvelle01 1",
                    "mark one left", "trace Norvelle02 1 1 [c.cpp] 3 2 5 0 0 [third]",
                    "close Norvelle02 1", "unload", "mark none left"}));
}

TEST_F(Trace, LibraryLackingOneEntryPointIsUnloadedAtOnce) {
  tree_.InstallTrace(TraceVariant::NoRelMemoryDump);
  const std::string log = Log();
  EXPECT_EQ(
      Probe({"open",  "0", "Norvelle03", "0",    "zero",  "0",    "mark", log,     "opened",  //
             "write", "0", "0",          "1",    "f.cpp", "7",    "2",    "len",   "0",
             "0",     "x",  //
             "close", "0", "0",          "zero", "0",     "mark", log,    "closed"}),
      "open 0\nzero yes\nwrite 0\nclose 1\nzero yes\n");
  EXPECT_EQ(Joined(Records()), Joined({"load", "unload", "mark opened", "mark closed"}));
}

TEST_F(Trace, ChannelNotOpenInTheLibraryIsOnlyUnloaded) {
  tree_.InstallTrace(TraceVariant::OpenLeavesZero);
  const std::string log = Log();
  EXPECT_EQ(
      Probe({"open",  "0", "Norvelle01", "0",    "zero",  "0",     "mark", log,   "opened",  //
             "write", "0", "1",          "1",    "f.cpp", "7",     "2",    "len", "0",
             "0",     "x",  //
             "close", "0", "1",          "mark", log,     "closed"}),
      "open 11\nzero no\nwrite 0\nclose 1\n");
  EXPECT_EQ(Joined(Records()),
            Joined({"load", "open Norvelle01 0", "mark opened", "unload", "mark closed"}));
}

TEST_F(Trace, ClosingAChannelNeverOpenedTouchesNothing) {
  tree_.InstallTrace();
  EXPECT_EQ(Probe({"close", "0", "0", "zero", "0", "null", "mark", Log(), "end"}),
            "close 1\nzero yes\nnull 0 0 0\n");
  EXPECT_EQ(Joined(Records()), Joined({"mark end"}));
}

// --- where the real programs find the trace library ---------------------

enum class Place { kBin, kCurrentDirectory, kPathDirectory, kRelativePathEntry, kEmptyPathEntry };

struct LibraryPlace {
  const char* name;
  Place place;
  bool loaded;
};

void PrintTo(const LibraryPlace& p, std::ostream* os) { *os << p.name; }

class TraceLibrary : public testing::TestWithParam<std::tuple<LibraryPlace, std::string>> {};

// Anyone who can write where an administrator starts a program must not
// be able to plant the library in it. On POSIX the path is the dynamic
// linker's LD_LIBRARY_PATH, where "." and an empty entry name the current
// directory; Wine puts WINEPATH in front of PATH. The relay's console
// library, linked at load time, is planted there too, as a file that ends
// the program if it is loaded.
TEST_P(TraceLibrary, FoundBesideTheProgramAndOnThePathNeverInTheCurrentDirectory) {
  const auto& [where, program] = GetParam();
  const auto& t = CurrentTarget();
  InstallTree tree;
  tree.InstallProgram(program);
  tree.InstallConsole();
  const std::string cwd = tree.Base() + "/cwd";
  const std::string pathDir = tree.Base() + "/path";
  std::filesystem::create_directories(cwd);
  if (program == "evtrelay") {
    harness::WriteFile(cwd + (t.IsWindows() ? "/TALMSG.dll" : "/libTALMSG.so"), "not a library");
  }
  harness::RunOptions options;
  options.cwd = cwd;
  const char* pathVariable = t.IsWindows() ? "WINEPATH" : "LD_LIBRARY_PATH";
  switch (where.place) {
    case Place::kBin:
      tree.InstallTrace();
      break;
    case Place::kCurrentDirectory:
      tree.InstallTrace(TraceVariant::Recording, cwd);
      break;
    case Place::kPathDirectory:
      tree.InstallTrace(TraceVariant::Recording, pathDir);
      options.env = {{pathVariable, t.TargetPath(pathDir)}};
      break;
    case Place::kRelativePathEntry:
      tree.InstallTrace(TraceVariant::Recording, cwd);
      options.env = {{pathVariable, "."}};
      break;
    case Place::kEmptyPathEntry:
      tree.InstallTrace(TraceVariant::Recording, cwd);
      options.env = {{pathVariable, (t.IsWindows() ? ";" : ":") + t.TargetPath(pathDir)}};
      break;
  }
  const std::vector<std::string> args =
      program == "credseal"
          ? std::vector<std::string>{"-d", "SALES", "-u", "admin", "-p", "secret"}
          : std::vector<std::string>{"INFO", "DOMAIN\\NODE01", "10:20:30", "2006/10/13", "up"};
  const RunResult r = harness::RunInstalled(tree, program, args, options);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_FALSE(r.crashed) << r.err;
  EXPECT_EQ(!harness::ReadTrace(tree.TraceLog()).empty(), where.loaded);
}

INSTANTIATE_TEST_SUITE_P(
    Places, TraceLibrary,
    testing::Combine(
        testing::Values(LibraryPlace{"Bin", Place::kBin, true},
                        LibraryPlace{"CurrentDirectory", Place::kCurrentDirectory, false},
                        LibraryPlace{"PathDirectory", Place::kPathDirectory, true},
                        LibraryPlace{"RelativePathEntry", Place::kRelativePathEntry, false},
                        LibraryPlace{"EmptyPathEntry", Place::kEmptyPathEntry, false}),
        testing::Values(std::string("credseal"), std::string("evtrelay"))),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param);
    });

// --- installation directory -----------------------------------------------

struct ProbeResult {
  std::string module;
  std::string result;
  std::string dir;
  std::string buffer;
  std::string etc;
};

ProbeResult RunInstallDirProbe(const std::string& program, const std::vector<std::string>& args) {
  const RunResult r = harness::Run(CurrentTarget(), program, args);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_FALSE(r.crashed) << r.err;
  ProbeResult p;
  std::string out = PlainOut(r);
  size_t start = 0;
  while (start < out.size()) {
    const size_t end = out.find('\n', start);
    const std::string line = out.substr(start, end - start);
    start = end == std::string::npos ? out.size() : end + 1;
    const size_t eq = line.find('=');
    const std::string key = line.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : line.substr(eq + 1);
    if (key == "module") p.module = value;
    if (key == "result") p.result = value;
    if (key == "dir") p.dir = value;
    if (key == "buffer") p.buffer = value;
    if (key == "etc") p.etc = value;
  }
  return p;
}

constexpr size_t kPathCapacity = 260;

// The error the system gives for a program path too long for 260 bytes.
std::string CutPathError() {
  return CurrentTarget().IsWindows() ? "122" : std::to_string(ENAMETOOLONG);
}

TEST(InstallDir, TwoLevelsAboveTheProgramAtEveryDepth) {
  for (const char* depth : {"App", "a/b/App", "Program Files/Norvelle/Adapter Kit"}) {
    SCOPED_TRACE(depth);
    InstallTree tree(depth);
    const std::string program = tree.InstallProgram("installdir_probe");
    const ProbeResult p = RunInstallDirProbe(program, {"260", "credseal.csv"});
    EXPECT_EQ(p.module, CurrentTarget().TargetPath(program));
    EXPECT_EQ(p.result, "0");
    EXPECT_EQ(p.dir, CurrentTarget().TargetPath(tree.Root()));
    EXPECT_EQ(p.etc, CurrentTarget().TargetPath(tree.EtcFile("credseal.csv")));
  }
}

TEST(InstallDir, ProgramOneLevelBelowTheTemporaryDirectory) {
  InstallTree tree;
  const std::string program = tree.InstallProgram("installdir_probe", tree.Base());
  const ProbeResult p = RunInstallDirProbe(program, {});
  EXPECT_EQ(p.result, "0");
  EXPECT_EQ(p.dir,
            CurrentTarget().TargetPath(std::filesystem::path(tree.Base()).parent_path().string()));
}

TEST(InstallDir, DirectoryMustBeShorterThanTheCapacity) {
  InstallTree tree("a/b/App");
  const std::string program = tree.InstallProgram("installdir_probe");
  const std::string dir = CurrentTarget().TargetPath(tree.Root());
  const ProbeResult fits = RunInstallDirProbe(program, {std::to_string(dir.size() + 1)});
  EXPECT_EQ(fits.result, "0");
  EXPECT_EQ(fits.dir, dir);
  const ProbeResult full = RunInstallDirProbe(program, {std::to_string(dir.size())});
  EXPECT_EQ(full.result, "87");
  EXPECT_EQ(full.buffer, "unchanged");
}

// A relative path of `length` characters in components a file system takes.
std::string Padding(size_t length) {
  std::string pad;
  for (; length > 200; length -= 200) pad += std::string(199, 'p') + "/";
  return pad + std::string(length, 'p');
}

// Program paths of 259 characters fit the 260-byte buffer; longer ones come
// back cut, and a cut path must not yield a directory.
TEST(InstallDir, CutProgramPathIsAFailure) {
  InstallTree tree;
  const std::string exe = CurrentTarget().IsWindows() ? "installdir_probe.exe" : "installdir_probe";
  const size_t fixed = CurrentTarget().TargetPath(tree.Base()).size() + 6 + exe.size();
  for (const size_t length : {size_t{259}, size_t{260}, size_t{261}, size_t{400}}) {
    SCOPED_TRACE(length);
    if (fixed >= length) GTEST_SKIP() << "temporary directory too long for this test";
    const std::string root = tree.Base() + "/" + Padding(length - fixed);
    const std::string program = tree.InstallProgram("installdir_probe", root + "/bin");
    ASSERT_EQ(CurrentTarget().TargetPath(program).size(), length);
    const ProbeResult p = RunInstallDirProbe(program, {});
    if (length < kPathCapacity) {
      EXPECT_EQ(p.result, "0");
      EXPECT_EQ(p.dir, CurrentTarget().TargetPath(root));
    } else {
      EXPECT_EQ(p.module, CurrentTarget().TargetPath(program).substr(0, kPathCapacity - 1));
      EXPECT_EQ(p.result, CutPathError());
      EXPECT_EQ(p.buffer, "unchanged");
    }
  }
}

// Wine maps drive letters and UNC shares through links in the prefix's
// dosdevices directory; each link lives as long as this object.
class WineDevice {
 public:
  // The first free name of `names`, linked to `hostDir`.
  WineDevice(const std::vector<std::string>& names, const std::string& hostDir) {
    namespace fs = std::filesystem;
    const fs::path devices = fs::path(CurrentTarget().buildDir) / "wineprefix" / "dosdevices";
    for (const std::string& name : names) {
      const fs::path link = devices / name;
      fs::create_directories(link.parent_path());
      std::error_code taken;
      fs::create_directory_symlink(hostDir, link, taken);
      if (!taken) {
        link_ = link.string();
        name_ = name;
        return;
      }
    }
    throw std::runtime_error("no free Wine device name");
  }
  ~WineDevice() {
    std::error_code ignored;
    std::filesystem::remove(link_, ignored);
  }
  WineDevice(const WineDevice&) = delete;
  WineDevice& operator=(const WineDevice&) = delete;

  const std::string& Name() const { return name_; }

 private:
  std::string link_;
  std::string name_;
};

// Makes sure the target's Wine prefix exists before links go into it.
void StartWine(const InstallTree& tree) {
  const RunResult r = harness::Run(CurrentTarget(), tree.InstallProgram("installdir_probe"), {});
  ASSERT_EQ(r.exitCode, 0) << r.err;
}

TEST(InstallDir, ProgramInTheRootOfADrive) {
  if (!CurrentTarget().IsWindows()) {
    GTEST_SKIP() << "a program directly in / needs a writable root; the InstallDirOf unit "
                    "test covers the path";
  }
  InstallTree tree;
  StartWine(tree);
  tree.InstallProgram("installdir_probe", tree.Base());
  std::vector<std::string> letters;
  for (char c = 'k'; c <= 'y'; ++c) letters.push_back(std::string(1, c) + ":");
  const WineDevice drive(letters, tree.Base());
  const ProbeResult p = RunInstallDirProbe(drive.Name() + "\\installdir_probe.exe", {});
  EXPECT_EQ(p.module, static_cast<char>(std::toupper(drive.Name()[0])) +
                          std::string(":\\installdir_probe.exe"));
  EXPECT_EQ(p.result, "87");
  EXPECT_EQ(p.buffer, "unchanged");
}

// Wine 8 runs a program from a share but reports its path as
// "UNC\server\share\..." rather than "\\server\share\..."; both must give
// the share's root when the program sits in its bin directory.
TEST(InstallDir, ProgramOnAShare) {
  if (!CurrentTarget().IsWindows()) GTEST_SKIP() << "shares are a Windows path form";
  InstallTree tree("share");
  StartWine(tree);
  const std::string share = std::filesystem::path(tree.Base()).filename().string();
  const WineDevice device({"unc/kitserver/" + share}, tree.Root());
  const std::string unc = "\\\\kitserver\\" + share;
  const ProbeResult p = RunInstallDirProbe(unc + "\\bin\\installdir_probe.exe", {"260", "x.csv"});
  ASSERT_TRUE(p.module == unc + "\\bin\\installdir_probe.exe" ||
              p.module == "UNC" + unc.substr(1) + "\\bin\\installdir_probe.exe")
      << p.module;
  EXPECT_EQ(p.result, "0");
  EXPECT_EQ(p.dir, p.module.substr(
                       0, p.module.size() - std::string("\\bin\\installdir_probe.exe").size()));
  EXPECT_EQ(p.etc, p.dir + "\\etc\\x.csv");
}

}  // namespace
