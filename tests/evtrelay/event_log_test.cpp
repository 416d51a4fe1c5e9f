// ReportEvtLog over the POSIX event log: the test program itself defines
// the system-log calls, so the entries land here instead of in syslog.

#include <gtest/gtest.h>
#include <stdarg.h>
#include <syslog.h>

#include <cstdio>
#include <string>
#include <vector>

#include "evtrelay/event_fallback.h"
#include "platform/platform.h"

namespace {

struct Entry {
  std::string ident;
  int priority;
  std::string message;
};

std::vector<Entry> entries;
const char* openIdent = nullptr;

void Record(int priority, const char* format, va_list args) {
  char message[4096];
  std::vsnprintf(message, sizeof message, format, args);
  entries.push_back({openIdent != nullptr ? openIdent : "", priority, message});
}

}  // namespace

extern "C" {
void openlog(const char* ident, int, int) { openIdent = ident; }
void closelog() { openIdent = nullptr; }
void syslog(int priority, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Record(priority, format, args);
  va_end(args);
}
void __syslog_chk(int priority, int, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Record(priority, format, args);
  va_end(args);
}
}

namespace {

TEST(ReportEvtLog, TakesAtMostTenStringsUpToTheFirstNull) {
  const char* const eleven[] = {"s1", "s2", "s3", "s4",  "s5",  "s6",
                                "s7", "s8", "s9", "s10", "s11", nullptr};
  const char* const none[] = {nullptr, "after the end"};
  const char* const two[] = {"HOSTNAME MISS", "TIME MISS", nullptr, "after the end"};
  const struct {
    const char* const* strings;
    uint32_t id;
    std::string message;
  } cases[] = {
      {eleven, EVENT_HANDOVER_FAILED,
       "event 3213 (0xE0000C8D) \"s1\" \"s2\" \"s3\" \"s4\" \"s5\" \"s6\" \"s7\" \"s8\" \"s9\" "
       "\"s10\""},
      {none, EVENT_ALERT_REJECTED, "event 3212 (0xE0000C8C)"},
      {nullptr, EVENT_ALERT_REJECTED, "event 3212 (0xE0000C8C)"},
      {two, EVENT_ALERT_REJECTED, "event 3212 (0xE0000C8C) \"HOSTNAME MISS\" \"TIME MISS\""},
  };
  for (const auto& c : cases) {
    entries.clear();
    EXPECT_EQ(ReportEvtLog(platform::kEventError, c.id, c.strings), 1);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].ident, "Norvelle");
    EXPECT_EQ(LOG_PRI(entries[0].priority), LOG_ERR);
    EXPECT_EQ(entries[0].message, c.message);
  }
}

TEST(ReportEvtLog, LongStringsAreCutVisibly) {
  const std::string huge(3000, 'x');
  const char* const strings[] = {huge.c_str(), nullptr};
  entries.clear();
  ReportEvtLog(platform::kEventError, EVENT_HANDOVER_FAILED, strings);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].message.size(), 1023u);
  EXPECT_EQ(entries[0].message.substr(1020), "...");
}

}  // namespace
