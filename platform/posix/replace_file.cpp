#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace platform {

namespace {

/// errno after a failed call, never 0, so a caller can tell failure apart.
int Failure() { return errno != 0 ? errno : EIO; }

FILE* Stream(Replacement* replacement) { return static_cast<FILE*>(replacement->stream); }

void RemoveTemp(Replacement* replacement) {
  unlink(replacement->tempPath);
  replacement->tempPath[0] = '\0';
}

/// Makes the rename durable; the new name is already in place, so a failure
/// here cannot be undone and is not reported.
void SyncDirectory(const char* target) {
  char dir[kReplacementPathCapacity];
  const int n = std::snprintf(dir, sizeof dir, "%s", target);
  if (n < 0 || static_cast<unsigned>(n) >= sizeof dir) {
    return;
  }
  char* slash = std::strrchr(dir, kPathSeparator);
  if (slash == nullptr) {
    return;
  }
  slash[slash == dir ? 1 : 0] = '\0';
  const int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

}  // namespace

int BeginReplacement(Replacement* replacement, const char* target) {
  replacement->stream = nullptr;
  replacement->targetExists = false;
  replacement->tempPath[0] = '\0';

  // Opening without truncation tells whether the old file may be written,
  // as opening it with "w" would, and leaves it as it is.
  struct stat old {};
  const int probe = open(target, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (probe >= 0) {
    const int statResult = fstat(probe, &old);
    const int saved = errno;
    close(probe);
    if (statResult != 0) {
      return saved != 0 ? saved : EIO;
    }
    replacement->targetExists = true;
  } else if (errno != ENOENT) {
    return Failure();
  }

  const int n =
      std::snprintf(replacement->tempPath, sizeof replacement->tempPath, "%s.XXXXXX", target);
  if (n < 0 || static_cast<unsigned>(n) >= sizeof replacement->tempPath) {
    replacement->tempPath[0] = '\0';
    return ENAMETOOLONG;
  }
  // mkstemp creates the file with mode 0600.
  const int fd = mkstemp(replacement->tempPath);
  if (fd < 0) {
    const int error = Failure();
    replacement->tempPath[0] = '\0';
    return error;
  }
  if (replacement->targetExists) {
    struct stat fresh {};
    if (fchmod(fd, old.st_mode & 07777) != 0 || fstat(fd, &fresh) != 0 ||
        ((fresh.st_uid != old.st_uid || fresh.st_gid != old.st_gid) &&
         fchown(fd, old.st_uid, old.st_gid) != 0)) {
      const int error = Failure();
      close(fd);
      RemoveTemp(replacement);
      return error;
    }
  }
  replacement->stream = fdopen(fd, "w");
  if (replacement->stream == nullptr) {
    const int error = Failure();
    close(fd);
    RemoveTemp(replacement);
    return error;
  }
  return 0;
}

int WriteReplacement(Replacement* replacement, const char* text) {
  errno = 0;
  return std::fputs(text, Stream(replacement)) == EOF ? Failure() : 0;
}

int CommitReplacement(Replacement* replacement, const char* target) {
  FILE* stream = Stream(replacement);
  replacement->stream = nullptr;
  errno = 0;
  int error = 0;
  if (std::fflush(stream) != 0 || fsync(fileno(stream)) != 0) {
    error = Failure();
  }
  errno = 0;
  if (std::fclose(stream) != 0 && error == 0) {
    error = Failure();
  }
  if (error == 0 && rename(replacement->tempPath, target) != 0) {
    error = Failure();
  }
  if (error != 0) {
    RemoveTemp(replacement);
    return error;
  }
  replacement->tempPath[0] = '\0';
  SyncDirectory(target);
  return 0;
}

void AbandonReplacement(Replacement* replacement) {
  if (replacement->stream != nullptr) {
    std::fclose(Stream(replacement));
    replacement->stream = nullptr;
  }
  if (replacement->tempPath[0] != '\0') {
    RemoveTemp(replacement);
  }
}

}  // namespace platform
