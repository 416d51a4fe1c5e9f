// Drives up to four trace channels through the steps named on its command
// line and prints each result, so a behaviour test sees both what the
// program got back and what reached the trace library.
//
//   open CH NAME VALUE        TraceOpen on channel CH (0..3)
//   write CH V1 V2 FILE V4 V5 V6 V7 V8 DATA
//                             TraceWrite; FILE and DATA take \xNN escapes,
//                             "NULL" for a null pointer; V6 "len" is DATA's
//                             length, V7 "pid" the process id
//   close CH VALUE            TraceClose
//   zero CH                   whether CH's record is all zero
//   null                      the three operations on a null channel
//   mark LOG TEXT             appends "mark<TAB>TEXT" to the record file LOG

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/trace_channel.h"

namespace {

TraceChannel channels[4];

[[noreturn]] void Usage(const char* why) {
  std::fprintf(stderr, "trace_probe: %s\n", why);
  std::exit(2);
}

int Number(const char* text) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 0);
  if (*text == '\0' || *end != '\0') Usage("bad number");
  return static_cast<int>(value);
}

TraceChannel* Channel(const char* text) {
  const int index = Number(text);
  if (index < 0 || index > 3) Usage("bad channel");
  return &channels[index];
}

std::string Decode(const char* text) {
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    if (p[0] == '\\' && p[1] == 'x' && p[2] != '\0' && p[3] != '\0') {
      const char hex[3] = {p[2], p[3], '\0'};
      out += static_cast<char>(std::strtol(hex, nullptr, 16));
      p += 3;
    } else {
      out += *p;
    }
  }
  return out;
}

bool AllZero(const TraceChannel* channel) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(channel);
  for (size_t i = 0; i < sizeof *channel; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int i = 1;
  auto next = [&]() -> const char* {
    if (i >= argc) Usage("missing argument");
    return argv[i++];
  };
  while (i < argc) {
    const std::string step = next();
    if (step == "open") {
      TraceChannel* channel = Channel(next());
      const char* name = next();
      const int value = Number(next());
      std::printf("open %d\n", TraceOpen(channel, value, name));
    } else if (step == "write") {
      TraceChannel* channel = Channel(next());
      int v[9] = {};
      v[0] = Number(next());
      v[1] = Number(next());
      const std::string fileArg = next();
      const std::string file = Decode(fileArg.c_str());
      v[3] = Number(next());
      v[4] = Number(next());
      const std::string lengthArg = next();
      const std::string pidArg = next();
      v[7] = Number(next());
      const std::string dataArg = next();
      const std::string data = Decode(dataArg.c_str());
      v[5] = lengthArg == "len" ? static_cast<int>(data.size()) : Number(lengthArg.c_str());
      v[6] = pidArg == "pid" ? platform::ProcessId() : Number(pidArg.c_str());
      std::printf("write %d\n",
                  TraceWrite(channel, v[0], v[1], fileArg == "NULL" ? nullptr : file.c_str(), v[3],
                             v[4], v[5], v[6], v[7], dataArg == "NULL" ? nullptr : data.data()));
    } else if (step == "close") {
      TraceChannel* channel = Channel(next());
      std::printf("close %d\n", TraceClose(channel, Number(next())));
    } else if (step == "zero") {
      std::printf("zero %s\n", AllZero(Channel(next())) ? "yes" : "no");
    } else if (step == "null") {
      std::printf("null %d %d %d\n", TraceOpen(nullptr, 0, "Null"),
                  TraceWrite(nullptr, 1, 1, "f", 1, 2, 0, 0, 0, nullptr), TraceClose(nullptr, 0));
    } else if (step == "mark") {
      const char* log = next();
      const char* text = next();
      std::FILE* file = std::fopen(log, "ab");
      if (file == nullptr) Usage("cannot open record file");
      std::fprintf(file, "mark\t%s\n", text);
      std::fclose(file);
    } else {
      Usage("unknown step");
    }
    std::fflush(stdout);
  }
  return 0;
}
