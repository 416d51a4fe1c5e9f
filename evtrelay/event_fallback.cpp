#include "evtrelay/event_fallback.h"

#include <cstdio>

#include "common/install_dir.h"
#include "platform/platform.h"

namespace {

enum class LockPath { kFormed, kNoInstallDir, kTooLong };

LockPath FormLockPath(char* path) {
  char installDir[kPathCapacity] = {};
  if (GetInstallDir(installDir, kPathCapacity) != 0) {
    return LockPath::kNoInstallDir;
  }
  return JoinEtcPath(path, kPathCapacity, installDir, kLockFileName) ? LockPath::kFormed
                                                                     : LockPath::kTooLong;
}

}  // namespace

int EvtLockAbsent() {
  char path[kPathCapacity] = {};
  switch (FormLockPath(path)) {
    case LockPath::kNoInstallDir:
      return 0;
    case LockPath::kTooLong:
      return 1;
    case LockPath::kFormed:
      break;
  }
  return platform::FileMissing(path) ? 1 : 0;
}

void EvtLockCreate() {
  char path[kPathCapacity] = {};
  if (FormLockPath(path) == LockPath::kFormed) {
    // Only its presence counts: created (or emptied) and closed at once;
    // a failure leaves the state absent.
    if (FILE* file = std::fopen(path, "w")) std::fclose(file);
  }
}

void EvtLockRemove() {
  char path[kPathCapacity] = {};
  if (FormLockPath(path) == LockPath::kFormed) {
    std::remove(path);
  }
}

int ReportEvtLog(uint16_t type, uint32_t eventId, const char* const* strings) {
  uint16_t count = 0;
  while (strings != nullptr && count < kMaxInsertionStrings && strings[count] != nullptr) {
    ++count;
  }
  platform::EventSource source = platform::OpenEventSource(kEventSourceName);
  if (source == nullptr) {
    return 0;
  }
  const bool written = platform::WriteEvent(source, type, eventId, count, strings);
  platform::CloseEventSource(source);
  return written ? 1 : 0;
}

void ReportFailureOnce(uint32_t eventId, const char* insertionString) {
  if (EvtLockAbsent() != 1) {
    return;
  }
  const char* const strings[] = {insertionString, nullptr};
  ReportEvtLog(platform::kEventError, eventId, strings);
  EvtLockCreate();
}
