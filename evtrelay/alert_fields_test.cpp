#include "evtrelay/alert_fields.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <string>

namespace {

void SetTimeZone(const char* zone) {
#ifdef _WIN32
  _putenv_s("TZ", zone);
  _tzset();
#else
  setenv("TZ", zone, 1);
  tzset();
#endif
}

struct FieldCase {
  const char* text;
  char separator;
  int fieldNumber;
  int result;
  const char* field;
};

TEST(GetField, SplitsOutsideQuotesAndEndsAtNewline) {
  const FieldCase cases[] = {
      {"a\"b:c\":d", ':', 1, 1, "a\"b:c\""},
      {"a\"b:c\":d", ':', 2, 1, "d"},
      {"a\"b:c\":d", ':', 3, 0, ""},
      {"", ':', 1, 1, ""},
      {"", ':', 2, 0, ""},
      {"::", ':', 2, 1, ""},
      {"::", ':', 3, 1, ""},
      {"::", ':', 4, 0, ""},
      {"a:b\nc:d", ':', 2, 1, "b"},
      {"a:b\nc:d", ':', 3, 0, ""},
      {"a\"b:c", ':', 2, 0, ""},
      {"2006/10/13", '/', 3, 1, "13"},
      {"x", ':', 0, 0, ""},
      {"x", ':', -1, 0, ""},
  };
  for (const FieldCase& c : cases) {
    char buffer[kFieldCapacity];
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(GetField(c.text, c.separator, c.fieldNumber, buffer, sizeof buffer), c.result)
        << c.text << " field " << c.fieldNumber;
    EXPECT_STREQ(buffer, c.field) << c.text << " field " << c.fieldNumber;
  }
}

TEST(GetField, FieldFitsWithCapacityMinusOneCharacters) {
  char buffer[kFieldCapacity + 1];
  buffer[kFieldCapacity] = '#';
  const std::string fits(kFieldCapacity - 1, 'f');
  EXPECT_EQ(GetField(("1:" + fits + ":3").c_str(), ':', 2, buffer, kFieldCapacity), 1);
  EXPECT_EQ(std::string(buffer), fits);

  const std::string tooLong(kFieldCapacity, 'g');
  EXPECT_EQ(GetField(("1:" + tooLong).c_str(), ':', 2, buffer, kFieldCapacity), 0);
  EXPECT_EQ(std::string(buffer), tooLong.substr(1));
  EXPECT_EQ(buffer[kFieldCapacity], '#');
}

TEST(FindSeparator, SkipsQuotedSeparatorsAndStopsAtNewline) {
  EXPECT_EQ(FindSeparator("a:b", 0, ':'), 1);
  EXPECT_EQ(FindSeparator("a:b", 2, ':'), -1);
  EXPECT_EQ(FindSeparator("\"x:y\":z", 0, ':'), 5);
  // Every search starts outside quotes, wherever it starts.
  EXPECT_EQ(FindSeparator("\"x:y\":z", 2, ':'), 2);
  EXPECT_EQ(FindSeparator("x\n:y", 0, ':'), -1);
  EXPECT_EQ(FindSeparator("", 0, ':'), -1);
  // The separator test comes before the quote test.
  EXPECT_EQ(FindSeparator("a\"b", 0, '"'), 1);
}

struct TimeCase {
  const char* time;
  const char* date;
  int result;
  int32_t seconds;
};

constexpr int32_t kUntouched = 12345;

void ExpectTimes(const TimeCase* cases, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const TimeCase& c = cases[i];
    int32_t seconds = kUntouched;
    EXPECT_EQ(AlertTimeToSeconds(c.time, c.date, &seconds), c.result) << c.time << " " << c.date;
    EXPECT_EQ(seconds, c.seconds) << c.time << " " << c.date;
  }
}

TEST(AlertTimeToSeconds, ConvertsUniversalTime) {
  SetTimeZone("UTC0");
  const std::string longField(kFieldCapacity, '1');
  const TimeCase cases[] = {
      {"10:20:30", "2006/10/13", 0, 1160734830},
      {"10:20:30", "2006/10", 1, kUntouched},
      {"10:20", "2006/10/13", 1, kUntouched},
      {"10:20:30", "2006//13", 1, kUntouched},
      {"10::30", "2006/10/13", 1, kUntouched},
      {"10:20:30", "06/10/13", 0, -1},
      {"10:20:30:40", "2006/10/13/99", 0, 1160734830},
      {"10:20:xx", "2006/10/13", 0, 1160734800},
      {"10:20:30\nmore", "2006/10/13", 0, 1160734830},
      {"10:20\n:30", "2006/10/13", 1, kUntouched},
      {" 10: +20:30", "2006/10/13", 0, 1160734830},
      {"10:20:30", "2006/13/13", 0, 1168683630},
      {"03:14:07", "2038/01/19", 0, 2147483647},
      {"03:14:08", "2038/01/19", 0, -1},
      {"00:00:00", "1970/01/01", 0, 0},
      {"23:59:59", "1969/12/31", 0, -1},
      {"10:20:30", "99999999999/1/1", 0, -1},
      {"10:20:30", "-99999999999/1/1", 0, -1},
      {longField.c_str(), "2006/10/13", 1, kUntouched},
  };
  ExpectTimes(cases, std::size(cases));
}

TEST(AlertTimeToSeconds, ReadsLocalTimeWithSummerTime) {
  SetTimeZone("EST5EDT");
  const TimeCase cases[] = {
      {"10:20:30", "2006/10/13", 0, 1160749230},
      {"10:20:30", "2006/01/13", 0, 1137165630},
  };
  ExpectTimes(cases, std::size(cases));
  SetTimeZone("UTC0");
}

}  // namespace
