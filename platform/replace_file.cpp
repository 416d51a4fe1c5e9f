// The replacement sequence both backends share; each supplies only the
// primitives of replace_file_backend.h.
//
// What the name holds once OpenTarget has found it (links followed only
// where the caller or an administrator owns them) and, for a regular file,
// locked it, decides the route:
//
//   at the name               route      a failure leaves         a kill leaves
//   nothing                   new file   no file                  no file, or the new one;
//                                                                 maybe a temporary file
//   a regular file, one       rename     the old file whole       the old file or the new one;
//     name, whose owner,                 (the rename commits)     maybe a temporary file
//     mode and attributes a
//     new file can carry
//   any other regular file,   in place   the old content, put     the old content, or the new
//     or a rename refused                back from a copy kept    one and line ends where the
//                                        in fixed storage; only   old was longer
//                                        where that fails, or it
//                                        is over kKeptCapacity,
//                                        ReplaceResult says so
//   a FIFO or a device        stream     what the write reached   what the write reached
//
// Exit codes follow the stage: kOpen, nothing changed; kWrite, as above.
// Nothing after a commit (the rename, or the in-place route's last flush)
// turns success into failure: a close that fails then is only noted.
// Readers that take no lock see the old file or the new one on the rename
// and new-file routes; on the in-place route they can read the file while
// it is being written.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/replace_file_backend.h"

namespace platform {

int backend::CopyPath(char* buffer, std::size_t capacity, const char* text) {
  const int n = std::snprintf(buffer, capacity, "%s", text);
  return n >= 0 && static_cast<std::size_t>(n) < capacity ? 0 : ENAMETOOLONG;
}

namespace {

using backend::FileHandle;
using backend::Target;
using backend::TempFile;

/// Each reopen follows another writer's replacement of the name; a name
/// replaced this often is being fought over, not written.
constexpr int kMaxReopens = 1000;

/// How long a run waits for another process's lock: 600 tries 50 ms
/// apart, 30 seconds. A reader may hold the lock; it must not keep the
/// run waiting for good.
constexpr int kLockTries = 600;
constexpr unsigned kLockPauseMs = 50;

/// The in-place route's first write: the new content and line ends over
/// the rest of the old, in the first page of the file, which a write fills
/// whole or not at all, even when the process is killed.
constexpr std::size_t kCoverCapacity = 4096;

/// The old content kept for a restore; a credential file is one line.
constexpr std::size_t kKeptCapacity = 4096;
char keptContent[kKeptCapacity];

enum class Route { kNewFile, kRename, kInPlace, kStream };

/// What one attempt came to; `refused` asks for another attempt in place.
struct Outcome {
  int error = 0;
  ReplaceStage stage = ReplaceStage::kWrite;
  bool oldContentLost = false;
  bool refused = false;
};

/// Waits for the lock, at most kLockTries times.
int LockWithin(FileHandle file) {
  for (int tries = 0; tries < kLockTries; ++tries) {
    const int error = backend::TryLockExclusive(file);
    if (error != EWOULDBLOCK) return error;
    backend::Pause(kLockPauseMs);
  }
  return EBUSY;
}

void CloseTarget(Target* target) {
  if (target->Exists()) backend::CloseFile(target->file);
  target->file = backend::kNoFile;
  backend::ReleaseTarget(target);
}

/// Opens what the path leads to and, when it is a regular file, locks it,
/// so that one writer at a time decides how to write it, and reads its
/// length then, when no other writer can change it. A writer that replaced
/// the name while this one waited leaves it holding a file the name no
/// longer has: it then starts over on the new one. FIFOs and devices are
/// written unlocked, as an open for writing would.
int OpenLocked(const char* path, Target* target) {
  for (int reopen = 0; reopen < kMaxReopens; ++reopen) {
    if (const int error = backend::OpenTarget(path, target)) return error;
    if (!target->Exists() || !target->regular) return 0;
    if (const int error = LockWithin(target->file)) return error;
    if (backend::StillNames(*target)) return backend::FileLength(target->file, &target->length);
    CloseTarget(target);
    *target = Target{};
  }
  return EBUSY;
}

Route Choose(const Target& target, bool inPlaceOnly) {
  if (!target.Exists()) return Route::kNewFile;
  if (!target.regular) return Route::kStream;
  if (inPlaceOnly || target.created || target.linkCount != 1) return Route::kInPlace;
  return Route::kRename;
}

/// The new content into the temporary file, flushed and closed.
int FillTemp(const TempFile& temp, const char* bytes, std::size_t length) {
  int error = backend::WriteAll(temp.file, bytes, length);
  if (error == 0) error = backend::FlushToDisk(temp.file);
  const int closed = backend::CloseFile(temp.file);
  return error != 0 ? error : closed;
}

/// A system that refuses to put a file in place of this name: a mount on
/// it (containers mount secrets so), another file system, a reader that
/// holds it on Windows.
bool MoveRefused(int error) { return error == EBUSY || error == EXDEV; }

/// The written temporary file moved over the name: the commit.
Outcome MoveOver(Target* target, const TempFile& temp, const char* bytes, std::size_t length) {
  const bool existed = target->Exists();
  int error = FillTemp(temp, bytes, length);
  if (error == 0) error = backend::MoveIntoPlace(temp, target);
  if (error == 0) {
    backend::SyncPlace(*target);
    return {};
  }
  backend::DiscardTemp(*target, temp);
  return {.error = error, .refused = existed && MoveRefused(error)};
}

/// A new file where no temporary name fits beside it: written where it
/// goes, and removed again when that fails, so the name stays empty.
Outcome CreateWhereItGoes(Target* target, const char* bytes, std::size_t length) {
  if (const int error = backend::CreateInPlace(target)) {
    return {.error = error, .stage = ReplaceStage::kOpen};
  }
  int error = backend::WriteAll(target->file, bytes, length);
  if (error == 0) error = backend::FlushToDisk(target->file);
  if (error != 0) {
    backend::CloseFile(target->file);
    target->file = backend::kNoFile;
    backend::RemoveCreated(*target);
  }
  return {.error = error};
}

Outcome NewFile(Target* target, const char* bytes, std::size_t length) {
  TempFile temp;
  const int error = backend::CreateTemp(*target, &temp);
  if (error == ENAMETOOLONG) return CreateWhereItGoes(target, bytes, length);
  if (error != 0) return {.error = error, .stage = ReplaceStage::kOpen};
  return MoveOver(target, temp, bytes, length);
}

/// The old content, read before a byte of it changes; false when it is
/// longer than the storage, or the file was not opened for reading.
bool KeepOldContent(const Target& target, int* error) {
  *error = 0;
  if (!target.readable || target.length > kKeptCapacity) return false;
  *error = backend::ReadAt(target.file, 0, keptContent, static_cast<std::size_t>(target.length));
  return *error == 0;
}

/// The new content over the old, as one write where it fits: at no moment
/// does anything of the old content follow the new, only line ends, which
/// the cut then takes away.
int WriteOver(const Target& target, const char* bytes, std::size_t length) {
  const std::uint64_t end = std::max<std::uint64_t>(length, target.length);
  char cover[kCoverCapacity];
  std::uint64_t written = std::min<std::uint64_t>(end, sizeof cover);
  int error = 0;
  if (length <= sizeof cover) {
    std::memcpy(cover, bytes, length);
    std::memset(cover + length, '\n', static_cast<std::size_t>(written) - length);
    error = backend::WriteAt(target.file, 0, cover, static_cast<std::size_t>(written));
  } else {
    error = backend::WriteAt(target.file, 0, bytes, length);
    written = length;
  }
  std::memset(cover, '\n', sizeof cover);
  for (; error == 0 && written < end; written += sizeof cover) {
    const auto chunk =
        static_cast<std::size_t>(std::min<std::uint64_t>(end - written, sizeof cover));
    error = backend::WriteAt(target.file, written, cover, chunk);
  }
  return error;
}

/// Written, flushed, cut to the new length and flushed again: the last
/// flush commits.
int Overwrite(const Target& target, const char* bytes, std::size_t length) {
  int error = WriteOver(target, bytes, length);
  if (error == 0) error = backend::FlushToDisk(target.file);
  if (error == 0) error = backend::Cut(target.file, length);
  if (error == 0) error = backend::FlushToDisk(target.file);
  return error;
}

/// The old content back where the new one could not be completed; false
/// when there was none kept or it could not be written.
bool PutBack(const Target& target, bool kept) {
  return kept && backend::WriteAt(target.file, 0, keptContent, target.length) == 0 &&
         backend::Cut(target.file, target.length) == 0 && backend::FlushToDisk(target.file) == 0;
}

/// The new content over the old in the file itself. The old content is
/// kept and the space allocated first, so neither a failure to read nor a
/// full disk changes a byte of it; any later failure puts it back.
Outcome InPlace(const Target& target, const char* bytes, std::size_t length) {
  int error = 0;
  const bool kept = KeepOldContent(target, &error);
  if (error == 0 && length > target.length) error = backend::Reserve(target.file, length);
  if (error != 0) return {.error = error};
  error = Overwrite(target, bytes, length);
  if (error == 0) return {};
  return {.error = error, .oldContentLost = !PutBack(target, kept)};
}

/// A FIFO or a device: written as an open for writing would, with a flush
/// where there is storage to flush to.
Outcome Stream(const Target& target, const char* bytes, std::size_t length) {
  int error = backend::WriteAll(target.file, bytes, length);
  if (error == 0) error = backend::FlushToDisk(target.file);
  return {.error = error == EINVAL || error == ENOTSUP ? 0 : error};
}

/// Safe replacement where it keeps everything the file had; otherwise (an
/// owner, mode or attribute a new file cannot carry, no temporary file
/// beside it) written where it is.
Outcome ByRename(Target* target, const char* bytes, std::size_t length) {
  TempFile temp;
  if (backend::CreateTemp(*target, &temp) != 0) return InPlace(*target, bytes, length);
  return MoveOver(target, temp, bytes, length);
}

/// A file made just now through a dangling link: on failure removed again,
/// so the link dangles as before.
Outcome CreatedInPlace(Target* target, const char* bytes, std::size_t length) {
  Outcome outcome = InPlace(*target, bytes, length);
  if (outcome.error != 0) {
    backend::CloseFile(target->file);
    target->file = backend::kNoFile;
    backend::RemoveCreated(*target);
    outcome.oldContentLost = false;
  }
  return outcome;
}

Outcome Write(Target* target, Route route, const char* bytes, std::size_t length) {
  switch (route) {
    case Route::kNewFile:
      return NewFile(target, bytes, length);
    case Route::kRename:
      return ByRename(target, bytes, length);
    case Route::kInPlace:
      return target->created ? CreatedInPlace(target, bytes, length)
                             : InPlace(*target, bytes, length);
    case Route::kStream:
      break;
  }
  return Stream(*target, bytes, length);
}

/// One open, lock and write; the hold on termination starts once the lock
/// is taken, so a run waiting for it can still be ended.
Outcome Attempt(const char* path, const char* bytes, std::size_t length, bool inPlaceOnly,
                int* noted) {
  Target target;
  if (const int error = OpenLocked(path, &target)) {
    CloseTarget(&target);
    return {.error = error, .stage = ReplaceStage::kOpen};
  }
  HoldTermination();
  const Outcome outcome = Write(&target, Choose(target, inPlaceOnly), bytes, length);
  // Closing lets the next writer have the lock. Past the commit, a close
  // that fails has lost nothing.
  const int closed = target.Exists() ? backend::CloseFile(target.file) : 0;
  target.file = backend::kNoFile;
  backend::ReleaseTarget(&target);
  if (outcome.error == 0) *noted = closed;
  return outcome;
}

}  // namespace

ReplaceResult ReplaceFileContent(const char* path, const char* bytes, std::size_t length) {
  int noted = 0;
  Outcome outcome = Attempt(path, bytes, length, false, &noted);
  if (outcome.refused) outcome = Attempt(path, bytes, length, true, &noted);
  return {.error = outcome.error,
          .stage = outcome.stage,
          .oldContentLost = outcome.oldContentLost,
          .noted = noted};
}

}  // namespace platform
