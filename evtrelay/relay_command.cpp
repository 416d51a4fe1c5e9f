#include "evtrelay/relay_command.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/bounded_length.h"
#include "common/install_dir.h"
#include "common/trace_channel.h"
#include "evtrelay/alert_fields.h"
#include "evtrelay/event_fallback.h"
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
  int severityWord;
  int32_t alertTime;
  uint32_t failedEvent;       ///< the event a failure reports; 0 for none
  const char* failureReason;  ///< its insertion string, or null
};

void Trace(TraceChannel& channel, int line, const char* text) {
  TraceText(&channel, kTraceFromRelay, kSourceFile, line, text);
}

/// A failed step: traced on the error channel, with the event the fallback
/// then writes (0: none). Always false.
bool Fail(Run& run, int line, const char* text, uint32_t event, const char* reason = nullptr) {
  Trace(run.errorChannel, line, text);
  run.failedEvent = event;
  run.failureReason = reason;
  return false;
}

/// Every argument with its terminator, end to end, as the first record;
/// arguments that no longer fit whole are left out (only a POSIX command
/// line can be longer than the block).
void TraceArguments(Run& run, int argc, char** argv) {
  std::size_t used = 0;
  for (int i = 0; i < argc; ++i) {
    const std::size_t size = std::strlen(argv[i]) + 1;
    if (size > kArgumentBlockCapacity - used) break;
    std::memcpy(run.argumentBlock + used, argv[i], size);
    used += size;
  }
  TraceWrite(&run.infoChannel, kTraceFromRelay, 1, kSourceFile, __LINE__, 2, static_cast<int>(used),
             platform::ProcessId(), 0, run.argumentBlock);
}

bool FindInstallDir(Run& run) {
  if (GetInstallDir(run.installDir, kPathCapacity) != 0) {
    return Fail(run, __LINE__, kNoInstallDir, 0);
  }
  Trace(run.infoChannel, __LINE__, kInstallDirFound);
  return true;
}

/// The severity word: the key's value in the profile with 0x300 ORed in. A
/// key that cannot be found is traced and counts as 0: the alert still goes.
/// A profile path too long for its buffer is a key that cannot be found.
void LookUpSeverity(Run& run, const char* key) {
  int severity = kNoSeverity;
  if (JoinEtcPath(run.profilePath, kPathCapacity, run.installDir, kProfileFile)) {
    severity = platform::ProfileInt(kSeveritySection, key, kNoSeverity, run.profilePath);
  }
  if (severity == kNoSeverity) {
    Trace(run.errorChannel, __LINE__, kNoKey);
    severity = 0;
  } else {
    Trace(run.infoChannel, __LINE__, kKeyFound);
  }
  run.severityWord = severity | kSeverityBits;
}

/// The text behind the last backslash, lowered; a name longer than the
/// buffer is no host name.
bool TakeHostName(Run& run, const char* argument) {
  const char* backslash = std::strrchr(argument, '\\');
  const char* name = backslash != nullptr ? backslash + 1 : argument;
  const std::size_t length = BoundedLength(name, kHostNameCapacity - 1);
  if (length == 0 || length >= kHostNameCapacity) {
    return Fail(run, __LINE__, kNoHostName, EVENT_ALERT_REJECTED, kHostNameMiss);
  }
  std::memcpy(run.hostName, name, length);
  Trace(run.infoChannel, __LINE__, kHostNameFound);
  LowerAscii(run.hostName);
  return true;
}

bool ConvertTime(Run& run, const char* timeText, const char* dateText) {
  if (AlertTimeToSeconds(timeText, dateText, &run.alertTime) != 0) {
    return Fail(run, __LINE__, kNoSeconds, EVENT_ALERT_REJECTED, kTimeMiss);
  }
  Trace(run.infoChannel, __LINE__, kSecondsFound);
  return true;
}

/// Severity, host name, seconds and alert text from the arguments: false,
/// with the failure noted, when the alert cannot be prepared.
bool PrepareAlert(Run& run, int argc, char** argv) {
  if (argc - 1 < kArgumentCount) {
    return Fail(run, __LINE__, kTooFewArguments, EVENT_ALERT_REJECTED);
  }
  if (!FindInstallDir(run)) return false;
  LookUpSeverity(run, argv[1]);
  if (!TakeHostName(run, argv[2]) || !ConvertTime(run, argv[3], argv[4])) return false;
  // An alert with a shortened text beats a lost one.
  EscapeMessage(argv[5], run.alertText, sizeof run.alertText);
  return true;
}

/// The call as the information channel records it. A long alert text makes
/// the line longer than the buffer: the record then carries its first 1023
/// characters.
void TraceCall(Run& run) {
  if (std::snprintf(run.traceText, sizeof run.traceText,
                    "msgpost3( NULL, %d, %s, NULL, %d, 0, 0, NULL, 0, %s ).", run.severityWord,
                    run.hostName, static_cast<int>(run.alertTime), run.alertText) < 0) {
    run.traceText[0] = '\0';
  }
  Trace(run.infoChannel, __LINE__, run.traceText);
}

/// msgpost3 with the prepared alert: false, with the failure noted, when
/// the console does not accept it; an accepted alert ends the outage.
bool HandOver(Run& run, MsgPost3Fn post) {
  TraceCall(run);
  const int result = platform::CallForeign(post, nullptr, run.severityWord, run.hostName, nullptr,
                                           run.alertTime, 0, 0, 0, 0, 0, 0, 0, run.alertText);
  if (result == kStored) return Fail(run, __LINE__, kStoreFailed, EVENT_HANDOVER_FAILED);
  if (result == kStoredWhileStopping) {
    return Fail(run, __LINE__, kStoppingStored, EVENT_HANDOVER_FAILED);
  }
  EvtLockRemove();
  Trace(run.infoChannel, __LINE__, kNotified);
  return true;
}

/// The one place a failure reaches the event log.
void FallBack(const Run& run) {
  if (run.failedEvent != 0) ReportFailureOnce(run.failedEvent, run.failureReason);
}

void Relay(Run& run, int argc, char** argv, MsgPost3Fn post) {
  TraceArguments(run, argc, argv);
  if (!PrepareAlert(run, argc, argv) || !HandOver(run, post)) FallBack(run);
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
