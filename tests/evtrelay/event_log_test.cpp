// ReportEvtLog over the POSIX event log: the test program itself defines
// connect(), so the connection to the system log's socket /dev/log reaches
// a socket of the test's own, which reads each entry as the log would.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "evtrelay/event_fallback.h"
#include "platform/platform.h"

namespace {

/// The socket that takes the place of /dev/log.
std::string logPath;

sockaddr_un Address(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  return address;
}

int RealConnect(int fd, const sockaddr* address, socklen_t length) {
  static const auto next =
      reinterpret_cast<int (*)(int, const sockaddr*, socklen_t)>(dlsym(RTLD_NEXT, "connect"));
  return next(fd, address, length);
}

}  // namespace

extern "C" int connect(int fd, const sockaddr* address, socklen_t length) {
  const auto* local = reinterpret_cast<const sockaddr_un*>(address);
  if (local->sun_family != AF_UNIX || std::strcmp(local->sun_path, "/dev/log") != 0) {
    return RealConnect(fd, address, length);
  }
  const sockaddr_un redirected = Address(logPath);
  return RealConnect(fd, reinterpret_cast<const sockaddr*>(&redirected), sizeof redirected);
}

namespace {

class SystemLog : public testing::Test {
 protected:
  void SetUp() override { OpenLog(); }
  void TearDown() override { CloseLog(); }

  void OpenLog(int type = SOCK_DGRAM) {
    char dir[] = "/tmp/kit-syslog-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    logPath = dir_ + "/log";
    log_ = socket(AF_UNIX, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const sockaddr_un address = Address(logPath);
    ASSERT_EQ(bind(log_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  }

  void CloseLog() {
    close(log_);
    log_ = -1;
    unlink(logPath.c_str());
    rmdir(dir_.c_str());
  }

  /// The entries the log has received and not yet read, oldest first.
  std::vector<std::string> Entries() {
    std::vector<std::string> entries;
    char entry[4096];
    for (ssize_t n; (n = recv(log_, entry, sizeof entry, 0)) >= 0;) {
      entries.emplace_back(entry, static_cast<std::size_t>(n));
    }
    return entries;
  }

  /// Fills the log's queue from a socket of its own, as a log that reads
  /// nothing lets it fill.
  void Stall() {
    const int writer = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const sockaddr_un address = Address(logPath);
    ASSERT_EQ(RealConnect(writer, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    while (send(writer, "x", 1, 0) == 1) {
    }
    close(writer);
  }

  std::string dir_;
  int log_ = -1;
};

/// "<11>Mmm dd hh:mm:ss Norvelle[PID]: " as syslog(3) writes it: the user
/// facility, priority err, the local time, the ident and the process id.
std::string Message(const std::string& entry) {
  const std::regex header(
      "<11>[A-Z][a-z]{2} [ 123][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] "
      "Norvelle\\[" +
      std::to_string(getpid()) + "\\]: ");
  std::smatch match;
  if (!std::regex_search(entry, match, header) || match.position(0) != 0) {
    ADD_FAILURE() << "not a system-log entry: " << entry;
    return {};
  }
  return match.suffix();
}

TEST_F(SystemLog, TakesAtMostTenStringsUpToTheFirstNull) {
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
    EXPECT_EQ(ReportEvtLog(platform::kEventError, c.id, c.strings), 1);
    const auto entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(Message(entries[0]), c.message);
  }
}

TEST_F(SystemLog, LongStringsAreCutVisibly) {
  const std::string huge(3000, 'x');
  const char* const strings[] = {huge.c_str(), nullptr};
  ReportEvtLog(platform::kEventError, EVENT_HANDOVER_FAILED, strings);
  const auto entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  const std::string message = Message(entries[0]);
  EXPECT_EQ(message.size(), 1023u);
  EXPECT_EQ(message.substr(1020), "...");
}

// A log that takes streams only gets the entry as syslog(3) sends it
// there, ended by a zero byte.
TEST_F(SystemLog, StreamLogGetsTheEntryEndedByAZero) {
  CloseLog();
  OpenLog(SOCK_STREAM);
  ASSERT_EQ(listen(log_, 1), 0);
  EXPECT_EQ(ReportEvtLog(platform::kEventError, EVENT_ALERT_REJECTED, nullptr), 1);
  const int accepted = accept(log_, nullptr, nullptr);
  ASSERT_GE(accepted, 0);
  std::string entry;
  char chunk[256];
  for (ssize_t n; (n = recv(accepted, chunk, sizeof chunk, MSG_DONTWAIT)) > 0;) {
    entry.append(chunk, static_cast<std::size_t>(n));
  }
  close(accepted);
  ASSERT_FALSE(entry.empty());
  EXPECT_EQ(entry.back(), '\0');
  EXPECT_EQ(Message(entry.substr(0, entry.size() - 1)), "event 3212 (0xE0000C8C)");
}

// An entry the log does not take within its bound counts as not written,
// and the call ends either way.
TEST_F(SystemLog, EntryTheLogDoesNotTakeIsNotWritten) {
  const struct {
    const char* name;
    bool stalled;  ///< else there is no log at all
  } cases[] = {{"no log", false}, {"a log that reads nothing", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CloseLog();
    if (c.stalled) {
      OpenLog();
      Stall();
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReportEvtLog(platform::kEventError, EVENT_HANDOVER_FAILED, nullptr), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  }
}

}  // namespace
