// The harness itself, on both targets: what a suite hands a program must
// arrive unchanged, and what the program does must come back faithfully.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"

namespace {

using harness::CurrentTarget;
using harness::InstallTree;
using harness::RunResult;

std::string Plain(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

class Harness : public testing::Test {
 protected:
  void SetUp() override { tree_.InstallProgram("harness_probe"); }
  RunResult Probe(const std::vector<std::string>& args, const harness::RunOptions& options = {}) {
    return harness::RunInstalled(tree_, "harness_probe", args, options);
  }
  InstallTree tree_{"a b/App"};
};

TEST_F(Harness, ArgumentsArriveUnchanged) {
  const std::vector<std::string> words = {"",         "two words", " ",    "tab\there",
                                          "quote\"d", "back\\",    "\\\\", "x\\\"y",
                                          "%PATH%",   "a&b|c",     "^"};
  std::vector<std::string> args = {"echo"};
  args.insert(args.end(), words.begin(), words.end());
  const RunResult r = Probe(args);
  std::string expected;
  for (const std::string& w : words) expected += "[" + w + "]\n";
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_FALSE(r.crashed);
  EXPECT_EQ(Plain(r.out), expected);
  EXPECT_EQ(Plain(r.err), "to stderr\n");
}

TEST_F(Harness, ExitCodeIsItsLowByte) {
  for (const auto& [code, low] : {std::pair{0, 0}, {3, 3}, {255, 255}, {300, 44}}) {
    SCOPED_TRACE(code);
    const RunResult r = Probe({"exit", std::to_string(code)});
    EXPECT_EQ(r.exitCode, low);
    EXPECT_FALSE(r.crashed);
  }
}

TEST_F(Harness, CrashIsReported) {
  const RunResult r = Probe({"crash"});
  EXPECT_TRUE(r.crashed) << r.err;
}

TEST_F(Harness, RecordFilesAndExtraEnvironmentAreSet) {
  harness::RunOptions options;
  options.env = {{"KIT_HARNESS_EXTRA", "some value"}};
  EXPECT_EQ(Plain(Probe({"env", "TLOXTRC_LOG"}).out),
            CurrentTarget().TargetPath(tree_.TraceLog()) + "\n");
  EXPECT_EQ(Plain(Probe({"env", "TALMSG_LOG"}).out),
            CurrentTarget().TargetPath(tree_.ConsoleLog()) + "\n");
  EXPECT_EQ(Plain(Probe({"env", "KIT_HARNESS_EXTRA"}, options).out), "some value\n");
  EXPECT_EQ(Plain(Probe({"env", "KIT_HARNESS_EXTRA"}).out), "(unset)\n");
}

TEST_F(Harness, WorkingDirectoryIsTheRootUnlessGiven) {
  EXPECT_EQ(Plain(Probe({"cwd"}).out), CurrentTarget().TargetPath(tree_.Root()) + "\n");
  harness::RunOptions options;
  options.cwd = tree_.Etc();
  EXPECT_EQ(Plain(Probe({"cwd"}, options).out), CurrentTarget().TargetPath(tree_.Etc()) + "\n");
}

TEST(HarnessRecords, TraceAndConsoleLinesAreDecoded) {
  InstallTree tree;
  harness::WriteFile(tree.TraceLog(),
                     "load\t12\n"
                     "open\tN\\x5C1\t0\n"
                     "trace\tN\t1\t-2\ta\\x09b.cpp\t4\t5\t3\t7\t8\tx\\x0Ay\n"
                     "close\tN\t1\n"
                     "unload\t12\n");
  const auto records = harness::ReadTrace(tree.TraceLog());
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[0].kind, "load");
  EXPECT_EQ(records[0].value, 12);
  EXPECT_EQ(records[1].channel, "N\\1");
  const harness::TraceRecord& t = records[2];
  EXPECT_EQ(t.kind, "trace");
  EXPECT_EQ(t.file, "a\tb.cpp");
  EXPECT_EQ(t.data, "x\ny");
  const int values[9] = {1, -2, 0, 4, 5, 3, 7, 8, 0};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(t.values[i], values[i]) << i;
  EXPECT_EQ(records[3].value, 1);

  std::string line = "msgpost3";
  for (int i = 1; i <= 13; ++i)
    line += "\t" + (i == 3 ? std::string("h\\x5Cx") : std::to_string(i));
  harness::WriteFile(tree.ConsoleLog(), line + "\n");
  const auto calls = harness::ReadConsole(tree.ConsoleLog());
  ASSERT_EQ(calls.size(), 1u);
  ASSERT_EQ(calls[0].words.size(), 13u);
  EXPECT_EQ(calls[0].words[2], "h\\x");
  EXPECT_EQ(calls[0].words[12], "13");
}

TEST(HarnessRecords, MalformedLinesAreRefused) {
  InstallTree tree;
  for (const char* bad : {"trace\tN\t1\n", "open\tN\tx\n", "close\tN\\x4\t1\n", "load\t\n"}) {
    SCOPED_TRACE(bad);
    harness::WriteFile(tree.TraceLog(), bad);
    EXPECT_THROW(harness::ReadTrace(tree.TraceLog()), std::runtime_error);
  }
  harness::WriteFile(tree.ConsoleLog(), "msgpost3\t1\t2\n");
  EXPECT_THROW(harness::ReadConsole(tree.ConsoleLog()), std::runtime_error);
}

}  // namespace
