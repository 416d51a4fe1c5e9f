// The replacement sequence both backends share; each supplies only the
// primitives of replace_file_backend.h.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/replace_file_backend.h"

namespace platform {

int backend::CopyPath(char* buffer, std::size_t capacity, const char* path) {
  const int n = std::snprintf(buffer, capacity, "%s", path);
  return n >= 0 && static_cast<std::size_t>(n) < capacity ? 0 : ENAMETOOLONG;
}

namespace {

using backend::FileHandle;
using backend::Target;
using backend::TempFile;

/// Each reopen follows another writer's replacement of the name; a name
/// replaced this often is being fought over, not written.
constexpr int kMaxReopens = 1000;

/// The in-place path's one write: the new content and line ends over the
/// rest of the old, in the first page of the file, which a write fills
/// whole or not at all, even when the process is killed.
constexpr std::size_t kCoverCapacity = 4096;

/// Opens the file `path` names and, when it is a regular file, locks it,
/// so that one writer at a time decides how to write it, and reads its
/// length then, when no other writer can change it. A writer that replaced
/// the name while this one waited leaves it locking a file the name no
/// longer names: it then starts over on the new one. FIFOs and devices are
/// written unlocked, as an open for writing would.
int OpenLocked(const char* path, Target* target) {
  for (int reopen = 0; reopen < kMaxReopens; ++reopen) {
    if (const int error = backend::OpenTarget(path, target)) return error;
    if (!target->Exists() || !target->regular) return 0;
    if (const int error = backend::LockExclusive(target->file)) return error;
    if (backend::StillNames(path, target->file)) {
      return backend::FileLength(target->file, &target->length);
    }
    backend::CloseFile(target->file);
    *target = Target{};
  }
  return EBUSY;
}

/// The new content into the temporary file, flushed and closed.
int FillTemp(const TempFile& temp, const char* bytes, std::size_t length) {
  int error = backend::WriteAll(temp.file, bytes, length);
  if (error == 0) error = backend::FlushToDisk(temp.file);
  const int closed = backend::CloseFile(temp.file);
  return error != 0 ? error : closed;
}

/// A file system that refuses to put a file in place of this name: a
/// mount on it (containers mount secrets so), or another file system.
bool MoveRefused(int error) { return error == EBUSY || error == EXDEV; }

/// The new content over the old, as one write where it fits: at no moment
/// does anything of the old content follow the new, only line ends, which
/// the cut then takes away.
int WriteOver(const Target& target, const char* bytes, std::size_t length) {
  const std::size_t end = std::max<std::size_t>(length, target.length);
  char cover[kCoverCapacity];
  std::size_t written = std::min(end, sizeof cover);
  int error = 0;
  if (length <= sizeof cover) {
    std::memcpy(cover, bytes, length);
    std::memset(cover + length, '\n', written - length);
    error = backend::WriteAll(target.file, cover, written);
  } else {
    error = backend::WriteAll(target.file, bytes, length);
    written = length;
  }
  std::memset(cover, '\n', sizeof cover);
  for (; error == 0 && written < end; written += sizeof cover) {
    error = backend::WriteAll(target.file, cover, std::min(end - written, sizeof cover));
  }
  return error;
}

/// A FIFO or a device: written as an open for writing would, with a flush
/// where there is storage to flush to.
int WriteStream(const Target& target, const char* bytes, std::size_t length) {
  if (const int error = backend::WriteAll(target.file, bytes, length)) return error;
  const int error = backend::FlushToDisk(target.file);
  return error == EINVAL || error == ENOTSUP ? 0 : error;
}

/// The new content over the old in the file itself. The space comes first,
/// so a full disk shows before a byte of the old content changes.
int InPlace(const Target& target, const char* bytes, std::size_t length) {
  if (!target.regular) return WriteStream(target, bytes, length);
  if (length > target.length) {
    if (const int error = backend::Reserve(target.file, target.length, length)) return error;
  }
  if (const int error = WriteOver(target, bytes, length)) return error;
  if (const int error = backend::FlushToDisk(target.file)) return error;
  if (const int error = backend::Cut(target.file, length)) return error;
  return backend::FlushToDisk(target.file);
}

/// Safe replacement where it keeps everything the file had: the new
/// content in a temporary file beside it, moved over it. Otherwise (another
/// name, a file just created, an owner, mode or attribute a new file could
/// not carry, a name that cannot be replaced) written where it is, as an
/// open would.
ReplaceResult Replace(const Target& target, const char* bytes, std::size_t length) {
  const bool keepsEverything = target.regular && !target.created && target.linkCount == 1;
  if (target.Exists() && !keepsEverything) {
    return {InPlace(target, bytes, length), ReplaceStage::kWrite};
  }
  TempFile temp;
  if (const int error = backend::CreateTemp(target, &temp)) {
    if (!target.Exists()) return {error, ReplaceStage::kOpen};
    return {InPlace(target, bytes, length), ReplaceStage::kWrite};
  }
  int error = FillTemp(temp, bytes, length);
  if (error == 0) error = backend::MoveIntoPlace(temp.path, target);
  if (error == 0) {
    backend::SyncDirectoryOf(target.resolved);
    return {0, ReplaceStage::kWrite};
  }
  // A failed move that took the old file from the name leaves the
  // temporary file as the only copy of anything: it stays.
  if (!target.Exists() || !FileMissing(target.resolved)) backend::DiscardTemp(temp.path);
  if (target.Exists() && MoveRefused(error)) error = InPlace(target, bytes, length);
  return {error, ReplaceStage::kWrite};
}

}  // namespace

ReplaceResult ReplaceFileContent(const char* path, const char* bytes, std::size_t length) {
  Target target;
  ReplaceResult result{OpenLocked(path, &target), ReplaceStage::kOpen};
  if (result.error == 0) result = Replace(target, bytes, length);
  // Closing lets the next writer have the lock; a close that fails after
  // an in-place write may have lost what it wrote.
  if (target.Exists()) {
    const int closed = backend::CloseFile(target.file);
    if (result.error == 0) result.error = closed;
  }
  return result;
}

}  // namespace platform
