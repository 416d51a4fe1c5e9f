#include <errno.h>
#include <unistd.h>

#include <cstdio>

#include "platform/platform.h"

namespace platform {

bool FileMissing(const char* path) { return access(path, F_OK) != 0 && errno == ENOENT; }

bool CreateEmptyFile(const char* path) {
  FILE* file = std::fopen(path, "w");
  if (file == nullptr) {
    return false;
  }
  std::fclose(file);
  return true;
}

bool RemoveFile(const char* path) { return std::remove(path) == 0; }

}  // namespace platform
