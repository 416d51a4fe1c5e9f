#pragma once
// The primitives each backend supplies to the replacement sequence that
// both share (replace_file.cpp). Private to the platform layer. Every
// function that returns an int returns 0 or the errno value of its failure.

#include <cstddef>
#include <cstdint>

namespace platform::backend {

/// An open file or directory: a descriptor on POSIX, a HANDLE on Windows.
using FileHandle = intptr_t;
inline constexpr FileHandle kNoFile = -1;

/// Room for where a file is: a name in its directory on POSIX, a full path
/// on Windows; and for a temporary file's beside it.
inline constexpr std::size_t kPlaceCapacity = 4096;

/// Where the file a path finally leads to is, found once: every later step
/// works from this, never from a second lookup of the path.
struct Target {
  FileHandle file = kNoFile;        ///< open for writing; kNoFile: nothing at the name yet
  FileHandle dir = kNoFile;         ///< POSIX: the directory that holds the name
  char place[kPlaceCapacity] = {};  ///< POSIX: the name in `dir`; Windows: the full path
  bool regular = false;             ///< a regular file: locked, its content kept for a restore
  bool readable = false;            ///< opened for reading too, so its content can be kept
  bool created = false;             ///< Windows: created just now through a dangling link
  unsigned linkCount = 0;           ///< names the file has
  std::uint64_t length = 0;         ///< a regular file's length once it is locked

  bool Exists() const { return file != kNoFile; }
};

struct TempFile {
  FileHandle file = kNoFile;
  char place[kPlaceCapacity] = {};  ///< as Target::place
};

/// `text` into `buffer`: 0, or ENAMETOOLONG when it does not fit (the one
/// definition is in replace_file.cpp).
int CopyPath(char* buffer, std::size_t capacity, const char* text);

/// Finds what `path` leads to and opens it, following a link at the name
/// only where the caller or an administrator owns it (root on POSIX;
/// SYSTEM or Administrators on Windows) and using an existing file only
/// where one of them owns it: EPERM otherwise, before anything is written.
/// Nothing at the name is no failure: `place` then says where a new file
/// goes.
int OpenTarget(const char* path, Target* target);

/// Tries the exclusive lock of a regular file once: 0, EWOULDBLOCK while
/// another process holds it, or the failure. The lock goes with the
/// handle; it leaves the file open to readers.
int TryLockExclusive(FileHandle file);

/// Waits `milliseconds` before something is tried again.
void Pause(unsigned milliseconds);

/// True when the target's place still holds the file it has open.
bool StillNames(const Target& target);

/// The file's length in bytes.
int FileLength(FileHandle file, std::uint64_t* length);

/// Reads exactly `length` bytes from `offset` on.
int ReadAt(FileHandle file, std::uint64_t offset, char* buffer, std::size_t length);

/// Creates a temporary file beside the target that carries what the
/// existing file has (owner, group, mode, extended attributes; on Windows
/// owner, DACL, attributes and creation time), or is for its owner alone
/// when there is no file. Nothing is left behind on failure. ENOTSUP or
/// EPERM: something cannot be carried over; ENAMETOOLONG: no temporary
/// name fits beside it.
int CreateTemp(const Target& target, TempFile* temp);

/// Creates the missing target itself, for its owner alone, where no
/// temporary file fits beside it.
int CreateInPlace(Target* target);

/// Removes a file made by CreateInPlace whose content could not be written.
void RemoveCreated(const Target& target);

/// Writes all `length` bytes at the file's current position (its start for
/// a file just opened).
int WriteAll(FileHandle file, const char* bytes, std::size_t length);

/// Writes all `length` bytes from `offset` on.
int WriteAt(FileHandle file, std::uint64_t offset, const char* bytes, std::size_t length);

/// Allocates space for `length` bytes without changing the file's length
/// or content. 0 also where the system cannot do that: the write itself
/// then meets a full disk.
int Reserve(FileHandle file, std::size_t length);

/// Cuts the file to `length` bytes.
int Cut(FileHandle file, std::uint64_t length);

/// Flushes the file's data to stable storage. EINVAL or ENOTSUP: the file
/// (a FIFO, a device) has no storage to flush to.
int FlushToDisk(FileHandle file);

int CloseFile(FileHandle file);

/// Moves the written and closed temporary file over the target's place in
/// one step, so the name always holds the old file or the new one; the
/// old file's security settings move with it. May close target->file
/// first (Windows cannot replace a file that is held open). EBUSY or
/// EXDEV: the system refuses to replace that name (a mount on it, another
/// file system, a reader holding it), and the temporary file is still
/// there.
int MoveIntoPlace(const TempFile& temp, Target* target);

/// Removes a temporary file that is not going to be moved.
void DiscardTemp(const Target& target, const TempFile& temp);

/// Makes a completed move durable where the system needs it.
void SyncPlace(const Target& target);

/// Releases what OpenTarget opened (the file, if still open, is closed by
/// the caller first).
void ReleaseTarget(Target* target);

}  // namespace platform::backend
