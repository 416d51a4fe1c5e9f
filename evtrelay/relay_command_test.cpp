#include "evtrelay/relay_command.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(LowerAscii, LowersOnlyAToZ) {
  char text[] = "AZaz09-_@[`{\x80\xC9\xFF NODE-7";
  LowerAscii(text);
  EXPECT_STREQ(text, "azaz09-_@[`{\x80\xC9\xFF node-7");
}

TEST(EscapeMessage, DoublesPercentAndBackslash) {
  const struct {
    const char* message;
    const char* alert;
  } cases[] = {
      {"50% on C:\\data", "50%% on C:\\\\data"}, {"%%", "%%%%"}, {"\\\\", "\\\\\\\\"}, {"", ""},
      {"%s %d \"q\" \t", "%%s %%d \"q\" \t"},
  };
  for (const auto& c : cases) {
    char alert[kAlertTextCapacity];
    EXPECT_TRUE(EscapeMessage(c.message, alert, sizeof alert)) << c.message;
    EXPECT_STREQ(alert, c.alert) << c.message;
  }
}

TEST(EscapeMessage, CutsLongTextWithoutSplittingAPair) {
  const std::size_t limit = kAlertTextCapacity - 1;
  const struct {
    std::string message;
    bool whole;
    std::string alert;
  } cases[] = {
      {std::string(limit / 2, '%'), true, std::string(limit, '%')},
      {std::string(limit / 2 + 1, '%'), false, std::string(limit, '%')},
      {std::string(limit - 1, 'a') + "%", false, std::string(limit - 1, 'a')},
      {std::string(limit - 1, 'a') + "\\b", false, std::string(limit - 1, 'a')},
      {std::string(limit, 'a'), true, std::string(limit, 'a')},
      {std::string(limit + 1, 'a'), false, std::string(limit, 'a')},
      {std::string(limit - 2, 'a') + "%b", false, std::string(limit - 2, 'a') + "%%"},
  };
  for (const auto& c : cases) {
    char alert[kAlertTextCapacity + 1];
    alert[kAlertTextCapacity] = '#';
    EXPECT_EQ(EscapeMessage(c.message.c_str(), alert, kAlertTextCapacity), c.whole);
    EXPECT_EQ(std::string(alert), c.alert);
    EXPECT_EQ(alert[kAlertTextCapacity], '#');
  }
}

}  // namespace
