#pragma once
// What every name of a file shares: its volume and its index on it.
// Private to the Windows backend; its calls go through the write path's
// table.

#include <windows.h>

namespace platform {

struct FileIdentity {
  DWORD volume;
  DWORD indexHigh;
  DWORD indexLow;

  bool operator==(const FileIdentity&) const = default;
};

/// The identity of the file `file` is open on; false when it cannot be had.
bool IdentifyHandle(HANDLE file, FileIdentity* identity);

/// The identity of the file `path` names (a directory too); false when
/// there is none or it cannot be had.
bool IdentifyPath(const char* path, FileIdentity* identity);

}  // namespace platform
