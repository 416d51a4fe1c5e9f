#include "replace_over.h"

#include "system_error.h"

namespace platform {

namespace {

/// Each round follows another writer's file taking the empty name; a name
/// taken this often is being fought over, not written.
constexpr int kMaxRounds = 100;

/// The old file's DACL while it is replaced: as large as a DACL can be,
/// too large for the stack.
alignas(void*) BYTE oldSecurity[SECURITY_DESCRIPTOR_MIN_LENGTH + 65536];

bool ReadDacl(const char* path) {
  DWORD needed = 0;
  return GetFileSecurityA(path, DACL_SECURITY_INFORMATION, oldSecurity, sizeof oldSecurity,
                          &needed) != FALSE;
}

}  // namespace

// The temporary file goes into an empty name without replacing anything
// (MoveFileExA cannot replace a file another process holds open, which
// ReplaceFileA can): when another writer's file took the name meanwhile,
// that file is replaced in the next round.
int ReplaceOver(const char* tempPath, const char* targetPath, ReplaceFileFn replace) {
  const bool daclRead = ReadDacl(targetPath);
  for (int round = 0; round < kMaxRounds; ++round) {
    if (replace(targetPath, tempPath, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
      return 0;
    }
    const DWORD code = GetLastError();
    if (code == ERROR_UNABLE_TO_MOVE_REPLACEMENT || code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
      // The old file is gone from the name: a grant the administrator made
      // on it survives on the new one. Without one read, the temporary file
      // keeps its own, which only its creator, SYSTEM and the
      // administrators pass.
      if (daclRead) SetFileSecurityA(tempPath, DACL_SECURITY_INFORMATION, oldSecurity);
    } else if (code != ERROR_FILE_NOT_FOUND) {
      return ErrnoFromSystem(code);
    }
    if (MoveFileExA(tempPath, targetPath, MOVEFILE_WRITE_THROUGH)) return 0;
    const DWORD moveCode = GetLastError();
    if (moveCode != ERROR_ALREADY_EXISTS && moveCode != ERROR_FILE_EXISTS) {
      return ErrnoFromSystem(moveCode);
    }
  }
  return EBUSY;
}

}  // namespace platform
