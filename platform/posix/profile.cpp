#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "profile_scan.h"

namespace platform {

namespace {

constexpr std::size_t kReadChunk = 4096;

/// A regular file of at most kProfileLimit bytes opened for reading; -1
/// for anything else. The open does not wait for a FIFO's writer, and a
/// device, a FIFO or a directory is no profile: reading one could block or
/// never end.
int OpenRegularFile(const char* path) {
  const int file = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (file < 0) {
    return -1;
  }
  struct stat st {};
  if (fstat(file, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<std::size_t>(st.st_size) > kProfileLimit) {
    close(file);
    return -1;
  }
  return file;
}

/// The value from the file's content: the default when it cannot be read
/// or reads on past kProfileLimit bytes, which a size of 0 does not rule
/// out (/proc files). One byte past the limit tells a longer file.
int ScanProfile(int file, const char* section, const char* key, int defaultValue) {
  posix::ProfileScan scan(section, key, defaultValue);
  char chunk[kReadChunk];
  std::size_t left = kProfileLimit + 1;
  while (!scan.Done()) {
    const ssize_t n = read(file, chunk, left < sizeof chunk ? left : sizeof chunk);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return defaultValue;
    }
    if (n == 0) {
      break;
    }
    left -= static_cast<std::size_t>(n);
    if (left == 0) {
      return defaultValue;
    }
    scan.Feed(chunk, static_cast<std::size_t>(n));
  }
  return scan.Finish();
}

}  // namespace

int ProfileInt(const char* section, const char* key, int defaultValue, const char* path) {
  const int file = OpenRegularFile(path);
  if (file < 0) {
    return defaultValue;
  }
  const int value = ScanProfile(file, section, key, defaultValue);
  close(file);
  return value;
}

}  // namespace platform
