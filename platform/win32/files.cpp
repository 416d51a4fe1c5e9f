#include <errno.h>
#include <io.h>

#include "platform/platform.h"

namespace platform {

bool FileMissing(const char* path) { return _access(path, 0) != 0 && errno == ENOENT; }

}  // namespace platform
