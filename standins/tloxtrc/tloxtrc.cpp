// Recording stand-in for the trace library. Every event becomes one line
// of the file named by TLOXTRC_LOG (see tests/harness/harness.h for the
// format); without that variable it records nothing. Built three times:
// TLOXTRC_NO_REL_MEMORY_DUMP drops one entry point, TLOXTRC_OPEN_LEAVES_ZERO
// makes the open leave the handle's first word 0; on 32-bit Windows each
// also as __stdcall (TLOXTRC_CALL), exported under the same plain names.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "standins/record_file.h"

#ifdef _WIN32
#include <windows.h>
#define TLOXTRC_EXPORT extern "C" __declspec(dllexport)
#else
#include <fcntl.h>
#include <unistd.h>
#define TLOXTRC_EXPORT extern "C" __attribute__((visibility("default")))
#endif
// The __stdcall variant (32-bit Windows) defines it; __cdecl otherwise.
#ifndef TLOXTRC_CALL
#define TLOXTRC_CALL
#endif

namespace {

#ifdef TLOXTRC_OPEN_LEAVES_ZERO
constexpr uint32_t kOpenMark = 0;
#else
constexpr uint32_t kOpenMark = 0x54524F58;
#endif
constexpr size_t kNameOffset = 4;
constexpr size_t kHandleAreaSize = 96;

int CurrentProcessId() {
#ifdef _WIN32
  return static_cast<int>(GetCurrentProcessId());
#else
  return static_cast<int>(getpid());
#endif
}

void AppendText(std::string& line, const char* text) {
  line += '\t';
  if (text != nullptr) AppendEscaped(line, text, strlen(text));
}

// Not std::to_string: its digit table is a unique symbol, and the dynamic
// loader never unloads a library that has one, which would hide unloads.
void AppendNumber(std::string& line, long long value) {
  char digits[24];
  snprintf(digits, sizeof digits, "\t%lld", value);
  line += digits;
}

void Record(std::string line) {
  line += '\n';
  AppendRecord("TLOXTRC_LOG", line);
}

// The name the open stored in the handle area, terminated within it.
std::string StoredName(const void* handleArea) {
  if (handleArea == nullptr) return {};
  const char* name = static_cast<const char*>(handleArea) + kNameOffset;
  return std::string(name, strnlen(name, kHandleAreaSize - kNameOffset));
}

void RecordProcessEvent(const char* kind) {
  std::string line = kind;
  AppendNumber(line, CurrentProcessId());
  Record(line);
}

int Uncalled(const char* entryPoint) {
  std::string line = "uncalled";
  AppendText(line, entryPoint);
  Record(line);
  return 0;
}

}  // namespace

TLOXTRC_EXPORT int TLOXTRC_CALL TloxOpenTracer(void* handleArea, int openValue, const char* name) {
  std::string line = "open";
  AppendText(line, name);
  AppendNumber(line, openValue);
  Record(line);
  if (handleArea == nullptr) return 0;
  auto* area = static_cast<unsigned char*>(handleArea);
  memset(area, 0, kHandleAreaSize);
  if (name != nullptr) {
    memcpy(area + kNameOffset, name, strnlen(name, kHandleAreaSize - kNameOffset - 1));
  }
  memcpy(area, &kOpenMark, sizeof kOpenMark);
  return 11;
}

TLOXTRC_EXPORT int TLOXTRC_CALL TloxTrace(void* handleArea, int value1, int value2,
                                          const char* value3, int value4, int value5, int value6,
                                          int value7, int value8, const void* value9) {
  std::string line = "trace";
  AppendText(line, StoredName(handleArea).c_str());
  AppendNumber(line, value1);
  AppendNumber(line, value2);
  AppendText(line, value3);
  AppendNumber(line, value4);
  AppendNumber(line, value5);
  AppendNumber(line, value6);
  AppendNumber(line, value7);
  AppendNumber(line, value8);
  line += '\t';
  if (value9 != nullptr && value6 > 0) {
    AppendEscaped(line, static_cast<const char*>(value9), static_cast<size_t>(value6));
  }
  Record(line);
  return 12;
}

TLOXTRC_EXPORT int TLOXTRC_CALL TloxCloseTracer(void* handleArea, int closeValue) {
  std::string line = "close";
  AppendText(line, StoredName(handleArea).c_str());
  AppendNumber(line, closeValue);
  Record(line);
  if (handleArea != nullptr) memset(handleArea, 0, kHandleAreaSize);
  return 13;
}

TLOXTRC_EXPORT int TLOXTRC_CALL TloxTraceCheck(void*) { return Uncalled("TloxTraceCheck"); }
TLOXTRC_EXPORT int TLOXTRC_CALL TloxSnap(void*) { return Uncalled("TloxSnap"); }
TLOXTRC_EXPORT int TLOXTRC_CALL TloxDump(void*) { return Uncalled("TloxDump"); }
TLOXTRC_EXPORT int TLOXTRC_CALL TloxSetMemoryDump(void*) { return Uncalled("TloxSetMemoryDump"); }
#ifndef TLOXTRC_NO_REL_MEMORY_DUMP
TLOXTRC_EXPORT int TLOXTRC_CALL TloxRelMemoryDump(void*) { return Uncalled("TloxRelMemoryDump"); }
#endif

#ifdef _WIN32
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) RecordProcessEvent("load");
  if (reason == DLL_PROCESS_DETACH) RecordProcessEvent("unload");
  return TRUE;
}
#else
__attribute__((constructor)) static void OnLoad() { RecordProcessEvent("load"); }
__attribute__((destructor)) static void OnUnload() { RecordProcessEvent("unload"); }
#endif
