#include <windows.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "platform/library_backend.h"
#include "platform/platform.h"

namespace platform {

namespace {

/// The largest value an environment variable can have.
constexpr DWORD kVariableCapacity = 32767;

/// The PATH variable while it is searched; too large for the stack of every
/// channel's open.
char pathVariable[kVariableCapacity];

/// A directory named in full ("X:\dir", "\\server\share"); any other entry
/// would be looked up from the current directory.
bool IsFullPath(const char* dir, std::size_t length) {
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  const bool drive = length >= 3 && dir[1] == ':' && separator(dir[2]) &&
                     ((dir[0] >= 'A' && dir[0] <= 'Z') || (dir[0] >= 'a' && dir[0] <= 'z'));
  const bool share = length >= 2 && separator(dir[0]) && separator(dir[1]);
  return drive || share;
}

Library FromSystemDirectories(const char* bareName) {
  for (auto directory : {GetSystemDirectoryA, GetWindowsDirectoryA}) {
    char dir[MAX_PATH];
    const UINT length = directory(dir, sizeof dir);
    if (length == 0 || length >= sizeof dir) continue;
    if (Library module = backend::LoadFrom(dir, length, bareName)) return module;
  }
  return nullptr;
}

/// The directories of PATH that are named in full, in their order. A value
/// cut to the buffer could name a directory that is not on the path.
Library FromPathVariable(const char* bareName) {
  const DWORD length = GetEnvironmentVariableA("PATH", pathVariable, sizeof pathVariable);
  if (length == 0 || length >= sizeof pathVariable) return nullptr;
  for (const char* entry = pathVariable; *entry != '\0';) {
    const char* end = std::strchr(entry, ';');
    if (end == nullptr) end = entry + std::strlen(entry);
    const char* dir = entry;
    std::size_t dirLength = static_cast<std::size_t>(end - entry);
    if (dirLength >= 2 && dir[0] == '"' && dir[dirLength - 1] == '"') {
      ++dir;
      dirLength -= 2;
    }
    if (IsFullPath(dir, dirLength)) {
      if (Library module = backend::LoadFrom(dir, dirLength, bareName)) return module;
    }
    entry = *end == ';' ? end + 1 : end;
  }
  return nullptr;
}

}  // namespace

// The library's own imports are then looked for beside it first, and
// SetDllDirectoryA("") takes the current directory out of their search.
Library backend::LoadFrom(const char* dir, std::size_t length, const char* bareName) {
  while (length > 0 && (dir[length - 1] == '\\' || dir[length - 1] == '/')) --length;
  char path[MAX_PATH];
  const int n =
      std::snprintf(path, sizeof path, "%.*s\\%s.dll", static_cast<int>(length), dir, bareName);
  if (n < 0 || n >= static_cast<int>(sizeof path)) return nullptr;
  SetDllDirectoryA("");
  return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Where the system's own search would look after the program's directory
// (the system directories, the path), except the current directory, from
// which anyone who can write where an administrator starts a program could
// plant a library in the process that holds the password.
Library backend::FindElsewhere(const char* bareName) {
  if (Library module = FromSystemDirectories(bareName)) return module;
  return FromPathVariable(bareName);
}

Symbol LibrarySymbol(Library library, const char* name) {
  return std::bit_cast<Symbol>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(Library library) { FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace platform
