#include <windows.h>

#include "platform/platform.h"

namespace platform {

namespace {

/// True when `path` names a file over kProfileLimit bytes, links followed.
/// GetPrivateProfileIntA reads a file whole, however large.
bool TooLarge(const char* path) {
  const HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  LARGE_INTEGER size{};
  const bool large = GetFileSizeEx(file, &size) != FALSE &&
                     static_cast<unsigned long long>(size.QuadPart) > kProfileLimit;
  CloseHandle(file);
  return large;
}

}  // namespace

int ProfileInt(const char* section, const char* key, int defaultValue, const char* path) {
  if (TooLarge(path)) {
    return defaultValue;
  }
  return static_cast<int>(GetPrivateProfileIntA(section, key, defaultValue, path));
}

}  // namespace platform
