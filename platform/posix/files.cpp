#include <errno.h>
#include <unistd.h>

#include "platform/platform.h"

namespace platform {

bool FileMissing(const char* path) { return access(path, F_OK) != 0 && errno == ENOENT; }

}  // namespace platform
