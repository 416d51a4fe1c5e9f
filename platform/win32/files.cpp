#include <windows.h>

#include <cerrno>

#include "file_identity.h"
#include "platform/platform.h"
#include "system_error.h"

namespace platform {

CreateResult CreateExclusive(const char* path) {
  const HANDLE file =
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS ? CreateResult::kExists
                                                                     : CreateResult::kFailed;
  }
  CloseHandle(file);
  return CreateResult::kCreated;
}

bool UnlinkFile(const char* path) { return DeleteFileA(path) != FALSE; }

bool NamesSameFile(const char* first, const char* second) {
  FileIdentity a{};
  FileIdentity b{};
  const bool firstExists = IdentifyPath(first, &a);
  const bool secondExists = IdentifyPath(second, &b);
  if (firstExists || secondExists) return firstExists && secondExists && a == b;
  // Neither exists yet: the full paths, compared as Windows compares names.
  char firstFull[MAX_PATH];
  char secondFull[MAX_PATH];
  const DWORD n1 = GetFullPathNameA(first, MAX_PATH, firstFull, nullptr);
  const DWORD n2 = GetFullPathNameA(second, MAX_PATH, secondFull, nullptr);
  return n1 > 0 && n1 < MAX_PATH && n2 > 0 && n2 < MAX_PATH &&
         CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, firstFull, -1, secondFull, -1) ==
             CSTR_EQUAL;
}

NameHolds WhatNameHolds(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return ErrnoFromSystem(GetLastError()) == ENOENT ? NameHolds::kNothing : NameHolds::kUntestable;
  }
  constexpr DWORD kNotAFile =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
  return (attributes & kNotAFile) != 0 ? NameHolds::kOther : NameHolds::kRegularFile;
}

}  // namespace platform
