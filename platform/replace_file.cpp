// The replacement sequence both backends share; each supplies only the
// primitives of replace_file_backend.h.

#include <cerrno>
#include <cstdio>

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

/// Closes the file and returns the first failure of the two.
int CloseAfter(FileHandle file, int error) {
  const int closed = backend::CloseFile(file);
  return error != 0 ? error : closed;
}

/// The new content into the temporary file, flushed, closed, and moved
/// over the target: a failure anywhere leaves the target as it was.
ReplaceResult ThroughTemp(const Target& target, TempFile& temp, const char* bytes,
                          std::size_t length) {
  int error = backend::WriteAll(temp.file, bytes, length);
  if (error == 0) error = backend::FlushToDisk(temp.file);
  error = CloseAfter(temp.file, error);
  if (error == 0) error = backend::MoveIntoPlace(temp.path, target);
  if (error != 0) {
    backend::DiscardTemp(temp.path);
    return {error, ReplaceStage::kWrite};
  }
  backend::SyncDirectoryOf(target.resolved);
  return {0, ReplaceStage::kWrite};
}

/// The new content over the old in the file itself. The space comes first,
/// so a full disk shows before a byte of the old content changes; only a
/// crash between the write and the cut can leave the old tail behind.
int InPlace(const Target& target, const char* bytes, std::size_t length) {
  if (target.regular) {
    if (const int error = backend::Reserve(target.file, length)) return error;
  }
  if (const int error = backend::WriteAll(target.file, bytes, length)) return error;
  if (const int error = backend::FlushToDisk(target.file)) return error;
  if (!target.regular) return 0;
  if (const int error = backend::Cut(target.file, length)) return error;
  return backend::FlushToDisk(target.file);
}

}  // namespace

ReplaceResult ReplaceFileContent(const char* path, const char* bytes, std::size_t length) {
  Target target;
  if (const int error = backend::OpenTarget(path, &target)) {
    if (target.file != backend::kNoFile) backend::CloseFile(target.file);
    return {error, ReplaceStage::kOpen};
  }
  TempFile temp;
  if (!target.Exists()) {
    if (const int error = backend::CreateTemp(target, &temp)) {
      return {error, ReplaceStage::kOpen};
    }
    return ThroughTemp(target, temp, bytes, length);
  }
  // Another name, a file just created, or one whose owner, mode or ACL a
  // new file could not carry: written where it is, as an open would.
  const bool keepsEverything = target.regular && !target.created && target.linkCount == 1 &&
                               backend::CreateTemp(target, &temp) == 0;
  if (keepsEverything) {
    backend::CloseFile(target.file);
    return ThroughTemp(target, temp, bytes, length);
  }
  return {CloseAfter(target.file, InPlace(target, bytes, length)), ReplaceStage::kWrite};
}

}  // namespace platform
