// A look-alike of the trace library for the behaviour suite: it exports the
// eight entry points, marks every channel open, and on each record appends
// one line to the file named by CMDLINE_PROBE_LOG: the record's text, then
// the process's command line as the system shows it (POSIX:
// /proc/self/cmdline; Windows: GetCommandLineA, then GetCommandLineW as
// UTF-8), fields separated by a tab and zero bytes shown as spaces. The
// suite compares the START record, written before the scan, with the END
// record, written after it.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#define PROBE_EXPORT extern "C" __declspec(dllexport)
#define PROBE_CALL __cdecl
#else
#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))
#define PROBE_CALL
#endif

namespace {

std::string CommandLine() {
  std::string line;
#ifdef _WIN32
  line = GetCommandLineA();
  line += '\t';
  const wchar_t* wide = GetCommandLineW();
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size > 1) {
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), size, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(size - 1));
    line += utf8;
  }
#else
  if (FILE* f = std::fopen("/proc/self/cmdline", "rb")) {
    int c;
    while ((c = std::fgetc(f)) != EOF) line += c == 0 ? ' ' : static_cast<char>(c);
    std::fclose(f);
  }
#endif
  return line;
}

}  // namespace

PROBE_EXPORT int PROBE_CALL TloxOpenTracer(void* handleArea, int, const char*) {
  const unsigned open = 1;
  std::memcpy(handleArea, &open, sizeof open);
  return 1;
}

PROBE_EXPORT int PROBE_CALL TloxTrace(void*, int, int, const char*, int, int, int, int, int,
                                      const void* data) {
  const char* path = std::getenv("CMDLINE_PROBE_LOG");
  if (path == nullptr) return 0;
  if (FILE* f = std::fopen(path, "ab")) {
    const std::string line = std::string(static_cast<const char*>(data)) + '\t' + CommandLine();
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
  return 1;
}

PROBE_EXPORT int PROBE_CALL TloxCloseTracer(void*, int) { return 1; }
PROBE_EXPORT int PROBE_CALL TloxTraceCheck(void*) { return 0; }
PROBE_EXPORT int PROBE_CALL TloxSnap(void*) { return 0; }
PROBE_EXPORT int PROBE_CALL TloxDump(void*) { return 0; }
PROBE_EXPORT int PROBE_CALL TloxSetMemoryDump(void*) { return 0; }
PROBE_EXPORT int PROBE_CALL TloxRelMemoryDump(void*) { return 0; }
