// The POSIX profile reader against Wine's real GetPrivateProfileIntA: the
// profile probe of each build reads the same tricky files, and every value
// must agree, and agree with the value the corpus lists.
// Run with --target=win64 or win32 and --build=DIR (a Windows build); the
// POSIX probe is this build's own.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/evtrelay/profile_corpus.h"
#include "tests/harness/harness.h"

namespace {

std::vector<std::string> Values(const harness::Target& target, const std::string& program,
                                const std::string& file, const std::vector<std::string>& queries) {
  std::vector<std::string> args = {target.TargetPath(file),
                                   std::to_string(profile_corpus::kDefault)};
  args.insert(args.end(), queries.begin(), queries.end());
  const harness::RunResult r = harness::Run(target, program, args);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::string> values;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    values.push_back(line);
  }
  return values;
}

TEST(ProfileDifferential, PosixReaderGivesWhatWineGives) {
  const harness::Target posix{harness::TargetKind::Posix, ""};
  const harness::Target& wine = harness::CurrentTarget();
  ASSERT_TRUE(wine.IsWindows()) << "run with --target=win64 or --target=win32";
  harness::InstallTree tree;
  int index = 0;
  for (const profile_corpus::Case& c : profile_corpus::kCases) {
    SCOPED_TRACE(c.name);
    const std::string file = tree.Base() + "/case" + std::to_string(index++) + ".ini";
    harness::WriteFile(file, c.text);
    std::vector<std::string> queries;
    std::vector<std::string> expected;
    for (const profile_corpus::Query& q : c.queries) {
      queries.push_back(q.section);
      queries.push_back(q.key);
      expected.push_back(std::to_string(q.expected));
    }
    for (const auto& [section, key] : profile_corpus::kCommonQueries) {
      queries.push_back(section);
      queries.push_back(key);
    }
    const auto fromWine = Values(wine, wine.Program("profile_probe"), file, queries);
    const auto fromPosix = Values(posix, KIT_POSIX_PROBE, file, queries);
    ASSERT_EQ(fromWine.size(), queries.size() / 2);
    EXPECT_EQ(fromPosix, fromWine);
    EXPECT_EQ(std::vector<std::string>(fromWine.begin(), fromWine.begin() + expected.size()),
              expected);
  }
}

}  // namespace
