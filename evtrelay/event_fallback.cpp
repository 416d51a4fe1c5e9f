#include "evtrelay/event_fallback.h"

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

/// 1 or 0 by `test` on the lock path. Where the path cannot be formed the
/// answer is fixed: no installation directory gives 0 (no entry, no lock),
/// a path too long to form gives 1 (a lock that can never exist lets every
/// failure through).
template <typename Test>
int OnLockPath(Test test) {
  char path[kPathCapacity] = {};
  switch (FormLockPath(path)) {
    case LockPath::kNoInstallDir:
      return 0;
    case LockPath::kTooLong:
      return 1;
    case LockPath::kFormed:
      break;
  }
  return test(path) ? 1 : 0;
}

}  // namespace

int EvtLockAbsent() { return OnLockPath(platform::FileMissing); }

int EvtLockCreate() {
  // Only its presence counts: created empty and closed at once.
  return OnLockPath([](const char* path) {
    return platform::CreateExclusive(path) != platform::CreateResult::kExists;
  });
}

void EvtLockRemove() {
  char path[kPathCapacity] = {};
  if (FormLockPath(path) == LockPath::kFormed) {
    platform::UnlinkFile(path);
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

// The existence test comes first, so a relay that finds the lock present
// never creates anything; of relays that all found it absent, the create
// lets exactly one through.
void ReportFailureOnce(uint32_t eventId, const char* insertionString) {
  if (EvtLockAbsent() != 1 || EvtLockCreate() != 1) {
    return;
  }
  const char* const strings[] = {insertionString, nullptr};
  ReportEvtLog(platform::kEventError, eventId, strings);
}
