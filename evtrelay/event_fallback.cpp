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

/// Only a regular file at the name is the lock. Anything else there (a
/// directory, a link, a FIFO) was planted by whoever may write etc, as the
/// relay only ever makes a regular file: it must not hold entries back.
bool NoLockThere(const char* path) {
  const platform::NameHolds holds = platform::WhatNameHolds(path);
  return holds == platform::NameHolds::kNothing || holds == platform::NameHolds::kOther;
}

}  // namespace

int EvtLockAbsent() { return OnLockPath(NoLockThere); }

int EvtLockCreate() {
  // Only its presence counts: created empty and closed at once. A create
  // refused for a name that holds no regular file is one that cannot be
  // made; a regular file there is another relay's lock.
  return OnLockPath([](const char* path) {
    return platform::CreateExclusive(path) != platform::CreateResult::kExists ||
           platform::WhatNameHolds(path) != platform::NameHolds::kRegularFile;
  });
}

void EvtLockRemove() {
  char path[kPathCapacity] = {};
  if (FormLockPath(path) == LockPath::kFormed &&
      platform::WhatNameHolds(path) == platform::NameHolds::kRegularFile) {
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
