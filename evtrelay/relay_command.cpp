#include "evtrelay/relay_command.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/install_dir.h"
#include "common/trace_channel.h"
#include "evtrelay/alert_fields.h"
#include "evtrelay/event_fallback.h"
#include "evtrelay/relay_trace.h"
#include "platform/foreign_call.h"
#include "platform/platform.h"

namespace {

constexpr const char* kSourceFile = "relay_command.cpp";
constexpr const char* kProfileFile = "AdpEvt.ini";
constexpr const char* kSeveritySection = "Severity";
constexpr int kSeverityBits = 0x300;
constexpr int kNoSeverity = -1;
constexpr int kArgumentCount = 5;
constexpr int kStored = -1;
constexpr int kStoredWhileStopping = -2;

constexpr const char* kTooFewArguments =
    "Because the number of parameters is little, it disregards it.";
constexpr const char* kNoInstallDir = "It failed in the Retrieved of the Install Directories.";
constexpr const char* kInstallDirFound =
    "It succeeded in the Retrieved of the Install Directories.";
constexpr const char* kNoKey = "It failed in the Retrieved of the Key.";
constexpr const char* kKeyFound = "It succeeded in the Retrieved of Key. ";
constexpr const char* kNoHostName = "It failed in the Retrieved of the Host name.";
constexpr const char* kHostNameFound = "It succeeded in the Retrieved of the Host name.";
constexpr const char* kNoSeconds = "It failed in the Transform to the totaling Seconds.";
constexpr const char* kSecondsFound = "It succeeded in the Transform of the totaling Seconds.";
constexpr const char* kStoreFailed = "It failed in the Msg storage in the Temporary files.";
constexpr const char* kStoppingStored =
    "Because Talvion was a Stopping, the Msg was stored in the Temporary files.";
constexpr const char* kNotified = "It succeeded in the Notif of the Event.";
constexpr const char* kHostNameMiss = "HOSTNAME MISS";
constexpr const char* kTimeMiss = "TIME MISS";

/// Working storage of one run; zero-initialised as a whole, the trace
/// channels included.
struct Run {
  TraceChannel errorChannel;
  TraceChannel infoChannel;
  char argumentBlock[kArgumentBlockCapacity];
  char installDir[kPathCapacity];
  char profilePath[kPathCapacity];
  char hostName[kHostNameCapacity];
  char alertText[kAlertTextCapacity];
  char traceText[kTraceTextCapacity];
};

/// Every argument with its terminator, end to end; arguments that no
/// longer fit whole are left out (only a POSIX command line can be longer
/// than the block). Returns the number of bytes laid out.
std::size_t LayOutArguments(int argc, char** argv, char* block) {
  std::size_t used = 0;
  for (int i = 0; i < argc; ++i) {
    const std::size_t size = std::strlen(argv[i]) + 1;
    if (size > kArgumentBlockCapacity - used) {
      break;
    }
    std::memcpy(block + used, argv[i], size);
    used += size;
  }
  return used;
}

/// The text behind the last backslash; a name longer than the buffer is no
/// host name and leaves the buffer empty.
void TakeHostName(const char* argument, char* hostName) {
  std::memset(hostName, 0, kHostNameCapacity);
  const char* backslash = std::strrchr(argument, '\\');
  const char* name = backslash != nullptr ? backslash + 1 : argument;
  std::size_t length = 0;
  while (length < kHostNameCapacity && name[length] != '\0') {
    ++length;
  }
  if (length < kHostNameCapacity) {
    std::memcpy(hostName, name, length);
  }
}

int Severity(Run& run, const char* key) {
  // A profile path too long for its buffer is a key that cannot be found.
  if (!JoinEtcPath(run.profilePath, kPathCapacity, run.installDir, kProfileFile)) {
    return kNoSeverity;
  }
  return platform::ProfileInt(kSeveritySection, key, kNoSeverity, run.profilePath);
}

void Relay(Run& run, int argc, char** argv, MsgPost3Fn post) {
  const std::size_t blockSize = LayOutArguments(argc, argv, run.argumentBlock);
  TraceWrite(&run.infoChannel, 1, 1, kSourceFile, __LINE__, 2, static_cast<int>(blockSize),
             platform::ProcessId(), 0, run.argumentBlock);

  if (argc - 1 < kArgumentCount) {
    TraceText(&run.errorChannel, kSourceFile, __LINE__, kTooFewArguments);
    ReportFailureOnce(EVENT_ALERT_REJECTED, nullptr);
    return;
  }
  const char* severityKey = argv[1];
  const char* hostArgument = argv[2];
  const char* timeText = argv[3];
  const char* dateText = argv[4];
  const char* message = argv[5];

  if (GetInstallDir(run.installDir, kPathCapacity) != 0) {
    TraceText(&run.errorChannel, kSourceFile, __LINE__, kNoInstallDir);
    return;
  }
  TraceText(&run.infoChannel, kSourceFile, __LINE__, kInstallDirFound);

  int severity = Severity(run, severityKey);
  if (severity == kNoSeverity) {
    TraceText(&run.errorChannel, kSourceFile, __LINE__, kNoKey);
    severity = 0;
  } else {
    TraceText(&run.infoChannel, kSourceFile, __LINE__, kKeyFound);
  }
  const int severityWord = severity | kSeverityBits;

  TakeHostName(hostArgument, run.hostName);
  if (run.hostName[0] == '\0') {
    TraceText(&run.errorChannel, kSourceFile, __LINE__, kNoHostName);
    ReportFailureOnce(EVENT_ALERT_REJECTED, kHostNameMiss);
    return;
  }
  TraceText(&run.infoChannel, kSourceFile, __LINE__, kHostNameFound);
  LowerAscii(run.hostName);

  int32_t alertTime = 0;
  if (AlertTimeToSeconds(timeText, dateText, &alertTime) != 0) {
    TraceText(&run.errorChannel, kSourceFile, __LINE__, kNoSeconds);
    ReportFailureOnce(EVENT_ALERT_REJECTED, kTimeMiss);
    return;
  }
  TraceText(&run.infoChannel, kSourceFile, __LINE__, kSecondsFound);

  // An alert with a shortened text beats a lost one.
  EscapeMessage(message, run.alertText, sizeof run.alertText);

  // A long alert text makes the line longer than the buffer: the record
  // then carries its first 1023 characters.
  std::memset(run.traceText, 0, sizeof run.traceText);
  if (std::snprintf(run.traceText, sizeof run.traceText,
                    "msgpost3( NULL, %d, %s, NULL, %d, 0, 0, NULL, 0, %s ).", severityWord,
                    run.hostName, static_cast<int>(alertTime), run.alertText) < 0) {
    run.traceText[0] = '\0';
  }
  TraceText(&run.infoChannel, kSourceFile, __LINE__, run.traceText);

  const int result = platform::CallForeign(post, nullptr, severityWord, run.hostName, nullptr,
                                           alertTime, 0, 0, 0, 0, 0, 0, 0, run.alertText);
  if (result == kStored) {
    TraceText(&run.errorChannel, kSourceFile, __LINE__, kStoreFailed);
    ReportFailureOnce(EVENT_HANDOVER_FAILED, nullptr);
    return;
  }
  if (result == kStoredWhileStopping) {
    TraceText(&run.errorChannel, kSourceFile, __LINE__, kStoppingStored);
    ReportFailureOnce(EVENT_HANDOVER_FAILED, nullptr);
    return;
  }
  EvtLockRemove();
  TraceText(&run.infoChannel, kSourceFile, __LINE__, kNotified);
}

}  // namespace

void LowerAscii(char* text) {
  for (; *text != '\0'; ++text) {
    if (*text >= 'A' && *text <= 'Z') {
      *text = static_cast<char>(*text + 32);
    }
  }
}

bool EscapeMessage(const char* message, char* alertText, std::size_t capacity) {
  if (capacity == 0) {
    return *message == '\0';
  }
  std::memset(alertText, 0, capacity);
  std::size_t used = 0;
  for (; *message != '\0'; ++message) {
    const bool doubled = *message == '%' || *message == '\\';
    const std::size_t need = doubled ? 2 : 1;
    if (need > capacity - 1 - used) {
      return false;
    }
    alertText[used++] = *message;
    if (doubled) {
      alertText[used++] = *message;
    }
  }
  return true;
}

int RelayMain(int argc, char** argv, MsgPost3Fn post) {
  Run run{};
  TraceOpen(&run.errorChannel, 0, "Norvelle01");
  TraceOpen(&run.infoChannel, 0, "Norvelle02");
  Relay(run, argc, argv, post);
  TraceClose(&run.errorChannel, 1);
  TraceClose(&run.infoChannel, 1);
  return 0;
}
