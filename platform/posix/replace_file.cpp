// The replacement primitives over POSIX descriptors.

#include <fcntl.h>
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

namespace platform::backend {

namespace {

/// errno after a failed call, never 0, so a caller can tell failure apart.
int Failure() { return errno != 0 ? errno : EIO; }

int Descriptor(FileHandle file) { return static_cast<int>(file); }

bool IsLink(const char* path) {
  struct stat st {};
  return lstat(path, &st) == 0 && S_ISLNK(st.st_mode);
}

/// A new file cannot carry an access control list over from the old one.
bool HasAcl(int fd) { return fgetxattr(fd, "system.posix_acl_access", nullptr, 0) >= 0; }

/// Gives the temporary file the old file's owner, group and mode; a caller
/// who may not (not root, not in the group) gets EPERM.
int CarryOver(int from, int to) {
  struct stat old {};
  struct stat fresh {};
  if (fstat(from, &old) != 0 || fstat(to, &fresh) != 0) return Failure();
  if (HasAcl(from)) return ENOTSUP;
  if ((fresh.st_uid != old.st_uid || fresh.st_gid != old.st_gid) &&
      fchown(to, old.st_uid, old.st_gid) != 0) {
    return Failure();
  }
  return fchmod(to, old.st_mode & 07777) == 0 ? 0 : Failure();
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
  static_assert(kResolvedPathCapacity >= PATH_MAX, "realpath writes up to PATH_MAX bytes");
  if (realpath(path, target->resolved) == nullptr) {
    target->resolved[0] = '\0';
  }
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
    const ssize_t n =
        pwrite(Descriptor(file), bytes + done, length - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0 ? EIO : Failure();
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

int Reserve(FileHandle file, std::size_t length) {
  struct stat st {};
  if (fstat(Descriptor(file), &st) != 0) return Failure();
  if (static_cast<std::size_t>(st.st_size) >= length) return 0;
  const int error = posix_fallocate(Descriptor(file), 0, static_cast<off_t>(length));
  if (error != 0) {
    // A partial allocation may have grown the file: back to its old length.
    [[maybe_unused]] const int restored = ftruncate(Descriptor(file), st.st_size);
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
