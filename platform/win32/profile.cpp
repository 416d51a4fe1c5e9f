#include <windows.h>

#include "platform/platform.h"

namespace platform {

int ProfileInt(const char* section, const char* key, int defaultValue, const char* path) {
  return static_cast<int>(GetPrivateProfileIntA(section, key, defaultValue, path));
}

}  // namespace platform
