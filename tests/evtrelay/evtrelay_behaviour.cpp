// Behaviour of the real evtrelay program in a temporary installation tree
// with the console stand-in, against the POSIX build and the 64-bit Windows
// build under Wine. Event-log entries are observed where each platform puts
// them: on POSIX a recorder preloaded into the relay catches its syslog(3)
// calls; under Wine, ReportEventA prints the identifier and each insertion
// string on the standard error stream (channels +eventlog and fixme+advapi).

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/harness/harness.h"

namespace {

using harness::CurrentTarget;
using harness::InstallTree;
using harness::ReadFile;
using harness::RunResult;

using Args = std::vector<std::string>;
using Env = std::vector<std::pair<std::string, std::string>>;

constexpr uint32_t kAlertRejected = 0xE0000C8C;
constexpr uint32_t kHandoverFailed = 0xE0000C8D;
constexpr const char* kLockFile = "nsm_evtlog.lock";

const std::string kInstallDirFound = "It succeeded in the Retrieved of the Install Directories.";
const std::string kNoInstallDir = "It failed in the Retrieved of the Install Directories.";
const std::string kKeyFound = "It succeeded in the Retrieved of Key. ";
const std::string kNoKey = "It failed in the Retrieved of the Key.";
const std::string kHostFound = "It succeeded in the Retrieved of the Host name.";
const std::string kNoHost = "It failed in the Retrieved of the Host name.";
const std::string kTimeConverted =
    "It succeeded in the Transform to the totaling The Time Seconds.";
const std::string kFieldFailed =
    "A specified Field is a Nonexisting or the size of the variable is insufficient.";
const std::string kSecondsFound = "It succeeded in the Transform of the totaling Seconds.";
const std::string kNoSeconds = "It failed in the Transform to the totaling Seconds.";
const std::string kTooFew = "Because the number of parameters is little, it disregards it.";
const std::string kStoreFailed = "It failed in the Msg storage in the Temporary files.";
const std::string kStopping =
    "Because Talvion was a Stopping, the Msg was stored in the Temporary files.";
const std::string kNotified = "It succeeded in the Notif of the Event.";

/// 2006-10-13 10:20:30 UTC.
constexpr int kAlertSeconds = 1160734830;

const Args kAlert = {"WARN", "DOMAIN\\NODE01", "10:20:30", "2006/10/13", "50% on C:\\data"};

const char* const kProfile =
    "[Severity]\r\nWARN=3\r\nCRIT = 0x10\r\nHIGH=0x400\r\nNEG=-5\r\nMINUS1=-1\r\n"
    "[Other]\r\nOTHER=7\r\n";

struct Event {
  std::string source;
  int type = 0;
  uint32_t id = 0;
  std::vector<std::string> strings;
};

std::ostream& operator<<(std::ostream& out, const Event& e) {
  out << e.source << " type " << e.type << " id 0x" << std::hex << e.id << std::dec;
  for (const auto& s : e.strings) out << " \"" << s << "\"";
  return out;
}

bool operator==(const Event& a, const Event& b) {
  return a.source == b.source && a.type == b.type && a.id == b.id && a.strings == b.strings;
}

Event Expected(uint32_t id, std::vector<std::string> strings = {}) {
  return Event{"Norvelle", 1, id, std::move(strings)};
}

/// The thirteen words of an accepted call (texts as the console got them).
std::vector<std::string> Words(int severityWord, const std::string& host, int seconds,
                               const std::string& alertText) {
  return {"NULL",
          std::to_string(severityWord),
          host,
          "NULL",
          std::to_string(seconds),
          "0",
          "0",
          "0",
          "0",
          "0",
          "0",
          "0",
          alertText};
}

/// Wine's debug text of a wide string: L"..." with \" and \\ escaped.
std::string WineString(const std::string& text) {
  const std::size_t open = text.find("L\"");
  const std::size_t close = text.rfind('"');
  if (open == std::string::npos || close <= open + 1) return {};
  std::string out;
  for (std::size_t i = open + 2; i < close; ++i) {
    if (text[i] == '\\' && i + 1 < close) ++i;
    out += text[i];
  }
  return out;
}

/// Entries that ReportEventA announced on a Wine process's standard error.
std::vector<Event> WineEvents(const std::string& err) {
  std::vector<Event> events;
  std::string source;
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("fixme:advapi:RegisterEventSourceA") != std::string::npos) {
      const std::size_t q = line.find(",\"");
      source = q == std::string::npos ? "" : line.substr(q + 2, line.rfind('"') - q - 2);
    } else if (line.find("fixme:advapi:ReportEventA (") != std::string::npos) {
      // (handle,type,category,id,sid,count,size,strings,data)
      std::string inner = line.substr(line.find('(') + 1);
      std::vector<std::string> fields;
      std::istringstream parts(inner);
      for (std::string f; std::getline(parts, f, ',');) fields.push_back(f);
      Event e;
      e.source = source;
      e.type = static_cast<int>(std::stoul(fields.at(1), nullptr, 16));
      e.id = static_cast<uint32_t>(std::stoul(fields.at(3), nullptr, 16));
      events.push_back(e);
    } else if (line.find("err:eventlog:ReportEventW") != std::string::npos && !events.empty()) {
      events.back().strings.push_back(WineString(line));
    }
  }
  return events;
}

/// Entries the syslog recorder caught: "ident TAB priority TAB message",
/// the message "event N (0xID)" and each insertion string in quotes.
std::vector<Event> RecordedEvents(const std::string& path) {
  std::vector<Event> events;
  std::istringstream lines(ReadFile(path).value_or(""));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string ident, priority, message;
    std::getline(fields, ident, '\t');
    std::getline(fields, priority, '\t');
    std::getline(fields, message);
    Event e;
    e.source = ident;
    e.type = priority == "err" ? 1 : 0;
    unsigned number = 0, id = 0;
    if (std::sscanf(message.c_str(), "event %u (0x%X)", &number, &id) != 2 ||
        number != (id & 0xFFFF)) {
      ADD_FAILURE() << "unexpected system-log message: " << message;
      continue;
    }
    e.id = id;
    for (std::size_t at = message.find(" \""); at != std::string::npos;
         at = message.find(" \"", at)) {
      const std::size_t end = message.find('"', at + 2);
      e.strings.push_back(message.substr(at + 2, end - at - 2));
      at = end + 1;
    }
    events.push_back(e);
  }
  return events;
}

/// Standard error without Wine's own lines (its debug channels, and the
/// notes of a prefix that is still being set up): what the program wrote.
std::string ProgramErr(const RunResult& r) {
  if (!CurrentTarget().IsWindows()) return r.err;
  std::string out;
  std::istringstream lines(r.err);
  for (std::string line; std::getline(lines, line);) {
    const bool wine = line.rfind("wine: ", 0) == 0 || line.find(":fixme:") != std::string::npos ||
                      line.find(":err:") != std::string::npos ||
                      line.find(":warn:") != std::string::npos ||
                      line.find(":trace:") != std::string::npos;
    if (!wine) out += line + "\n";
  }
  return out;
}

/// The trace records as "open NAME VALUE", "trace NAME TEXT", "close NAME
/// VALUE", checking the fixed values of every text record on the way.
std::vector<std::string> TraceLines(const InstallTree& tree) {
  std::vector<std::string> seen;
  int pid = 0;
  bool first = true;
  for (const auto& r : harness::ReadTrace(tree.TraceLog())) {
    if (r.kind == "open" || r.kind == "close") {
      seen.push_back(r.kind + " " + r.channel + " " + std::to_string(r.value));
      continue;
    }
    if (r.kind != "trace") continue;
    SCOPED_TRACE(r.data);
    EXPECT_EQ(r.values[0], 1);
    EXPECT_EQ(r.values[1], 1);
    EXPECT_EQ(r.file, r.data == kTimeConverted || r.data == kFieldFailed ? "alert_fields.cpp"
                                                                         : "relay_command.cpp");
    EXPECT_GT(r.values[3], 0);
    EXPECT_EQ(r.values[4], 2);
    EXPECT_EQ(r.values[5], static_cast<int>(r.data.size()));
    if (pid == 0) pid = r.values[6];
    EXPECT_EQ(r.values[6], pid);
    EXPECT_EQ(r.values[7], 0);
    // The argument block holds NUL bytes; it is checked on its own.
    seen.push_back("trace " + r.channel + " " + (first ? std::string("ARGUMENTS") : r.data));
    first = false;
  }
  return seen;
}

/// The records of a run that reached the conversion: the program's pair,
/// the conversion's own pair around its one text, then `tail`.
std::vector<std::string> ExpectedTrace(const std::vector<std::string>& beforeTime,
                                       const std::vector<std::string>& tail) {
  std::vector<std::string> lines = {"open Norvelle01 0", "open Norvelle02 0",
                                    "trace Norvelle02 ARGUMENTS"};
  lines.insert(lines.end(), beforeTime.begin(), beforeTime.end());
  lines.insert(lines.end(), tail.begin(), tail.end());
  lines.push_back("close Norvelle01 1");
  lines.push_back("close Norvelle02 1");
  return lines;
}

std::vector<std::string> TimePair(bool converted) {
  if (converted) {
    return {"open Norvelle01 0", "open Norvelle02 0", "trace Norvelle02 " + kTimeConverted,
            "close Norvelle02 1", "close Norvelle01 1"};
  }
  return {"open Norvelle01 0", "open Norvelle02 0", "trace Norvelle01 " + kFieldFailed,
          "close Norvelle01 1", "close Norvelle02 1"};
}

std::string MsgpostLine(int severityWord, const std::string& host, int seconds,
                        const std::string& alertText) {
  return "trace Norvelle02 msgpost3( NULL, " + std::to_string(severityWord) + ", " + host +
         ", NULL, " + std::to_string(seconds) + ", 0, 0, NULL, 0, " + alertText + " ).";
}

std::string RecorderLibrary() {
  return harness::Preloadable(CurrentTarget().buildDir +
                              "/bin/probes/syslog/libsyslog_recorder.so");
}

/// The environment of every relay run: a fixed time zone and the event-log
/// observer of the target; `extra` adds to it or overrides it.
harness::RunOptions RelayOptions(const std::string& cwd, const std::string& syslogRecord,
                                 const Env& extra) {
  harness::RunOptions options;
  options.cwd = cwd;
  options.env = {{"TZ", "UTC0"}};
  if (CurrentTarget().IsWindows()) {
    options.env.push_back({"WINEDEBUG", "-all,+eventlog,fixme+advapi"});
  } else {
    options.env.push_back({"LD_PRELOAD", RecorderLibrary()});
    options.env.push_back({"SYSLOG_RECORD", syslogRecord});
    options.env.push_back({"ASAN_OPTIONS", "verify_asan_link_order=0"});
  }
  for (const auto& entry : extra) {
    const std::string& name = entry.first;
    auto same = [&name](const auto& other) { return other.first == name; };
    options.env.erase(std::remove_if(options.env.begin(), options.env.end(), same),
                      options.env.end());
    options.env.push_back(entry);
  }
  return options;
}

class Relay : public ::testing::Test {
 protected:
  Relay() : Relay(std::string("App")) {}
  explicit Relay(const std::string& depth) : tree_(depth) {}

  void SetUp() override {
    program_ = tree_.InstallProgram("evtrelay");
    tree_.InstallConsole();
    tree_.InstallTrace();
    harness::WriteFile(tree_.EtcFile("AdpEvt.ini"), kProfile);
  }

  /// Runs the relay once; its event-log entries join events_.
  RunResult Run(const Args& args, const Env& extra = {}, const std::string& program = {}) {
    harness::RunOptions options = RelayOptions(tree_.Base(), SyslogRecord(), extra);
    RunResult r =
        harness::Run(CurrentTarget(), program.empty() ? program_ : program, args, options);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(r.crashed) << r.err;
    // Nothing goes to the console.
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ProgramErr(r), "");
    if (CurrentTarget().IsWindows()) {
      const std::lock_guard<std::mutex> hold(eventsLock_);
      for (auto& e : WineEvents(r.err)) wineEvents_.push_back(e);
    }
    return r;
  }

  RunResult RunWithResult(int result, const Args& args = kAlert) {
    return Run(args, {{"TALMSG_RESULT", std::to_string(result)}});
  }

  std::string SyslogRecord() const { return tree_.Base() + "/syslog.log"; }

  std::vector<Event> Events() {
    const std::lock_guard<std::mutex> hold(eventsLock_);
    return CurrentTarget().IsWindows() ? wineEvents_ : RecordedEvents(SyslogRecord());
  }

  std::vector<harness::ConsoleCall> Calls() const {
    return harness::ReadConsole(tree_.ConsoleLog());
  }

  std::optional<std::string> Lock() const { return ReadFile(tree_.EtcFile(kLockFile)); }

  void ClearRecords() {
    std::filesystem::remove(tree_.TraceLog());
    std::filesystem::remove(tree_.ConsoleLog());
  }

  /// One run of the sample alert with argument `index` (0-based) replaced,
  /// from clean records; the calls the console received.
  std::vector<harness::ConsoleCall> RunWithArgument(std::size_t index, const std::string& value) {
    ClearRecords();
    Args args = kAlert;
    args[index] = value;
    Run(args);
    return Calls();
  }

  InstallTree tree_;
  std::string program_;
  std::mutex eventsLock_;
  std::vector<Event> wineEvents_;
};

// --- an accepted alert ------------------------------------------------------

TEST_F(Relay, AcceptedAlertHandsOverTheThirteenWords) {
  Run(kAlert);
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].words, Words(0x303, "node01", kAlertSeconds, "50%% on C:\\\\data"));
  EXPECT_TRUE(Events().empty());
  EXPECT_FALSE(Lock().has_value());
}

TEST_F(Relay, AcceptedAlertTracesEveryStep) {
  Run(kAlert);
  EXPECT_EQ(TraceLines(tree_),
            ExpectedTrace({"trace Norvelle02 " + kInstallDirFound, "trace Norvelle02 " + kKeyFound,
                           "trace Norvelle02 " + kHostFound},
                          [] {
                            auto lines = TimePair(true);
                            lines.push_back("trace Norvelle02 " + kSecondsFound);
                            lines.push_back(
                                MsgpostLine(0x303, "node01", kAlertSeconds, "50%% on C:\\\\data"));
                            lines.push_back("trace Norvelle02 " + kNotified);
                            return lines;
                          }()));
}

TEST_F(Relay, FirstRecordCarriesTheWholeArgumentBlock) {
  Args args = kAlert;
  args.push_back("sixth");
  args.push_back("");
  Run(args);
  const auto records = harness::ReadTrace(tree_.TraceLog());
  const harness::TraceRecord* first = nullptr;
  for (const auto& r : records) {
    if (r.kind == "trace") {
      first = &r;
      break;
    }
  }
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->channel, "Norvelle02");
  std::string tail;
  for (const auto& a : args) tail += a + '\0';
  // The program name as the command line gave it, then every argument,
  // each with its terminator; the number of bytes counts them all.
  const std::size_t nameEnd = first->data.find('\0');
  ASSERT_NE(nameEnd, std::string::npos);
  EXPECT_NE(first->data.substr(0, nameEnd).find("evtrelay"), std::string::npos);
  EXPECT_EQ(first->data.substr(nameEnd + 1), tail);
  EXPECT_EQ(first->values[5], static_cast<int>(first->data.size()));
  // Arguments after the fifth change nothing else.
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].words, Words(0x303, "node01", kAlertSeconds, "50%% on C:\\\\data"));
}

TEST_F(Relay, RunsTheSameWithoutTheTraceLibrary) {
  std::filesystem::remove_all(tree_.Bin());
  std::filesystem::create_directories(tree_.Bin());
  program_ = tree_.InstallProgram("evtrelay");
  tree_.InstallConsole();
  RunWithResult(-1);
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].words, Words(0x303, "node01", kAlertSeconds, "50%% on C:\\\\data"));
  EXPECT_EQ(Events(), std::vector<Event>{Expected(kHandoverFailed)});
  EXPECT_FALSE(harness::Exists(tree_.TraceLog()));
}

// --- argument counts --------------------------------------------------------

TEST_F(Relay, TooFewArgumentsAreRejectedOnce) {
  const Args cases[] = {{}, {"WARN"}, {"WARN", "NODE01", "10:20:30", "2006/10/13"}};
  for (const Args& args : cases) {
    SCOPED_TRACE(args.size());
    std::filesystem::remove(tree_.EtcFile(kLockFile));
    const std::size_t before = Events().size();
    ClearRecords();
    Run(args);
    EXPECT_TRUE(Calls().empty());
    const auto events = Events();
    ASSERT_EQ(events.size(), before + 1);
    EXPECT_EQ(events.back(), Expected(kAlertRejected));
    EXPECT_EQ(Lock(), std::optional<std::string>(""));
    EXPECT_EQ(TraceLines(tree_),
              (std::vector<std::string>{"open Norvelle01 0", "open Norvelle02 0",
                                        "trace Norvelle02 ARGUMENTS", "trace Norvelle01 " + kTooFew,
                                        "close Norvelle01 1", "close Norvelle02 1"}));
    // The lock file holds the next one back.
    Run(args);
    EXPECT_EQ(Events().size(), before + 1);
  }
}

// --- severity ---------------------------------------------------------------

TEST_F(Relay, SeverityWordHasBits8And9Set) {
  const struct {
    const char* key;
    int word;
    bool found;
  } cases[] = {
      {"WARN", 0x303, true},     {"warn", 0x303, true},   {"CRIT", 0x310, true},
      {"HIGH", 0x700, true},     {"NEG", -5, true},       {"MINUS1", 0x300, false},
      {"MISSING", 0x300, false}, {"OTHER", 0x300, false}, {"", 0x300, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    const auto calls = RunWithArgument(0, c.key);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].words[1], std::to_string(c.word));
    const auto lines = TraceLines(tree_);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[4], c.found ? "trace Norvelle02 " + kKeyFound : "trace Norvelle01 " + kNoKey);
  }
  EXPECT_TRUE(Events().empty());
}

TEST_F(Relay, MissingProfileGivesSeverityZero) {
  std::filesystem::remove(tree_.EtcFile("AdpEvt.ini"));
  Run(kAlert);
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].words[1], "768");
  const auto lines = TraceLines(tree_);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[4], "trace Norvelle01 " + kNoKey);
  EXPECT_FALSE(Lock().has_value());
}

// --- host names -------------------------------------------------------------

TEST_F(Relay, HostNameIsTheLoweredTextAfterTheLastBackslash) {
  const std::string longest(127, 'H');
  const struct {
    std::string argument;
    std::optional<std::string> host;
  } cases[] = {
      {"DOMAIN\\NODE01", "node01"},
      {"NODE01", "node01"},
      {"A\\B\\Node-7", "node-7"},
      {"Mixed.Case_09-Z", "mixed.case_09-z"},
      {std::string(300, 'D') + "\\N", "n"},
      {longest, std::string(127, 'h')},
      {"D\\" + longest, std::string(127, 'h')},
      // Not a host name: never cut to fit.
      {longest + "H", std::nullopt},
      {"D\\" + longest + "H", std::nullopt},
      {"NODE01\\", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argument);
    ClearRecords();
    std::filesystem::remove(tree_.EtcFile(kLockFile));
    const std::size_t before = Events().size();
    Args args = kAlert;
    args[1] = c.argument;
    Run(args);
    const auto calls = Calls();
    const auto lines = TraceLines(tree_);
    if (c.host) {
      ASSERT_EQ(calls.size(), 1u);
      EXPECT_EQ(calls[0].words[2], *c.host);
      EXPECT_EQ(Events().size(), before);
    } else {
      EXPECT_TRUE(calls.empty());
      const auto events = Events();
      ASSERT_EQ(events.size(), before + 1);
      EXPECT_EQ(events.back(), Expected(kAlertRejected, {"HOSTNAME MISS"}));
      EXPECT_EQ(lines,
                ExpectedTrace({"trace Norvelle02 " + kInstallDirFound,
                               "trace Norvelle02 " + kKeyFound, "trace Norvelle01 " + kNoHost},
                              {}));
      EXPECT_EQ(Lock(), std::optional<std::string>(""));
    }
  }
}

// --- time texts -------------------------------------------------------------

TEST_F(Relay, TimeTextsBecomeSecondsOrTimeMiss) {
  const struct {
    const char* time;
    const char* date;
    std::optional<int> seconds;
  } cases[] = {
      {"10:20:30", "2006/10/13", kAlertSeconds},
      {"10:20:30:40", "2006/10/13/99", kAlertSeconds},
      {"10:20:xx", "2006/10/13", kAlertSeconds - 30},
      {"10:20:30", "2006/13/13", 1168683630},
      {"10:20:30", "06/10/13", -1},
      {"03:14:07", "2038/01/19", 2147483647},
      {"03:14:08", "2038/01/19", -1},
      {"10:20:30", "2006/10", std::nullopt},
      {"10:20", "2006/10/13", std::nullopt},
      {"10:20:30", "2006//13", std::nullopt},
      {"", "", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.time) + " " + c.date);
    ClearRecords();
    std::filesystem::remove(tree_.EtcFile(kLockFile));
    const std::size_t before = Events().size();
    Run({"WARN", "NODE01", c.time, c.date, "m"});
    const auto calls = Calls();
    const std::vector<std::string> head = {"trace Norvelle02 " + kInstallDirFound,
                                           "trace Norvelle02 " + kKeyFound,
                                           "trace Norvelle02 " + kHostFound};
    if (c.seconds) {
      ASSERT_EQ(calls.size(), 1u);
      EXPECT_EQ(calls[0].words[4], std::to_string(*c.seconds));
      EXPECT_EQ(Events().size(), before);
    } else {
      EXPECT_TRUE(calls.empty());
      const auto events = Events();
      ASSERT_EQ(events.size(), before + 1);
      EXPECT_EQ(events.back(), Expected(kAlertRejected, {"TIME MISS"}));
      auto tail = TimePair(false);
      tail.push_back("trace Norvelle01 " + kNoSeconds);
      EXPECT_EQ(TraceLines(tree_), ExpectedTrace(head, tail));
    }
  }
}

TEST_F(Relay, SecondsAreLocalTime) {
  Run(kAlert, {{"TZ", "EST5EDT"}});
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  // Summer time: 10:20:30 EDT is 14:20:30 UTC.
  EXPECT_EQ(calls[0].words[4], "1160749230");
}

// --- the message ------------------------------------------------------------

TEST_F(Relay, MessageHasPercentAndBackslashDoubled) {
  const struct {
    std::string message;
    std::string alert;
  } cases[] = {
      {"50% on C:\\data", "50%% on C:\\\\data"},
      {"%%", "%%%%"},
      {"\\\\", "\\\\\\\\"},
      {"", ""},
      {"%s %d %n", "%%s %%d %%n"},
      {"tab\there \"quoted\" ~", "tab\there \"quoted\" ~"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const auto calls = RunWithArgument(4, c.message);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].words[12], c.alert);
    const auto lines = TraceLines(tree_);
    EXPECT_NE(
        std::find(lines.begin(), lines.end(), MsgpostLine(0x303, "node01", kAlertSeconds, c.alert)),
        lines.end());
  }
}

TEST_F(Relay, LongMessageIsCutWithoutSplittingAPairAndHandedOver) {
  const struct {
    std::string message;
    std::string alert;
  } cases[] = {
      {std::string(2048, '%'), std::string(4096, '%')},
      {std::string(3000, '%'), std::string(4096, '%')},
      {std::string(4095, 'a') + "\\", std::string(4095, 'a')},
      {std::string(4094, 'a') + "\\b", std::string(4094, 'a') + "\\\\"},
      {std::string(5000, 'a'), std::string(4096, 'a')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message.size());
    const auto calls = RunWithArgument(4, c.message);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].words[12], c.alert);
    // The trace line of the call is cut at 1023 characters.
    const std::string line = MsgpostLine(0x303, "node01", kAlertSeconds, c.alert);
    const auto lines = TraceLines(tree_);
    EXPECT_NE(std::find(lines.begin(), lines.end(), line.substr(0, 17 + 1023)), lines.end());
    EXPECT_EQ(lines[lines.size() - 3], "trace Norvelle02 " + kNotified);
  }
}

// --- msgpost3's result and the lock file -------------------------------------

TEST_F(Relay, EveryResultOfTheConsole) {
  const struct {
    int result;
    std::optional<std::string> failure;
  } cases[] = {{-1, kStoreFailed}, {-2, kStopping}, {0, {}}, {1, {}}, {-3, {}}, {1000, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result);
    ClearRecords();
    harness::WriteFile(tree_.EtcFile(kLockFile), "");
    const std::size_t before = Events().size();
    if (c.failure) std::filesystem::remove(tree_.EtcFile(kLockFile));
    RunWithResult(c.result);
    ASSERT_EQ(Calls().size(), 1u);
    const std::string last = TraceLines(tree_).end()[-3];
    if (c.failure) {
      EXPECT_EQ(last, "trace Norvelle01 " + *c.failure);
      const auto events = Events();
      ASSERT_EQ(events.size(), before + 1);
      EXPECT_EQ(events.back(), Expected(kHandoverFailed));
      EXPECT_EQ(Lock(), std::optional<std::string>(""));
    } else {
      EXPECT_EQ(last, "trace Norvelle02 " + kNotified);
      EXPECT_EQ(Events().size(), before);
      EXPECT_FALSE(Lock().has_value());
    }
  }
}

TEST_F(Relay, LockFileLetsOneEntryThroughBetweenHandOvers) {
  RunWithResult(-1);
  Run({"WARN", ""});
  EXPECT_EQ(Lock(), std::optional<std::string>(""));
  RunWithResult(0);
  EXPECT_FALSE(Lock().has_value());
  // An accepted hand-over with the lock absent changes nothing.
  RunWithResult(0);
  Run({"WARN", "", "10:20:30", "2006/10/13", "m"});
  RunWithResult(-2);
  EXPECT_EQ(Events(), (std::vector<Event>{Expected(kHandoverFailed),
                                          Expected(kAlertRejected, {"HOSTNAME MISS"})}));
  EXPECT_EQ(Lock(), std::optional<std::string>(""));
}

TEST_F(Relay, PresentLockFileIsLeftAsItWas) {
  harness::WriteFile(tree_.EtcFile(kLockFile), "left by an operator");
  RunWithResult(-1);
  Run({"WARN"});
  EXPECT_TRUE(Events().empty());
  EXPECT_EQ(Lock(), std::optional<std::string>("left by an operator"));
}

TEST_F(Relay, WithoutEtcEveryFailureIsReported) {
  std::filesystem::remove_all(tree_.Etc());
  RunWithResult(-1);
  RunWithResult(-2);
  Run({});
  // Severity 0: the profile went with etc.
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].words[1], "768");
  EXPECT_EQ(Events(), (std::vector<Event>{Expected(kHandoverFailed), Expected(kHandoverFailed),
                                          Expected(kAlertRejected)}));
  EXPECT_FALSE(harness::Exists(tree_.Etc()));
}

// --- installation trees at the edge of the path buffers ----------------------

class LongTree : public Relay {
 protected:
  LongTree() : Relay(std::string(120, 'a') + "/" + std::string(120, 'b') + "/App") {}
};

TEST_F(LongTree, InstallDirectoryNotFoundEndsTheRunWithoutAnEntry) {
  // The program's own path no longer fits in 260 characters.
  RunWithResult(-1);
  EXPECT_TRUE(Calls().empty());
  EXPECT_TRUE(Events().empty());
  const auto lines = TraceLines(tree_);
  if (!lines.empty()) {
    EXPECT_EQ(lines, (std::vector<std::string>{"open Norvelle01 0", "open Norvelle02 0",
                                               "trace Norvelle02 ARGUMENTS",
                                               "trace Norvelle01 " + kNoInstallDir,
                                               "close Norvelle01 1", "close Norvelle02 1"}));
  }
}

TEST(RelayPaths, ProfileAndLockPathsTooLongForTheirBuffers) {
  // An installation directory of 248 characters: the program, renamed to
  // ROOT/b/e, still has a path that fits in 260; ROOT/etc/AdpEvt.ini and
  // ROOT/etc/nsm_evtlog.lock do not. The key then counts as not found, and
  // a lock file that can never exist lets every failure through.
  InstallTree probe;
  const std::size_t base = CurrentTarget().TargetPath(probe.Base()).size() + 1;
  ASSERT_LT(base, 200u);
  InstallTree tree(std::string(248 - 4 - base, 'a') + "/App");
  ASSERT_EQ(CurrentTarget().TargetPath(tree.Root()).size(), 248u);
  const std::string dir = tree.Root() + "/b";
  std::filesystem::create_directories(dir);
  const std::string installed = tree.InstallProgram("evtrelay", dir);
  const std::string program = dir + (CurrentTarget().IsWindows() ? "/e.exe" : "/e");
  std::filesystem::rename(installed, program);
  tree.InstallConsole(dir);
  harness::WriteFile(tree.EtcFile("AdpEvt.ini"), kProfile);

  std::vector<Event> events;
  const std::string syslog = tree.Base() + "/syslog.log";
  for (int i = 0; i < 2; ++i) {
    const harness::RunOptions options =
        RelayOptions(tree.Base(), syslog, {{"TALMSG_RESULT", "-1"}});
    const RunResult r = harness::Run(CurrentTarget(), program, kAlert, options);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    if (CurrentTarget().IsWindows()) {
      for (auto& e : WineEvents(r.err)) events.push_back(e);
    }
  }
  if (!CurrentTarget().IsWindows()) events = RecordedEvents(syslog);
  const auto calls = harness::ReadConsole(tree.ConsoleLog());
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].words[1], "768");
  EXPECT_EQ(events, (std::vector<Event>{Expected(kHandoverFailed), Expected(kHandoverFailed)}));
}

// --- relays running at the same time ------------------------------------------

TEST_F(Relay, ThirtyTwoRelaysAtOnce) {
  constexpr int kRelays = 32;
  // Each phase: how many of the 32 the console refuses.
  const struct {
    int refused;
    bool lockBefore;
  } phases[] = {{kRelays, false}, {kRelays / 2, true}, {0, true}, {kRelays / 2, false}};
  for (const auto& phase : phases) {
    SCOPED_TRACE(phase.refused);
    ClearRecords();
    if (phase.lockBefore) {
      harness::WriteFile(tree_.EtcFile(kLockFile), "");
    } else {
      std::filesystem::remove(tree_.EtcFile(kLockFile));
    }
    const std::size_t before = Events().size();
    std::vector<RunResult> results(kRelays);
    std::vector<std::thread> relays;
    for (int i = 0; i < kRelays; ++i) {
      const Env env = {{"TALMSG_RESULT", i < phase.refused ? "-1" : "0"},
                       {"TALMSG_DELAY_MS", "20"}};
      relays.emplace_back([this, i, env, &results] { results[i] = Run(kAlert, env); });
    }
    for (auto& t : relays) t.join();

    for (const auto& r : results) {
      EXPECT_EQ(r.exitCode, 0) << r.err;
      EXPECT_FALSE(r.crashed) << r.err;
    }
    const auto calls = Calls();
    ASSERT_EQ(calls.size(), static_cast<std::size_t>(kRelays));
    for (const auto& call : calls) {
      EXPECT_EQ(call.words, Words(0x303, "node01", kAlertSeconds, "50%% on C:\\\\data"));
    }
    const auto events = Events();
    const std::size_t entries = events.size() - before;
    const auto lock = Lock();
    if (lock) {
      EXPECT_EQ(*lock, "");
    }
    if (phase.refused == kRelays) {
      // Only failures: of those that find the lock absent, the one whose
      // create makes it writes the one entry.
      EXPECT_TRUE(lock.has_value());
      EXPECT_EQ(entries, 1u);
    } else if (phase.refused == 0) {
      EXPECT_FALSE(lock.has_value());
      EXPECT_EQ(entries, 0u);
    } else {
      // Either state is the one some order leaves; each entry needs an
      // absent lock, so the first failure to look writes one when it
      // started absent, and no more are written than there are failures.
      EXPECT_GE(entries, phase.lockBefore ? 0u : 1u);
      EXPECT_LE(entries, static_cast<std::size_t>(phase.refused));
    }
    for (std::size_t i = before; i < events.size(); ++i) {
      EXPECT_EQ(events[i], Expected(kHandoverFailed));
    }
  }
}

TEST_F(Relay, OverlappingExistenceTestsStillWriteOneEntry) {
  if (CurrentTarget().IsWindows()) GTEST_SKIP() << "the existence test is slowed in the C library";
  // Each relay's existence test takes 100 ms longer, so all 64 find the lock
  // absent before any of them creates it.
  const Env slow = {{"TALMSG_RESULT", "-1"},
                    {"LD_PRELOAD", RecorderLibrary() + " " + harness::FaultShim()},
                    {"FAULT_SHIM_SLOW_LSTAT", std::string(kLockFile) + ":100"}};
  std::vector<std::thread> relays;
  for (int i = 0; i < 64; ++i) relays.emplace_back([this, &slow] { Run(kAlert, slow); });
  for (auto& t : relays) t.join();
  EXPECT_EQ(Calls().size(), 64u);
  EXPECT_EQ(Events(), std::vector<Event>{Expected(kHandoverFailed)});
  EXPECT_EQ(Lock(), std::optional<std::string>(""));
}

/// A datagram socket bound at `path` that nobody reads, its queue filled
/// but for room for one more entry; closed when it goes.
class StalledLog {
 public:
  explicit StalledLog(const std::string& path)
      : socket_(socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    const auto* named = reinterpret_cast<const sockaddr*>(&address);
    const int writer = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (bind(socket_, named, sizeof address) != 0 || connect(writer, named, sizeof address) != 0) {
      ADD_FAILURE() << "cannot serve " << path;
    }
    while (send(writer, "x", 1, 0) == 1) ++filler_;
    close(writer);
    char byte = 0;
    if (recv(socket_, &byte, 1, 0) == 1) --filler_;
  }
  ~StalledLog() { close(socket_); }
  StalledLog(const StalledLog&) = delete;
  StalledLog& operator=(const StalledLog&) = delete;

  /// Everything the log holds, oldest first.
  std::vector<std::string> Held() const {
    std::vector<std::string> held;
    char entry[2048];
    for (ssize_t n; (n = recv(socket_, entry, sizeof entry, 0)) >= 0;) {
      held.emplace_back(entry, static_cast<std::size_t>(n));
    }
    return held;
  }
  std::size_t Filler() const { return filler_; }

 private:
  int socket_;
  std::size_t filler_ = 0;
};

TEST_F(Relay, StalledSystemLogHoldsNoRelayBack) {
  if (CurrentTarget().IsWindows()) GTEST_SKIP() << "the Windows event log is a service";
  REQUIRE_TOOL(harness::CanUnshareMounts(), "root and unshare -m");
  // Each relay sees the test's socket as /dev/log, in a mount namespace of
  // its own; the time-out ends a relay that would wait for good. Without
  // etc no lock can be made, so every refused alert tries to write.
  std::filesystem::remove_all(tree_.Etc());
  const std::string dev = tree_.Base() + "/dev";
  std::filesystem::create_directory(dev);
  const StalledLog log(dev + "/log");
  harness::RunOptions options =
      RelayOptions(tree_.Base(), SyslogRecord(), {{"TALMSG_RESULT", "-1"}, {"LD_PRELOAD", ""}});
  options.prefix = {
      "unshare", "-m", "sh", "-c", "mount --bind \"$0\" /dev && exec timeout 30 \"$@\"", dev};
  constexpr int kRelays = 40;
  std::vector<RunResult> results(kRelays);
  std::vector<std::thread> relays;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kRelays; ++i) {
    relays.emplace_back(
        [&, i] { results[i] = harness::Run(CurrentTarget(), program_, kAlert, options); });
  }
  for (auto& t : relays) t.join();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%d relays against a stalled system log ended in %lld ms\n", kRelays,
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
  for (const auto& r : results) {
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(r.crashed) << r.err;
  }
  EXPECT_EQ(Calls().size(), static_cast<std::size_t>(kRelays));
  // One entry took the last room; every other relay gave its entry up.
  const auto held = log.Held();
  ASSERT_EQ(held.size(), log.Filler() + 1);
  EXPECT_NE(held.back().find(" Norvelle["), std::string::npos) << held.back();
}

TEST_F(Relay, OnlyARegularFileIsTheLock) {
  // Whoever may write etc can plant anything at the lock's name. Only a
  // regular file, which is all the relay ever makes, holds entries back;
  // anything else stays where it is (an accepted hand-over removes only a
  // regular file) and every failure is reported, as when etc is a file
  // and no lock can be made at all.
  const struct {
    const char* name;
    const char* setup;  ///< shell commands in the installation root
    bool onWindows;     ///< whether Wine shows the situation as Windows would
  } cases[] = {
      {"directory", "mkdir etc/nsm_evtlog.lock", true},
      {"dangling link", "ln -s nowhere etc/nsm_evtlog.lock", true},
      // Wine shows a Unix link to a file as the file itself, where Windows
      // would show a reparse point.
      {"link to a file", "touch etc/target && ln -s target etc/nsm_evtlog.lock", false},
      {"FIFO", "mkfifo etc/nsm_evtlog.lock", false},
      {"etc a file", "rm -r etc && touch etc", true},
  };
  for (const auto& c : cases) {
    if (CurrentTarget().IsWindows() && !c.onWindows) continue;
    SCOPED_TRACE(c.name);
    InstallTree tree;
    const std::string program = tree.InstallProgram("evtrelay");
    tree.InstallConsole();
    ASSERT_EQ(harness::RunShell(tree.Root(), c.setup), 0);
    const auto planted = std::filesystem::symlink_status(tree.EtcFile(kLockFile)).type();
    const std::size_t before = Events().size();
    for (int result : {-1, 0, -2}) {
      Run(kAlert, {{"TALMSG_RESULT", std::to_string(result)}}, program);
    }
    EXPECT_EQ(Events().size() - before, 2u);
    EXPECT_EQ(std::filesystem::symlink_status(tree.EtcFile(kLockFile)).type(), planted);
  }
}

TEST_F(Relay, ProfilesThatCannotBeReadGiveTheDefault) {
  const struct {
    const char* setup;  ///< shell commands in the installation root
    bool onWindows;
  } cases[] = {
      {"mkfifo etc/AdpEvt.ini", false},
      {"ln -s /dev/zero etc/AdpEvt.ini", false},
      {"ln -s /dev/urandom etc/AdpEvt.ini", false},
      {"mkdir etc/AdpEvt.ini", false},
      // Over the size limit, with the key past it: read whole, it would
      // give 0x303 after many seconds (under Wine, a page fault).
      {"truncate -s 2G etc/AdpEvt.ini && printf '\\r\\n[Severity]\\r\\nWARN=3\\r\\n' >> "
       "etc/AdpEvt.ini",
       true},
      // A size of 0 that reads on for minutes; Wine believes the size.
      {"ln -s /proc/self/pagemap etc/AdpEvt.ini", false},
  };
  for (const auto& c : cases) {
    if (CurrentTarget().IsWindows() && !c.onWindows) continue;
    SCOPED_TRACE(c.setup);
    ClearRecords();
    std::filesystem::remove_all(tree_.EtcFile("AdpEvt.ini"));
    ASSERT_EQ(harness::RunShell(tree_.Root(), c.setup), 0);
    // A hang ends with the time-out's status (124), not 0.
    harness::RunOptions options = RelayOptions(tree_.Base(), SyslogRecord(), {});
    if (!CurrentTarget().IsWindows()) options.prefix = {"timeout", "60"};
    const RunResult r = harness::Run(CurrentTarget(), program_, kAlert, options);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(r.crashed) << r.err;
    const auto calls = Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].words[1], "768");
  }
}

}  // namespace
