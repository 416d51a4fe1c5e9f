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
#include <cstring>
#include <string>

#include "standins/record_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace {

std::string Pointer(const void* word) { return word == nullptr ? "NULL" : "PTR"; }

std::string Text(const char* word) {
  if (word == nullptr) return "NULL";
  std::string out;
  AppendEscaped(out, word, std::strlen(word));
  return out;
}

int EnvInt(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
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

extern "C" int TALMSG_CALL msgpost3(void* word1, int severityWord, const char* hostName,
                                    void* word4, int alertTime, int word6, int word7, int word8,
                                    int word9, int word10, int word11, int word12,
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
  AppendRecord("TALMSG_LOG", line);
  Delay(EnvInt("TALMSG_DELAY_MS", 0));
  return EnvInt("TALMSG_RESULT", 0);
}
