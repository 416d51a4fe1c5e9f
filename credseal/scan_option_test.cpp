#include "credseal/scan_option.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

/// What one call is expected to leave behind.
struct Step {
  int result;
  std::optional<std::string> value;  ///< nullopt: optionValue is null
  int index;
  int badChar = 0;
  bool grouped = false;
};

struct ScanCase {
  const char* name;
  std::vector<std::string> args;  ///< after the program name
  const char* optionString;
  std::vector<Step> steps;
};

/// A mutable argument list, as main receives it.
class ArgList {
 public:
  explicit ArgList(const std::vector<std::string>& args) : storage_{"credseal"} {
    storage_.insert(storage_.end(), args.begin(), args.end());
    for (auto& s : storage_) {
      pointers_.push_back(s.data());
    }
    pointers_.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(storage_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> storage_;
  std::vector<char*> pointers_;
};

class ScanOptionTest : public testing::TestWithParam<ScanCase> {
 protected:
  // The scanner's state is process-wide and the program never resets it;
  // each case starts from the values a fresh process has.
  void SetUp() override {
    optionIndex = 1;
    optionValue = nullptr;
    optionGroupPos = nullptr;
    optionBadChar = 0;
  }
};

TEST_P(ScanOptionTest, Steps) {
  const ScanCase& c = GetParam();
  ArgList list(c.args);
  for (std::size_t i = 0; i < c.steps.size(); ++i) {
    const Step& s = c.steps[i];
    SCOPED_TRACE("call " + std::to_string(i + 1));
    EXPECT_EQ(ScanOption(list.argc(), list.argv(), c.optionString), s.result);
    if (s.value) {
      ASSERT_NE(optionValue, nullptr);
      EXPECT_EQ(std::string(optionValue), *s.value);
    } else {
      EXPECT_EQ(optionValue, nullptr);
    }
    EXPECT_EQ(optionIndex, s.index);
    if (s.result == '?') {
      EXPECT_EQ(optionBadChar, s.badChar);
    }
    EXPECT_EQ(optionGroupPos != nullptr, s.grouped);
  }
}

constexpr const char* kOptions = "d:u:p:o:";
constexpr int kBad = '?';

const ScanCase kCases[] = {
    {"SeparateValues",
     {"-d", "SALES", "-u", "admin"},
     kOptions,
     {{'d', "SALES", 3}, {'u', "admin", 5}, {-1, std::nullopt, 5}}},
    {"AttachedValue", {"-dSALES"}, kOptions, {{'d', "SALES", 2}, {-1, std::nullopt, 2}}},
    {"ValueMissingAtEnd", {"-d"}, kOptions, {{kBad, std::nullopt, 2, 'd'}}},
    {"SeparateValueBeginsWithDash", {"-d", "-u", "x"}, kOptions, {{kBad, "-u", 2, 'd'}}},
    {"AttachedValueBeginsWithDash", {"-d-x"}, kOptions, {{kBad, "-x", 2, 'd'}}},
    {"UnknownLetter", {"-x", "-d", "a"}, kOptions, {{kBad, std::nullopt, 2, 'x'}}},
    {"UnknownLetterDropsRestOfArgument",
     {"-xdfoo", "-d", "a"},
     kOptions,
     {{kBad, std::nullopt, 2, 'x'}, {'d', "a", 4}}},
    {"LettersAreCaseSensitive", {"-D", "a"}, kOptions, {{kBad, std::nullopt, 2, 'D'}}},
    {"LoneDash", {"-"}, kOptions, {{kBad, std::nullopt, 2, 0}}},
    {"DoubleDashIsNoTerminator", {"--", "-d", "a"}, kOptions, {{kBad, std::nullopt, 2, '-'}}},
    {"ColonFoundLikeALetter", {"-:"}, kOptions, {{':', std::nullopt, 2}}},
    {"DoubleByteLeadKeepsIndex",
     {"-\x82\x81", "-d", "a"},
     kOptions,
     {{kBad, std::nullopt, 1, 0x8182}, {kBad, std::nullopt, 1, 0x8182}}},
    {"DoubleByteLeadAtEndOfArgument", {"-\x82"}, kOptions, {{kBad, std::nullopt, 1, 0x82}}},
    {"NonOptionEndsScanAtOnce",
     {"SALES", "-d", "x"},
     kOptions,
     {{-1, "SALES", 1}, {-1, "SALES", 1}}},
    {"NonOptionAfterOptions",
     {"-d", "a", "extra", "-u", "b"},
     kOptions,
     {{'d', "a", 3}, {-1, "extra", 3}}},
    {"NoArguments", {}, kOptions, {{-1, std::nullopt, 1}}},
    {"EmptyNextArgumentIsAValue", {"-p", ""}, kOptions, {{'p', "", 3}}},
    {"RepeatedOption", {"-d", "a", "-db"}, kOptions, {{'d', "a", 3}, {'d', "b", 4}}},
    {"Group",
     {"-ab", "-a"},
     "ab",
     {{'a', std::nullopt, 1, 0, true}, {'b', std::nullopt, 2}, {'a', std::nullopt, 3}}},
    {"GroupEndingInValueOption",
     {"-adx", "-ad", "y"},
     "ad:",
     {{'a', std::nullopt, 1, 0, true},
      {'d', "x", 2},
      {'a', std::nullopt, 2, 0, true},
      {'d', "y", 4},
      {-1, std::nullopt, 4}}},
    {"GroupWithUnknownLetter",
     {"-axb", "-b"},
     "ab",
     {{'a', std::nullopt, 1, 0, true}, {kBad, std::nullopt, 2, 'x'}, {'b', std::nullopt, 3}}},
    {"HighByteLetterIsUnsigned", {"-\xe9"}, kOptions, {{kBad, std::nullopt, 2, 0xe9}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ScanOptionTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ScanCase>& info) {
                           return std::string(info.param.name);
                         });

// The value points into the argument list itself, so the caller can wipe it
// there after copying it.
TEST(ScanOptionValue, PointsIntoArgumentList) {
  optionIndex = 1;
  optionGroupPos = nullptr;
  ArgList list({"-psecret", "-u", "admin"});
  ASSERT_EQ(ScanOption(list.argc(), list.argv(), kOptions), 'p');
  EXPECT_EQ(optionValue, list.argv()[1] + 2);
  ASSERT_EQ(ScanOption(list.argc(), list.argv(), kOptions), 'u');
  EXPECT_EQ(optionValue, list.argv()[3]);
}

}  // namespace
