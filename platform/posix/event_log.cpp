#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "platform/platform.h"

namespace platform {

namespace {

/// Where the system log takes its entries, as syslog(3) finds it.
constexpr char kLogSocket[] = "/dev/log";

/// How long one entry may take to reach the system log. syslog(3), which
/// has no such limit, waits for as long as a log that reads nothing keeps
/// its queue full; the event manager starts a relay per alert, and such
/// relays would pile up.
constexpr int kSendTimeoutMs = 1000;

constexpr unsigned kMessageCapacity = 1024;
/// "<PRI>Mmm dd hh:mm:ss " and "ident[pid]: ", the ident cut at 64.
constexpr unsigned kHeaderCapacity = 112;
constexpr unsigned kEntryCapacity = kHeaderCapacity + kMessageCapacity;
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

/// The event number (the low 16 bits, as the event log shows it), the
/// identifier and each insertion string in quotes. False when it cannot
/// be formed; a cut message says so rather than passing for a whole one.
bool FormMessage(char (&message)[kMessageCapacity], uint32_t eventId, uint16_t stringCount,
                 const char* const* strings) {
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
    std::snprintf(message + sizeof message - sizeof kCutMark, sizeof kCutMark, "%s", kCutMark);
  }
  return true;
}

/// The header syslog(3) puts in front of a message (RFC 3164): the
/// priority with the user facility, the local time, the ident and the
/// process id. Its length, or -1.
int FormHeader(char (&header)[kHeaderCapacity], const char* ident, int priority) {
  const time_t now = time(nullptr);
  struct tm local {};
  char stamp[16];
  if (localtime_r(&now, &local) == nullptr ||
      strftime(stamp, sizeof stamp, "%h %e %T", &local) == 0) {
    return -1;
  }
  const int used = std::snprintf(header, sizeof header, "<%d>%s %.64s[%d]: ", LOG_USER | priority,
                                 stamp, ident, static_cast<int>(getpid()));
  return used > 0 && used < static_cast<int>(sizeof header) ? used : -1;
}

/// A non-blocking socket connected to the system log, datagrams as a rule,
/// a stream where the log takes only that (as syslog(3) falls back); its
/// type in `type`. -1 when there is no log to connect to.
int ConnectToLog(int* type) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, kLogSocket, sizeof kLogSocket);
  for (const int candidate : {SOCK_DGRAM, SOCK_STREAM}) {
    const int fd = socket(AF_UNIX, candidate | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      *type = candidate;
      return fd;
    }
    const int error = errno;
    close(fd);
    if (error != EPROTOTYPE) return -1;
  }
  return -1;
}

long long NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

/// Sends all of `data`, waiting while the log's queue is full, but never
/// past `deadline`. False when it was not all sent by then.
bool SendBy(int fd, const char* data, std::size_t length, long long deadline) {
  while (length > 0) {
    const ssize_t sent = send(fd, data, length, MSG_NOSIGNAL);
    if (sent >= 0) {
      data += sent;
      length -= static_cast<std::size_t>(sent);
      continue;
    }
    const int error = errno;
    const long long left = deadline - NowMs();
    if ((error != EAGAIN && error != EINTR) || left <= 0) return false;
    pollfd writable{fd, POLLOUT, 0};
    poll(&writable, 1, static_cast<int>(left));
  }
  return true;
}

/// The whole entry as syslog(3) sends it; its length, or -1.
int FormEntry(char (&entry)[kEntryCapacity], const char* ident, uint16_t type, uint32_t eventId,
              uint16_t stringCount, const char* const* strings) {
  char message[kMessageCapacity];
  char header[kHeaderCapacity];
  if (!FormMessage(message, eventId, stringCount, strings) ||
      FormHeader(header, ident, Priority(type)) < 0) {
    return -1;
  }
  return std::snprintf(entry, sizeof entry, "%s%s", header, message);
}

/// One entry to the system log, within kSendTimeoutMs.
bool SendEntry(const char* entry, std::size_t length) {
  int type = 0;
  const int fd = ConnectToLog(&type);
  if (fd < 0) return false;
  // A stream carries the terminating zero as the end of each entry.
  const std::size_t size = length + (type == SOCK_STREAM ? 1 : 0);
  const bool sent = SendBy(fd, entry, size, NowMs() + kSendTimeoutMs);
  close(fd);
  return sent;
}

}  // namespace

// The system log has no sources to register: the name becomes the ident
// of each entry, and must outlive the source.
EventSource OpenEventSource(const char* name) { return const_cast<char*>(name); }

bool WriteEvent(EventSource source, uint16_t type, uint32_t eventId, uint16_t stringCount,
                const char* const* strings) {
  if (source == nullptr) return false;
  char entry[kEntryCapacity];
  const int length =
      FormEntry(entry, static_cast<const char*>(source), type, eventId, stringCount, strings);
  return length > 0 && SendEntry(entry, static_cast<std::size_t>(length));
}

void CloseEventSource(EventSource) {}

}  // namespace platform
