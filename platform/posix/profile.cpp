#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "profile_scan.h"

namespace platform {

namespace {

constexpr std::size_t kReadChunk = 4096;

/// A regular file opened for reading; -1 for anything else. The open does
/// not wait for a FIFO's writer, and a device, a FIFO or a directory is no
/// profile: reading one could block or never end.
int OpenRegularFile(const char* path) {
  const int file = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (file < 0) {
    return -1;
  }
  struct stat st {};
  if (fstat(file, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(file);
    return -1;
  }
  return file;
}

}  // namespace

int ProfileInt(const char* section, const char* key, int defaultValue, const char* path) {
  const int file = OpenRegularFile(path);
  if (file < 0) {
    return defaultValue;
  }
  posix::ProfileScan scan(section, key, defaultValue);
  char chunk[kReadChunk];
  while (!scan.Done()) {
    const ssize_t n = read(file, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      // A file that cannot be read is one without the key.
      close(file);
      return defaultValue;
    }
    if (n == 0) {
      break;
    }
    scan.Feed(chunk, static_cast<std::size_t>(n));
  }
  close(file);
  return scan.Finish();
}

}  // namespace platform
