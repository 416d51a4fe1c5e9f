// Preloaded into the POSIX relay by its behaviour suite, the demo and the
// storm benchmark: answers the relay's connection to the system log's
// socket /dev/log itself and appends each entry sent on it, as one line
// "ident TAB priority TAB message", to the file named by SYSLOG_RECORD.
// Nothing reaches the real system log. An entry whose header is not the
// one syslog(3) writes is recorded with the ident "malformed" and the
// whole entry as its message.

#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <string>

namespace {

/// The socket the relay connected to the system log, or -1.
int logSocket = -1;

template <typename Fn>
Fn Next(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

bool IsSystemLog(const sockaddr* address, socklen_t length) {
  const auto* local = reinterpret_cast<const sockaddr_un*>(address);
  return address != nullptr && length > sizeof(sa_family_t) && local->sun_family == AF_UNIX &&
         strcmp(local->sun_path, "/dev/log") == 0;
}

const char* PriorityName(int priority) {
  static const char* const names[] = {"emerg",   "alert",  "crit", "err",
                                      "warning", "notice", "info", "debug"};
  return names[LOG_PRI(priority)];
}

/// "<PRI>Mmm dd hh:mm:ss ident[pid]: message" as the recorded line, with
/// the user facility and this process's id, or the "malformed" line.
std::string Line(const std::string& entry) {
  int priority = -1;
  int stamp = 0;
  char month[4] = {};
  int day = 0, hour = 0, minute = 0, second = 0;
  const std::string pid = "[" + std::to_string(getpid()) + "]: ";
  const std::size_t identEnd = entry.find(pid);
  if (std::sscanf(entry.c_str(), "<%d>%3s %2d %2d:%2d:%2d %n", &priority, month, &day, &hour,
                  &minute, &second, &stamp) != 6 ||
      stamp == 0 || LOG_FAC(priority) << 3 != LOG_USER || identEnd == std::string::npos ||
      identEnd < static_cast<std::size_t>(stamp)) {
    return "malformed\t\t" + entry + "\n";
  }
  return entry.substr(stamp, identEnd - stamp) + "\t" + PriorityName(priority) + "\t" +
         entry.substr(identEnd + pid.size()) + "\n";
}

void Record(const void* data, size_t size) {
  const char* path = getenv("SYSLOG_RECORD");
  if (path == nullptr || *path == '\0') return;
  const std::string line = Line(std::string(static_cast<const char*>(data), size));
  const int file = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (file < 0) return;
  [[maybe_unused]] const ssize_t written = write(file, line.data(), line.size());
  Next<int (*)(int)>("close")(file);
}

}  // namespace

extern "C" {

int connect(int fd, const sockaddr* address, socklen_t length) {
  if (!IsSystemLog(address, length)) {
    return Next<int (*)(int, const sockaddr*, socklen_t)>("connect")(fd, address, length);
  }
  logSocket = fd;
  return 0;
}

ssize_t send(int fd, const void* data, size_t size, int flags) {
  if (fd != logSocket)
    return Next<ssize_t (*)(int, const void*, size_t, int)>("send")(fd, data, size, flags);
  Record(data, size);
  return static_cast<ssize_t>(size);
}

int close(int fd) {
  if (fd == logSocket) logSocket = -1;
  return Next<int (*)(int)>("close")(fd);
}

}  // extern "C"
