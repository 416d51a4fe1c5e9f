// The replacement primitives over Win32 file handles.

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "file_identity.h"
#include "file_security.h"
#include "platform/platform.h"
#include "platform/replace_file_backend.h"
#include "replace_over.h"
#include "system_error.h"

namespace platform::backend {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
FileHandle FromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

HANDLE OpenForWriting(const char* path, DWORD disposition) {
  return CreateFileA(path, GENERIC_WRITE, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

/// Creates `path` for writing, with `disposition`, readable by its creator,
/// SYSTEM and the Administrators alone: what it will hold is the password's
/// seal. An existing file opened this way keeps its own DACL.
HANDLE CreatePrivate(const char* path, DWORD disposition, DWORD share) {
  PrivateFileSecurity security;
  if (!security.Build()) return INVALID_HANDLE_VALUE;
  return CreateFileA(path, GENERIC_WRITE, share, security.Attributes(), disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

/// A symbolic link whose target is missing: the link itself is there.
bool IsDanglingLink(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

/// The path the handle's file has, links resolved, in the plain drive or
/// share form; empty when it cannot be had.
void ResolvedPath(HANDLE file, char* out, std::size_t capacity) {
  out[0] = '\0';
  char path[kResolvedPathCapacity];
  const DWORD n = GetFinalPathNameByHandleA(file, path, sizeof path, FILE_NAME_NORMALIZED);
  if (n == 0 || n >= sizeof path) return;
  const char* plain = path;
  if (std::strncmp(path, "\\\\?\\UNC\\", 8) == 0) {
    plain = path + 6;  // "\\?\UNC\server" becomes "\\server"
    path[6] = '\\';
  } else if (std::strncmp(path, "\\\\?\\", 4) == 0) {
    plain = path + 4;
  }
  if (CopyPath(out, capacity, plain) != 0) out[0] = '\0';
}

/// The file's length, its pointer left where it is.
int SetLength(HANDLE file, std::size_t length) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  return SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end) ? 0
                                                                               : LastSystemErrno();
}

}  // namespace

int OpenTarget(const char* path, Target* target) {
  HANDLE file = OpenForWriting(path, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_NOT_FOUND) return ErrnoFromSystem(code);
    if (!IsDanglingLink(path)) return CopyPath(target->resolved, sizeof target->resolved, path);
    // A dangling link: its target is created, as an open for writing would.
    file = CreatePrivate(path, OPEN_ALWAYS, kShareAll);
    if (file == INVALID_HANDLE_VALUE) return LastSystemErrno();
    target->created = true;
  }
  target->file = FromHandle(file);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return LastSystemErrno();
  // A system that lets an administrator open a read-only file for writing
  // would still refuse to replace it; the open for writing never may.
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) return EACCES;
  target->regular = GetFileType(file) == FILE_TYPE_DISK;
  target->linkCount = info.nNumberOfLinks;
  ResolvedPath(file, target->resolved, sizeof target->resolved);
  return 0;
}

// One byte at the largest offset, past any content: readers and writers of
// the content are never blocked by it. The handle shares every access, so
// ReplaceFileA can replace the name while it is held.
int LockExclusive(FileHandle file) {
  OVERLAPPED at{};
  at.Offset = 0xFFFFFFFF;
  at.OffsetHigh = 0x7FFFFFFF;
  return LockFileEx(Handle(file), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) ? 0 : LastSystemErrno();
}

bool StillNames(const char* path, FileHandle file) {
  FileIdentity named{};
  FileIdentity open{};
  return IdentifyPath(path, &named) && IdentifyHandle(Handle(file), &open) && named == open;
}

int FileLength(FileHandle file, std::uint64_t* length) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(Handle(file), &size)) return LastSystemErrno();
  *length = static_cast<std::uint64_t>(size.QuadPart);
  return 0;
}

int CreateTemp(const Target& target, TempFile* temp) {
  if (target.resolved[0] == '\0') return ENAMETOOLONG;
  // A unique name from the process id and the clock; a name left by an
  // earlier run that died is skipped, never reused.
  const unsigned seed = GetCurrentProcessId() * 2654435761u ^ GetTickCount();
  for (unsigned attempt = 0; attempt < 64; ++attempt) {
    const int n = std::snprintf(temp->path, sizeof temp->path, "%s.%06x", target.resolved,
                                (seed + attempt * 7919u) & 0xffffffu);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof temp->path) return ENAMETOOLONG;
    const HANDLE file = CreatePrivate(temp->path, CREATE_NEW, 0);
    if (file != INVALID_HANDLE_VALUE) {
      temp->file = FromHandle(file);
      return 0;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return LastSystemErrno();
  }
  return EEXIST;
}

int WriteAll(FileHandle file, const char* bytes, std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    DWORD written = 0;
    if (!WriteFile(Handle(file), bytes + done, static_cast<DWORD>(length - done), &written,
                   nullptr)) {
      return LastSystemErrno();
    }
    if (written == 0) return EIO;
    done += written;
  }
  return 0;
}

int Reserve(FileHandle file, std::uint64_t oldLength, std::size_t length) {
  const int error = SetLength(Handle(file), length);
  if (error != 0) SetLength(Handle(file), static_cast<std::size_t>(oldLength));
  return error;
}

int Cut(FileHandle file, std::size_t length) { return SetLength(Handle(file), length); }

int FlushToDisk(FileHandle file) { return FlushFileBuffers(Handle(file)) ? 0 : LastSystemErrno(); }

int CloseFile(FileHandle file) { return CloseHandle(Handle(file)) ? 0 : LastSystemErrno(); }

int MoveIntoPlace(const char* tempPath, const Target& target) {
  return ReplaceOver(tempPath, target.resolved, ReplaceFileA);
}

void DiscardTemp(const char* tempPath) { DeleteFileA(tempPath); }

// MOVEFILE_WRITE_THROUGH and ReplaceFileA return once the move is on disk.
void SyncDirectoryOf(const char*) {}

}  // namespace platform::backend
