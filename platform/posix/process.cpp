#include <errno.h>
#include <limits.h>
#include <string.h>
#include <unistd.h>

#include "platform/platform.h"

namespace platform {

uint32_t ModulePath(char* buffer, uint32_t capacity) {
  if (capacity == 0) {
    errno = ENAMETOOLONG;
    return 0;
  }
  // One byte more than any path the system hands out, so a path that
  // fills it is known to be longer than PATH_MAX.
  char path[PATH_MAX + 1];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  if (length <= 0) {
    if (length == 0) errno = ENOENT;
    return 0;
  }
  const auto size = static_cast<size_t>(length);
  if (size < capacity && size < sizeof path) {
    memcpy(buffer, path, size);
    buffer[size] = '\0';
    return static_cast<uint32_t>(size);
  }
  // As GetModuleFileNameA does on current systems: a cut, terminated path,
  // the capacity as the result and an error code saying why.
  const size_t kept = capacity - 1 < sizeof path ? capacity - 1 : sizeof path - 1;
  memcpy(buffer, path, kept);
  buffer[kept] = '\0';
  errno = ENAMETOOLONG;
  return capacity;
}

uint32_t LastError() { return static_cast<uint32_t>(errno); }

int ProcessId() { return static_cast<int>(getpid()); }

}  // namespace platform
