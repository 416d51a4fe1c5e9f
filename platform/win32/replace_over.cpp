#include "replace_over.h"

#include "system_error.h"

namespace platform {

namespace {

constexpr DWORD kMoveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

/// The old file's DACL while it is replaced: as large as a DACL can be,
/// too large for the stack.
alignas(void*) BYTE oldSecurity[SECURITY_DESCRIPTOR_MIN_LENGTH + 65536];

bool ReadDacl(const char* path) {
  DWORD needed = 0;
  return GetFileSecurityA(path, DACL_SECURITY_INFORMATION, oldSecurity, sizeof oldSecurity,
                          &needed) != FALSE;
}

/// The temporary file under the name, with the DACL the old file had, so a
/// grant an administrator made survives; without one read, it keeps its
/// own, which only its creator, SYSTEM and the administrators pass.
int MoveWithOldDacl(const char* tempPath, const char* targetPath, bool daclRead) {
  if (daclRead) SetFileSecurityA(tempPath, DACL_SECURITY_INFORMATION, oldSecurity);
  return MoveFileExA(tempPath, targetPath, kMoveFlags) ? 0 : LastSystemErrno();
}

}  // namespace

int ReplaceOver(const char* tempPath, const char* targetPath, ReplaceFileFn replace) {
  const bool daclRead = ReadDacl(targetPath);
  if (replace(targetPath, tempPath, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    return 0;
  }
  switch (const DWORD code = GetLastError()) {
    case ERROR_FILE_NOT_FOUND:  // no file had the name, or it went meanwhile
      return MoveFileExA(tempPath, targetPath, kMoveFlags) ? 0 : LastSystemErrno();
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT:
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT_2:
      return MoveWithOldDacl(tempPath, targetPath, daclRead);
    default:
      return ErrnoFromSystem(code);
  }
}

}  // namespace platform
