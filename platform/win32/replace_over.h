#pragma once
// The last step of a safe replacement on Windows, with every failure of
// ReplaceFileA left holding the old file or the new one under the name.
// Private to the Windows backend. The replacing call is a parameter, so
// that a test can make it fail as the system cannot be made to.

#include <windows.h>

namespace platform {

using ReplaceFileFn = BOOL(WINAPI*)(LPCSTR replaced, LPCSTR replacement, LPCSTR backup, DWORD flags,
                                    LPVOID exclude, LPVOID reserved);

/// Moves the written file `tempPath` over `targetPath` with `replace`
/// (ReplaceFileA, which keeps the old file's security settings), or into
/// the name when no file has it. ReplaceFileA can fail having taken the old
/// file from the name (ERROR_UNABLE_TO_MOVE_REPLACEMENT: deleted;
/// ERROR_UNABLE_TO_MOVE_REPLACEMENT_2: under another name): the temporary
/// file then takes the old file's DACL, read before, and is moved into the
/// name itself. A file another writer puts at the empty name meanwhile is
/// replaced in turn. 0, or the errno value of the failure.
int ReplaceOver(const char* tempPath, const char* targetPath, ReplaceFileFn replace);

}  // namespace platform
