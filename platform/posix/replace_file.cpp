// The replacement primitives over POSIX descriptors.

#include <fcntl.h>
#include <linux/limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/replace_file_backend.h"
#include "resolved_name.h"

namespace platform::backend {

namespace {

/// errno after a failed call, never 0, so a caller can tell failure apart.
int Failure() { return errno != 0 ? errno : EIO; }

int Descriptor(FileHandle file) { return static_cast<int>(file); }

bool IsLink(const char* path) {
  struct stat st {};
  return lstat(path, &st) == 0 && S_ISLNK(st.st_mode);
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
  const ssize_t listed = flistxattr(from, attributeNames, sizeof attributeNames);
  if (listed < 0) return errno == ENOTSUP ? 0 : Failure();
  for (const char* name = attributeNames; name < attributeNames + listed;
       name += std::strlen(name) + 1) {
    if (std::strncmp(name, "system.", 7) == 0) return ENOTSUP;
    const ssize_t size = fgetxattr(from, name, attributeValue, sizeof attributeValue);
    if (size < 0 || fsetxattr(to, name, attributeValue, static_cast<size_t>(size), 0) != 0) {
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
  if (fstat(from, &old) != 0 || fstat(to, &fresh) != 0) return Failure();
  if ((fresh.st_uid != old.st_uid || fresh.st_gid != old.st_gid) &&
      fchown(to, old.st_uid, old.st_gid) != 0) {
    return Failure();
  }
  if (fchmod(to, old.st_mode & 07777) != 0) return Failure();
  return CarryAttributes(from, to);
}

}  // namespace

int OpenTarget(const char* path, Target* target) {
  // Non-blocking, so a FIFO without a reader fails at once instead of
  // hanging the run; no controlling terminal from a device.
  constexpr int kFlags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = open(path, kFlags);
  if (fd < 0) {
    if (errno != ENOENT) return Failure();
    if (!IsLink(path)) return CopyPath(target->resolved, sizeof target->resolved, path);
    // A dangling link: its target is created, as an open for writing would.
    fd = open(path, kFlags | O_CREAT, 0600);
    if (fd < 0) return Failure();
    target->created = true;
  }
  target->file = fd;
  struct stat st {};
  if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 || fstat(fd, &st) != 0) {
    return Failure();
  }
  target->regular = S_ISREG(st.st_mode);
  target->linkCount = static_cast<unsigned>(st.st_nlink);
  // A path that cannot be resolved leaves `resolved` empty: no temporary
  // file can be made for it, so the file is written in place.
  static_assert(kResolvedPathCapacity >= PATH_MAX, "room for any path the system resolves");
  if (!ResolvedName(path, target->resolved, sizeof target->resolved)) target->resolved[0] = '\0';
  return 0;
}

// flock, not fcntl's record locks: closing any other descriptor of the
// file would drop one of those.
int LockExclusive(FileHandle file) {
  while (flock(Descriptor(file), LOCK_EX) != 0) {
    if (errno != EINTR) return Failure();
  }
  return 0;
}

bool StillNames(const char* path, FileHandle file) {
  struct stat named {};
  struct stat open {};
  return stat(path, &named) == 0 && fstat(Descriptor(file), &open) == 0 &&
         named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

int FileLength(FileHandle file, std::uint64_t* length) {
  struct stat st {};
  if (fstat(Descriptor(file), &st) != 0) return Failure();
  *length = static_cast<std::uint64_t>(st.st_size);
  return 0;
}

int CreateTemp(const Target& target, TempFile* temp) {
  if (target.resolved[0] == '\0') return ENAMETOOLONG;
  const int n = std::snprintf(temp->path, sizeof temp->path, "%s.XXXXXX", target.resolved);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof temp->path) return ENAMETOOLONG;
  // mkostemp creates the file with mode 0600.
  const int fd = mkostemp(temp->path, O_CLOEXEC);
  if (fd < 0) return Failure();
  const int error = target.Exists() ? CarryOver(Descriptor(target.file), fd) : 0;
  if (error != 0) {
    close(fd);
    unlink(temp->path);
    return error;
  }
  temp->file = fd;
  return 0;
}

int WriteAll(FileHandle file, const char* bytes, std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t n = write(Descriptor(file), bytes + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0 ? EIO : Failure();
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

int Reserve(FileHandle file, std::uint64_t oldLength, std::size_t length) {
  const int error = posix_fallocate(Descriptor(file), 0, static_cast<off_t>(length));
  if (error != 0) {
    // A partial allocation may have grown the file: back to its old length.
    [[maybe_unused]] const int restored =
        ftruncate(Descriptor(file), static_cast<off_t>(oldLength));
  }
  return error;
}

int Cut(FileHandle file, std::size_t length) {
  return ftruncate(Descriptor(file), static_cast<off_t>(length)) == 0 ? 0 : Failure();
}

int FlushToDisk(FileHandle file) { return fsync(Descriptor(file)) == 0 ? 0 : Failure(); }

int CloseFile(FileHandle file) { return close(Descriptor(file)) == 0 ? 0 : Failure(); }

int MoveIntoPlace(const char* tempPath, const Target& target) {
  return rename(tempPath, target.resolved) == 0 ? 0 : Failure();
}

void DiscardTemp(const char* tempPath) { unlink(tempPath); }

// The new name is already in place, so a failure here cannot be undone and
// is not reported.
void SyncDirectoryOf(const char* path) {
  char dir[kResolvedPathCapacity];
  if (CopyPath(dir, sizeof dir, path) != 0) return;
  char* slash = std::strrchr(dir, kPathSeparator);
  if (slash == nullptr) return;
  slash[slash == dir ? 1 : 0] = '\0';
  const int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

}  // namespace platform::backend
