#include "file_identity.h"

namespace platform {

bool IdentifyHandle(HANDLE file, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return false;
  *identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

// Opened for no access at all, shared every way: it disturbs no other
// handle, and needs no right on the file.
bool IdentifyPath(const char* path, FileIdentity* identity) {
  const HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool known = IdentifyHandle(file, identity);
  CloseHandle(file);
  return known;
}

}  // namespace platform
