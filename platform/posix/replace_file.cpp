// The replacement primitives over POSIX descriptors. The file is found once,
// directory by directory: every later step works from the directory
// descriptor it was found in (openat, renameat), so a directory or link
// swapped meanwhile cannot send one step somewhere else than another.

#include <fcntl.h>
#include <linux/limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/replace_file_backend.h"
#include "platform/system_call_table.h"

namespace platform::backend {

using syscalls::sys;

namespace {

/// The most links followed, as the system itself allows (SYMLOOP_MAX).
constexpr int kMaxLinks = 40;

/// Looks at a name that another process changed before it was opened.
constexpr int kMaxRaces = 100;

/// Temporary names tried before giving up.
constexpr int kMaxTempNames = 100;

/// "NAME.XXXXXX": the name, a dot and six characters.
constexpr std::size_t kTempSuffixLength = 7;

/// errno after a failed call, never 0, so a caller can tell failure apart.
int Failure() { return errno != 0 ? errno : EIO; }

int Descriptor(FileHandle file) { return static_cast<int>(file); }

/// Moves all `length` bytes with `step`(bytes done so far), a read or write
/// that may move fewer: 0, or the errno value of the failure (EIO for a
/// step that moves nothing).
template <typename Step>
int Whole(std::size_t length, Step step) {
  for (std::size_t done = 0; done < length;) {
    const ssize_t n = step(done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0 ? EIO : Failure();
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

/// Root, or the account the run acts as: the owners whose links and files
/// are used. Anything another account owns could have been planted.
bool TrustedOwner(uid_t owner) { return owner == 0 || owner == geteuid(); }

/// A directory in which an account other than the caller and root may
/// make names, a hard link to someone else's file among them.
bool OthersMayWrite(int dir) {
  struct stat st {};
  return sys.fstat(dir, &st) != 0 || !TrustedOwner(st.st_uid) ||
         (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

/// A directory opened for the names in it: readable where the caller may
/// read it, so that it can be flushed.
int OpenDirectory(int base, const char* path) {
  const int fd = sys.openat(base, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd >= 0 || errno != EACCES) return fd;
  return sys.openat(base, path, O_PATH | O_DIRECTORY | O_CLOEXEC, 0);
}

/// The directory part of `path`, from `base`: "." without one, "/" for the
/// root.
int DirectoryPart(const char* path, const char* slash, char (&dir)[kPlaceCapacity]) {
  if (slash == nullptr) return CopyPath(dir, sizeof dir, ".");
  if (slash == path) return CopyPath(dir, sizeof dir, "/");
  const int n = std::snprintf(dir, sizeof dir, "%.*s", static_cast<int>(slash - path), path);
  return n >= 0 && static_cast<std::size_t>(n) < sizeof dir ? 0 : ENAMETOOLONG;
}

/// Moves the target to `path`, taken from `base`: its directory opened
/// into `dir`, its last name into `place`.
int Enter(int base, const char* path, Target* target) {
  const char* slash = std::strrchr(path, '/');
  const char* name = slash != nullptr ? slash + 1 : path;
  if (*name == '\0' || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return EISDIR;
  char dir[kPlaceCapacity];
  if (const int error = DirectoryPart(path, slash, dir)) return error;
  const int fd = OpenDirectory(base, dir);
  if (fd < 0) return Failure();
  if (target->dir != kNoFile) sys.close(Descriptor(target->dir));
  target->dir = fd;
  return CopyPath(target->place, sizeof target->place, name);
}

/// Follows the link at the target's place to what it names.
int FollowLink(Target* target) {
  char link[kPlaceCapacity];
  const ssize_t n = sys.readlinkat(Descriptor(target->dir), target->place, link, sizeof link);
  if (n < 0) return Failure();
  if (static_cast<std::size_t>(n) >= sizeof link) return ENAMETOOLONG;
  link[n] = '\0';
  return Enter(link[0] == '/' ? AT_FDCWD : Descriptor(target->dir), link, target);
}

/// A FIFO or device opened non-blocking (so that a FIFO without a reader
/// fails at once) is written blocking.
int MakeBlocking(int fd) {
  const int flags = sys.fcntl(fd, F_GETFL, 0);
  if (flags < 0 || sys.fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return Failure();
  return 0;
}

/// Opens the file that was `found` at the target's place, never through a
/// link. A regular file is opened for reading too where the caller may
/// read it, so its content can be put back. ESTALE: the name holds
/// another file now.
int OpenFound(Target* target, const struct stat& found) {
  constexpr int kFlags = O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
  const int dir = Descriptor(target->dir);
  const bool regular = S_ISREG(found.st_mode);
  int fd = regular ? sys.openat(dir, target->place, O_RDWR | kFlags, 0) : -1;
  target->readable = fd >= 0;
  if (fd < 0 && (!regular || errno == EACCES)) {
    fd = sys.openat(dir, target->place, O_WRONLY | (regular ? 0 : O_NONBLOCK) | kFlags, 0);
  }
  if (fd < 0) return errno == ELOOP || errno == ENOENT ? ESTALE : Failure();
  target->file = fd;
  struct stat opened {};
  if (sys.fstat(fd, &opened) != 0) return Failure();
  if (opened.st_dev != found.st_dev || opened.st_ino != found.st_ino) return ESTALE;
  target->regular = regular;
  target->linkCount = static_cast<unsigned>(opened.st_nlink);
  return regular ? 0 : MakeBlocking(fd);
}

/// A temporary name for `name`: the name (cut where it would not fit with
/// the suffix) and six characters that differ from try to try.
void TempName(const char* name, int attempt, char (&out)[kPlaceCapacity]) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  unsigned long long bits = static_cast<unsigned long long>(now.tv_nsec) ^
                            (static_cast<unsigned long long>(getpid()) << 32) ^
                            (static_cast<unsigned long long>(attempt) * 0x9E3779B97F4A7C15ull);
  char suffix[kTempSuffixLength] = {'.'};
  for (std::size_t i = 1; i < kTempSuffixLength; ++i, bits /= sizeof kAlphabet - 1) {
    suffix[i] = kAlphabet[bits % (sizeof kAlphabet - 1)];
  }
  const int kept =
      static_cast<int>(std::min<std::size_t>(std::strlen(name), NAME_MAX - kTempSuffixLength));
  std::snprintf(out, sizeof out, "%.*s%.*s", kept, name, static_cast<int>(kTempSuffixLength),
                suffix);
}

/// The extended attributes of the file being replaced, names and one value
/// at a time: the largest the system lets a file have. Too large for the
/// stack of one call.
char attributeNames[XATTR_LIST_MAX];
char attributeValue[XATTR_SIZE_MAX];

/// Gives the temporary file every extended attribute of the old one: user
/// attributes, and trusted and security ones where the caller may set them.
/// An ACL or another system attribute cannot be carried by a new file
/// (ENOTSUP), nor one the caller may not set: the file is then written in
/// place. A file system without attributes has none to carry.
int CarryAttributes(int from, int to) {
  const ssize_t listed = sys.flistxattr(from, attributeNames, sizeof attributeNames);
  if (listed < 0) return errno == ENOTSUP ? 0 : Failure();
  for (const char* name = attributeNames; name < attributeNames + listed;
       name += std::strlen(name) + 1) {
    if (std::strncmp(name, "system.", 7) == 0) return ENOTSUP;
    const ssize_t size = sys.fgetxattr(from, name, attributeValue, sizeof attributeValue);
    if (size < 0 ||
        sys.fsetxattr(to, name, attributeValue, static_cast<std::size_t>(size), 0) != 0) {
      return Failure();
    }
  }
  return 0;
}

/// Gives the temporary file the old file's owner, group, mode and extended
/// attributes; a caller who may not (not root, not in the group) gets
/// EPERM. The owner comes first: changing it clears attributes that grant
/// privileges.
int CarryOver(int from, int to) {
  struct stat old {};
  struct stat fresh {};
  if (sys.fstat(from, &old) != 0 || sys.fstat(to, &fresh) != 0) return Failure();
  if ((fresh.st_uid != old.st_uid || fresh.st_gid != old.st_gid) &&
      sys.fchown(to, old.st_uid, old.st_gid) != 0) {
    return Failure();
  }
  if (sys.fchmod(to, old.st_mode & 07777) != 0) return Failure();
  return CarryAttributes(from, to);
}

/// A new file at `name` in `dir`, for its owner alone, never through a
/// link; -1 with errno.
int CreateExclusiveAt(int dir, const char* name) {
  return sys.openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

}  // namespace

int OpenTarget(const char* path, Target* target) {
  if (const int error = Enter(AT_FDCWD, path, target)) return error;
  for (int links = 0, races = 0; links <= kMaxLinks && races <= kMaxRaces;) {
    struct stat found {};
    if (sys.fstatat(Descriptor(target->dir), target->place, &found, AT_SYMLINK_NOFOLLOW) != 0) {
      return errno == ENOENT ? 0 : Failure();
    }
    if (!TrustedOwner(found.st_uid)) return EPERM;
    if (S_ISDIR(found.st_mode)) return EISDIR;
    if (S_ISLNK(found.st_mode)) {
      if (const int error = FollowLink(target)) return error;
      ++links;
      continue;
    }
    if (found.st_nlink > 1 && OthersMayWrite(Descriptor(target->dir))) return EPERM;
    const int error = OpenFound(target, found);
    if (error != ESTALE) return error;
    if (target->Exists()) sys.close(Descriptor(target->file));
    target->file = kNoFile;
    ++races;
  }
  return ELOOP;
}

// flock, not fcntl's record locks: closing any other descriptor of the
// file would drop one of those.
int TryLockExclusive(FileHandle file) {
  if (sys.flock(Descriptor(file), LOCK_EX | LOCK_NB) == 0) return 0;
  return errno == EWOULDBLOCK || errno == EINTR ? EWOULDBLOCK : Failure();
}

void Pause(unsigned milliseconds) {
  const timespec pause{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1'000'000};
  sys.nanosleep(&pause, nullptr);
}

bool StillNames(const Target& target) {
  struct stat named {};
  struct stat open {};
  return sys.fstatat(Descriptor(target.dir), target.place, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         sys.fstat(Descriptor(target.file), &open) == 0 && named.st_dev == open.st_dev &&
         named.st_ino == open.st_ino;
}

int FileLength(FileHandle file, std::uint64_t* length) {
  struct stat st {};
  if (sys.fstat(Descriptor(file), &st) != 0) return Failure();
  *length = static_cast<std::uint64_t>(st.st_size);
  return 0;
}

int ReadAt(FileHandle file, std::uint64_t offset, char* buffer, std::size_t length) {
  return Whole(length, [&](std::size_t done) {
    return sys.pread(Descriptor(file), buffer + done, length - done,
                     static_cast<off_t>(offset + done));
  });
}

int CreateTemp(const Target& target, TempFile* temp) {
  const int dir = Descriptor(target.dir);
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    if (attempt == kMaxTempNames) return EEXIST;
    TempName(target.place, attempt, temp->place);
    fd = CreateExclusiveAt(dir, temp->place);
    if (fd < 0 && errno != EEXIST) return Failure();
  }
  const int error = target.Exists() ? CarryOver(Descriptor(target.file), fd) : 0;
  if (error != 0) {
    sys.close(fd);
    sys.unlinkat(dir, temp->place, 0);
    return error;
  }
  temp->file = fd;
  return 0;
}

int CreateInPlace(Target* target) {
  const int fd = CreateExclusiveAt(Descriptor(target->dir), target->place);
  if (fd < 0) return Failure();
  target->file = fd;
  target->regular = true;
  return 0;
}

void RemoveCreated(const Target& target) { sys.unlinkat(Descriptor(target.dir), target.place, 0); }

int WriteAll(FileHandle file, const char* bytes, std::size_t length) {
  return Whole(length, [&](std::size_t done) {
    return sys.write(Descriptor(file), bytes + done, length - done);
  });
}

int WriteAt(FileHandle file, std::uint64_t offset, const char* bytes, std::size_t length) {
  return Whole(length, [&](std::size_t done) {
    return sys.pwrite(Descriptor(file), bytes + done, length - done,
                      static_cast<off_t>(offset + done));
  });
}

// FALLOC_FL_KEEP_SIZE: the blocks are the file's, its length and content
// stay, so a kill right after leaves it byte for byte as it was. Growing
// the file instead would leave zero bytes behind the old line after a kill.
int Reserve(FileHandle file, std::size_t length) {
  for (;;) {
    if (sys.fallocate(Descriptor(file), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length)) == 0) {
      return 0;
    }
    if (errno == EOPNOTSUPP || errno == ENOSYS) return 0;
    if (errno != EINTR) return Failure();
  }
}

int Cut(FileHandle file, std::uint64_t length) {
  return sys.ftruncate(Descriptor(file), static_cast<off_t>(length)) == 0 ? 0 : Failure();
}

int FlushToDisk(FileHandle file) { return sys.fsync(Descriptor(file)) == 0 ? 0 : Failure(); }

int CloseFile(FileHandle file) { return sys.close(Descriptor(file)) == 0 ? 0 : Failure(); }

int MoveIntoPlace(const TempFile& temp, Target* target) {
  const int dir = Descriptor(target->dir);
  return sys.renameat(dir, temp.place, dir, target->place) == 0 ? 0 : Failure();
}

void DiscardTemp(const Target& target, const TempFile& temp) {
  sys.unlinkat(Descriptor(target.dir), temp.place, 0);
}

// The new name is already in place, so a failure here cannot be undone and
// is not reported.
void SyncPlace(const Target& target) {
  const int fd = sys.openat(Descriptor(target.dir), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return;
  sys.fsync(fd);
  sys.close(fd);
}

void ReleaseTarget(Target* target) {
  if (target->dir != kNoFile) sys.close(Descriptor(target->dir));
  target->dir = kNoFile;
}

}  // namespace platform::backend
