#include <syslog.h>

#include <cstdio>

#include "platform/platform.h"

namespace platform {

namespace {

constexpr unsigned kMessageCapacity = 1024;
constexpr char kCutMark[] = "...";

int Priority(uint16_t type) {
  switch (type) {
    case kEventError:
      return LOG_ERR;
    case 2:  // EVENTLOG_WARNING_TYPE
      return LOG_WARNING;
    default:
      return LOG_INFO;
  }
}

}  // namespace

// The system log has no sources to register: the name becomes the ident,
// and must outlive the source, as openlog(3) keeps the pointer.
EventSource OpenEventSource(const char* name) {
  openlog(name, LOG_PID, LOG_USER);
  return const_cast<char*>(name);
}

bool WriteEvent(EventSource source, uint16_t type, uint32_t eventId, uint16_t stringCount,
                const char* const* strings) {
  if (source == nullptr) {
    return false;
  }
  // The event log shows the low 16 bits of the identifier as the event number.
  char message[kMessageCapacity];
  int used = std::snprintf(message, sizeof message, "event %u (0x%08X)", eventId & 0xFFFFu,
                           static_cast<unsigned>(eventId));
  for (uint16_t i = 0; i < stringCount && used >= 0 && used < static_cast<int>(sizeof message);
       ++i) {
    used += std::snprintf(message + used, sizeof message - static_cast<unsigned>(used), " \"%s\"",
                          strings[i]);
  }
  if (used < 0) {
    return false;
  }
  if (used >= static_cast<int>(sizeof message)) {
    // A cut entry says so rather than passing for a whole one.
    std::snprintf(message + sizeof message - sizeof kCutMark, sizeof kCutMark, "%s", kCutMark);
  }
  syslog(Priority(type), "%s", message);
  return true;
}

void CloseEventSource(EventSource) { closelog(); }

}  // namespace platform
