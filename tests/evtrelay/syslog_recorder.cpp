// Preloaded into the POSIX relay by its behaviour suite: takes the place of
// the C library's system-log calls and appends each message, as one line
// "ident TAB priority TAB message", to the file named by SYSLOG_RECORD.
// Nothing reaches the real system log.

#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <syslog.h>
#include <unistd.h>

#include <string>

namespace {

const char* currentIdent = nullptr;

const char* PriorityName(int priority) {
  static const char* const names[] = {"emerg",   "alert",  "crit", "err",
                                      "warning", "notice", "info", "debug"};
  return names[LOG_PRI(priority)];
}

void Record(int priority, const char* format, va_list args) {
  const char* path = getenv("SYSLOG_RECORD");
  if (path == nullptr || *path == '\0') return;
  char message[4096];
  vsnprintf(message, sizeof message, format, args);
  std::string line = currentIdent != nullptr ? currentIdent : "";
  line += '\t';
  line += PriorityName(priority);
  line += '\t';
  line += message;
  line += '\n';
  const int file = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (file < 0) return;
  [[maybe_unused]] const ssize_t written = write(file, line.data(), line.size());
  close(file);
}

}  // namespace

extern "C" {

void openlog(const char* ident, int, int) { currentIdent = ident; }

void closelog() { currentIdent = nullptr; }

void vsyslog(int priority, const char* format, va_list args) { Record(priority, format, args); }

void syslog(int priority, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Record(priority, format, args);
  va_end(args);
}

// The fortified forms the C library's headers may turn the calls into.
void __vsyslog_chk(int priority, int, const char* format, va_list args) {
  Record(priority, format, args);
}

void __syslog_chk(int priority, int, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Record(priority, format, args);
  va_end(args);
}

}  // extern "C"
