#include "file_identity.h"

#include "platform/system_call_table.h"

namespace platform {

using syscalls::sys;

bool IdentifyHandle(HANDLE file, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!sys.GetFileInformationByHandle(file, &info)) return false;
  *identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

// Opened for no access at all, shared every way: it disturbs no other
// handle, and needs no right on the file.
bool IdentifyPath(const char* path, FileIdentity* identity) {
  const HANDLE file =
      sys.CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool known = IdentifyHandle(file, identity);
  sys.CloseHandle(file);
  return known;
}

}  // namespace platform
