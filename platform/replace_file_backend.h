#pragma once
// The primitives each backend supplies to the replacement sequence that
// both share (replace_file.cpp). Private to the platform layer. Every
// function returns 0 or the errno value of its failure.

#include <cstddef>
#include <cstdint>

namespace platform::backend {

/// An open file: a descriptor on POSIX, a HANDLE on Windows.
using FileHandle = intptr_t;
inline constexpr FileHandle kNoFile = -1;

/// Room for a path that links resolve to, and for a temporary file's name
/// beside it.
inline constexpr std::size_t kResolvedPathCapacity = 4096;
inline constexpr std::size_t kTempPathCapacity = kResolvedPathCapacity + 16;

/// The file a path finally names, opened for writing without truncation.
struct Target {
  FileHandle file = kNoFile;                  ///< kNoFile: nothing there, not even a link
  bool created = false;                       ///< created just now, through a dangling link
  bool regular = false;                       ///< a regular file: locked, with a length to keep
  unsigned linkCount = 0;                     ///< names the file has
  std::uint64_t length = 0;                   ///< a regular file's length once it is locked
  char resolved[kResolvedPathCapacity] = {};  ///< its path, links resolved

  bool Exists() const { return file != kNoFile; }
};

struct TempFile {
  FileHandle file = kNoFile;
  char path[kTempPathCapacity] = {};
};

/// `path` into `buffer`: 0, or ENAMETOOLONG when it does not fit (the one
/// definition is in replace_file.cpp).
int CopyPath(char* buffer, std::size_t capacity, const char* path);

/// Opens what `path` names as a Target. A missing file is no failure: the
/// Target then does not exist, and `resolved` is `path`. A dangling link has
/// its target created (for its owner alone) and opened.
int OpenTarget(const char* path, Target* target);

/// Takes the exclusive lock of a regular file, waiting for it; the lock
/// goes with the process, at the latest. It leaves the file open to
/// readers and to the replacement of its name.
int LockExclusive(FileHandle file);

/// True when `path` still names the file `file` is open on.
bool StillNames(const char* path, FileHandle file);

/// The file's length in bytes.
int FileLength(FileHandle file, std::uint64_t* length);

/// Creates a temporary file beside target.resolved that will carry what the
/// existing file has (mode, owner, group, extended attributes; the security
/// settings on Windows move over with the replacement), or is for its
/// owner alone when there is no file. Nothing is left behind on failure;
/// a failure to carry something over is ENOTSUP or the system's refusal.
int CreateTemp(const Target& target, TempFile* temp);

/// Writes all `length` bytes at the file's current position, which is its
/// start for a file just opened.
int WriteAll(FileHandle file, const char* bytes, std::size_t length);

/// Makes the file, `oldLength` bytes long, `length` bytes long with its
/// space allocated; a failure leaves it at `oldLength`.
int Reserve(FileHandle file, std::uint64_t oldLength, std::size_t length);

/// Cuts the file to `length` bytes.
int Cut(FileHandle file, std::size_t length);

/// Flushes the file's data to stable storage. EINVAL or ENOTSUP: the file
/// (a FIFO, a device) has no storage to flush to.
int FlushToDisk(FileHandle file);

int CloseFile(FileHandle file);

/// Moves the written temporary file over the target's file (or into its
/// place when there was none), keeping the old file's security settings.
/// EBUSY or EXDEV: the file system refuses to replace that name (a mount
/// on it, another file system); the temporary file is then still there.
int MoveIntoPlace(const char* tempPath, const Target& target);

/// Removes a temporary file that is not going to be moved.
void DiscardTemp(const char* tempPath);

/// Makes a completed move durable where the system needs it.
void SyncDirectoryOf(const char* path);

}  // namespace platform::backend
