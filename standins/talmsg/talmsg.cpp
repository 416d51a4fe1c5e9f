// Stand-in for the console-message library, for tests and the demo only.
// Each call of msgpost3 appends one line to the file named by TALMSG_LOG:
//   msgpost3 TAB word1 TAB ... TAB word13 LF
// pointer words as "NULL" or "PTR", words 3 and 13 as their text ("NULL"
// when null), integers in decimal; in texts every byte below 0x20 or above
// 0x7E, and "\", is written \xNN. It returns the integer in TALMSG_RESULT
// (default 0), after waiting TALMSG_DELAY_MS milliseconds when that is set.

#include "evtrelay/talmsg.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <time.h>
#include <unistd.h>
#endif

namespace {

std::string Pointer(const void* word) { return word == nullptr ? "NULL" : "PTR"; }

std::string Text(const char* word) {
  if (word == nullptr) return "NULL";
  std::string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(word); *p != 0; ++p) {
    if (*p < 0x20 || *p > 0x7E || *p == '\\') {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", *p);
      out += escaped;
    } else {
      out += static_cast<char>(*p);
    }
  }
  return out;
}

int EnvInt(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

// One write with append semantics, so lines of concurrent relays never mix.
void AppendLine(const std::string& line) {
  const char* path = std::getenv("TALMSG_LOG");
  if (path == nullptr || *path == '\0') return;
#ifdef _WIN32
  HANDLE file =
      CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
#else
  const int file = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (file < 0) return;
  [[maybe_unused]] const ssize_t written = write(file, line.data(), line.size());
  close(file);
#endif
}

void Delay(int milliseconds) {
  if (milliseconds <= 0) return;
#ifdef _WIN32
  Sleep(static_cast<DWORD>(milliseconds));
#else
  timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  nanosleep(&pause, nullptr);
#endif
}

}  // namespace

extern "C" int KIT_CONSOLE_CALL msgpost3(void* word1, int severityWord, const char* hostName,
                                         void* word4, int alertTime, int word6, int word7,
                                         int word8, int word9, int word10, int word11, int word12,
                                         const char* alertText) {
  std::string line = "msgpost3";
  for (const std::string& word :
       {Pointer(word1), std::to_string(severityWord), Text(hostName), Pointer(word4),
        std::to_string(alertTime), std::to_string(word6), std::to_string(word7),
        std::to_string(word8), std::to_string(word9), std::to_string(word10),
        std::to_string(word11), std::to_string(word12), Text(alertText)}) {
    line += '\t';
    line += word;
  }
  line += '\n';
  AppendLine(line);
  Delay(EnvInt("TALMSG_DELAY_MS", 0));
  return EnvInt("TALMSG_RESULT", 0);
}
