// The replacement primitives over Win32 file handles. The file's place is
// the path of the handle once opened, never a second lookup of the name;
// every system call goes through the table of system_calls.h.

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "file_identity.h"
#include "file_security.h"
#include "platform/replace_file_backend.h"
#include "platform/system_call_table.h"
#include "system_error.h"

namespace platform::backend {

using syscalls::sys;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

/// Rounds of the move while the old file is held open (a reader that
/// shares no deletion; Wine refuses to replace any open file): a second.
constexpr int kMoveTries = 100;
constexpr DWORD kMovePauseMs = 10;

/// Temporary names tried before giving up.
constexpr unsigned kMaxTempNames = 64;

/// What a replacement keeps of the old file's attributes; read-only never
/// gets this far.
constexpr DWORD kCarriedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

/// The old file's owner and DACL while they are carried over: as large as
/// a descriptor can be, too large for the stack.
alignas(void*) BYTE oldSecurity[SECURITY_DESCRIPTOR_MIN_LENGTH + 65536];

HANDLE Handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
FileHandle FromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

/// Creates `path` with `disposition`, readable by its creator, SYSTEM and
/// the Administrators alone: what it will hold is the password's seal. An
/// existing file opened this way keeps its own DACL.
HANDLE CreatePrivate(const char* path, DWORD access, DWORD disposition, DWORD share) {
  PrivateFileSecurity security;
  if (!security.Build()) return INVALID_HANDLE_VALUE;
  return sys.CreateFileA(path, access, share, security.Attributes(), disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

/// The path the handle's file has, links resolved, in the plain drive or
/// share form, into `out`; false when it cannot be had or does not fit.
bool ResolvedPath(HANDLE file, char* out, std::size_t capacity) {
  char path[kPlaceCapacity];
  const DWORD n = sys.GetFinalPathNameByHandleA(file, path, sizeof path, FILE_NAME_NORMALIZED);
  if (n == 0 || n >= sizeof path) return false;
  const char* plain = path;
  if (std::strncmp(path, "\\\\?\\UNC\\", 8) == 0) {
    plain = path + 6;  // "\\?\UNC\server" becomes "\\server"
    path[6] = '\\';
  } else if (std::strncmp(path, "\\\\?\\", 4) == 0) {
    plain = path + 4;
  }
  return CopyPath(out, capacity, plain) == 0;
}

/// Whether anything is at the name, whether it is a link, and, when it is,
/// that a trusted account owns it; the link is not followed.
int LookAtName(const char* path, bool* missing, bool* isLink) {
  const HANDLE name =
      sys.CreateFileA(path, READ_CONTROL | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (name == INVALID_HANDLE_VALUE) {
    *missing = GetLastError() == ERROR_FILE_NOT_FOUND;
    return *missing ? 0 : LastSystemErrno();
  }
  BY_HANDLE_FILE_INFORMATION info{};
  int error = sys.GetFileInformationByHandle(name, &info) ? 0 : LastSystemErrno();
  *isLink = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (error == 0 && *isLink) error = CheckOwner(name);
  sys.CloseHandle(name);
  return error;
}

/// Opens what the name leads to for writing, and for reading too where the
/// caller may, so its content can be put back; through a dangling link the
/// link's target is created, as an open for writing would.
int OpenFollowing(const char* path, bool isLink, Target* target) {
  HANDLE file = sys.CreateFileA(path, GENERIC_READ | GENERIC_WRITE | READ_CONTROL, kShareAll,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  target->readable = file != INVALID_HANDLE_VALUE;
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
    file = sys.CreateFileA(path, GENERIC_WRITE | READ_CONTROL, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (file == INVALID_HANDLE_VALUE && isLink && GetLastError() == ERROR_FILE_NOT_FOUND) {
    file = CreatePrivate(path, GENERIC_READ | GENERIC_WRITE | READ_CONTROL, OPEN_ALWAYS, kShareAll);
    target->created = true;
  }
  if (file == INVALID_HANDLE_VALUE) return LastSystemErrno();
  target->file = FromHandle(file);
  return 0;
}

/// True when `resolved` is the name `path` gives in the directory `path`
/// names, as Windows compares names: no link took the open elsewhere.
bool SamePlace(const char* path, const char* resolved) {
  const char* slash = std::strrchr(path, '\\');
  if (slash == nullptr) return false;
  char dir[kPlaceCapacity];
  char expected[kPlaceCapacity];
  const int n = std::snprintf(dir, sizeof dir, "%.*s\\", static_cast<int>(slash - path), path);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof dir) return false;
  const HANDLE handle = sys.CreateFileA(dir, FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool known = ResolvedPath(handle, dir, sizeof dir);
  sys.CloseHandle(handle);
  if (!known) return false;
  const std::size_t length = std::strlen(dir);
  const char* separator = length > 0 && dir[length - 1] == '\\' ? "" : "\\";
  const int m = std::snprintf(expected, sizeof expected, "%s%s%s", dir, separator, slash + 1);
  return m >= 0 && static_cast<std::size_t>(m) < sizeof expected &&
         CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, expected, -1, resolved, -1) ==
             CSTR_EQUAL;
}

/// What the open file is: a trusted account's, writable, a regular file or
/// not, where it is. A name that led elsewhere without a link that could
/// be checked (Wine shows a Unix link as the file it names) is refused like
/// a link another account owns.
int Describe(const char* path, bool isLink, Target* target) {
  const HANDLE file = Handle(target->file);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!sys.GetFileInformationByHandle(file, &info)) return LastSystemErrno();
  if (const int error = CheckOwner(file)) return error;
  // A system that lets an administrator open a read-only file for writing
  // would still refuse to replace it; the open for writing never may.
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) return EACCES;
  SetLastError(NO_ERROR);
  const DWORD type = sys.GetFileType(file);
  if (type == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR) return LastSystemErrno();
  target->regular =
      type == FILE_TYPE_DISK && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  target->linkCount = info.nNumberOfLinks;
  if (!ResolvedPath(file, target->place, sizeof target->place)) return EPERM;
  return isLink || SamePlace(path, target->place) ? 0 : EPERM;
}

/// The file's length, its pointer left where it is.
int SetLength(HANDLE file, std::uint64_t length) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  return sys.SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end)
             ? 0
             : LastSystemErrno();
}

/// Moves all `length` bytes with `step`(bytes done so far, bytes moved), a
/// ReadFile or WriteFile that may move fewer: 0, or the errno value of the
/// failure (EIO for a step that moves nothing).
template <typename Step>
int Whole(std::size_t length, Step step) {
  for (std::size_t done = 0; done < length;) {
    DWORD n = 0;
    if (!step(done, &n)) return LastSystemErrno();
    if (n == 0) return EIO;
    done += n;
  }
  return 0;
}

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

/// A temporary name beside `place` that fits in a path: "NAME.XXXXXX", or
/// "~XXXXXX" in the same directory where that would not fit.
int TempName(const char* place, unsigned value, char (&out)[kPlaceCapacity]) {
  const int n = std::snprintf(out, sizeof out, "%s.%06x", place, value);
  if (n >= 0 && n < MAX_PATH) return 0;
  const char* slash = std::strrchr(place, '\\');
  if (slash == nullptr) return ENAMETOOLONG;
  const int m =
      std::snprintf(out, sizeof out, "%.*s\\~%06x", static_cast<int>(slash - place), place, value);
  return m >= 0 && m < MAX_PATH ? 0 : ENAMETOOLONG;
}

/// Gives the temporary file the old file's DACL, owner, attributes and
/// creation time, as the old file's replacement should have them. An owner
/// the caller may not give it: EPERM, and the file is written in place.
int CarryOver(HANDLE from, HANDLE to) {
  DWORD needed = 0;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!sys.GetKernelObjectSecurity(from, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                   oldSecurity, sizeof oldSecurity, &needed) ||
      !sys.GetFileInformationByHandle(from, &info)) {
    return LastSystemErrno();
  }
  if (!sys.SetKernelObjectSecurity(to, DACL_SECURITY_INFORMATION, oldSecurity)) {
    return LastSystemErrno();
  }
  if (!sys.SetKernelObjectSecurity(to, OWNER_SECURITY_INFORMATION, oldSecurity)) return EPERM;
  FILE_BASIC_INFO basic{};
  basic.CreationTime.LowPart = info.ftCreationTime.dwLowDateTime;
  basic.CreationTime.HighPart = static_cast<LONG>(info.ftCreationTime.dwHighDateTime);
  basic.FileAttributes = info.dwFileAttributes & kCarriedAttributes;
  return sys.SetFileInformationByHandle(to, FileBasicInfo, &basic, sizeof basic)
             ? 0
             : LastSystemErrno();
}

}  // namespace

int OpenTarget(const char* path, Target* target) {
  bool missing = false;
  bool isLink = false;
  if (const int error = LookAtName(path, &missing, &isLink)) return error;
  if (missing) return CopyPath(target->place, sizeof target->place, path);
  if (const int error = OpenFollowing(path, isLink, target)) return error;
  return Describe(path, isLink, target);
}

// One byte at the largest offset, past any content: readers and writers of
// the content are never blocked by it.
int TryLockExclusive(FileHandle file) {
  OVERLAPPED at = At(0x7FFFFFFFFFFFFFFFull);
  if (sys.LockFileEx(Handle(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                     &at)) {
    return 0;
  }
  return GetLastError() == ERROR_LOCK_VIOLATION ? EWOULDBLOCK : LastSystemErrno();
}

void Pause(unsigned milliseconds) { sys.SleepEx(milliseconds, FALSE); }

bool StillNames(const Target& target) {
  FileIdentity named{};
  FileIdentity open{};
  return IdentifyPath(target.place, &named) && IdentifyHandle(Handle(target.file), &open) &&
         named == open;
}

int FileLength(FileHandle file, std::uint64_t* length) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!sys.GetFileInformationByHandle(Handle(file), &info)) return LastSystemErrno();
  *length = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return 0;
}

int ReadAt(FileHandle file, std::uint64_t offset, char* buffer, std::size_t length) {
  return Whole(length, [&](std::size_t done, DWORD* n) {
    OVERLAPPED at = At(offset + done);
    return sys.ReadFile(Handle(file), buffer + done, static_cast<DWORD>(length - done), n, &at);
  });
}

int CreateTemp(const Target& target, TempFile* temp) {
  // A unique name from the process id and the clock; a name left by an
  // earlier run that died is skipped, never reused.
  const unsigned seed = GetCurrentProcessId() * 2654435761u ^ GetTickCount();
  HANDLE file = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; file == INVALID_HANDLE_VALUE; ++attempt) {
    if (attempt == kMaxTempNames) return EEXIST;
    if (const int error =
            TempName(target.place, (seed + attempt * 7919u) & 0xffffffu, temp->place)) {
      return error;
    }
    file = CreatePrivate(temp->place, GENERIC_WRITE | WRITE_DAC | WRITE_OWNER, CREATE_NEW, 0);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
      return LastSystemErrno();
    }
  }
  const int error = target.Exists() ? CarryOver(Handle(target.file), file) : 0;
  if (error != 0) {
    sys.CloseHandle(file);
    sys.DeleteFileA(temp->place);
    return error;
  }
  temp->file = FromHandle(file);
  return 0;
}

int CreateInPlace(Target* target) {
  const HANDLE file = CreatePrivate(target->place, GENERIC_WRITE, CREATE_NEW, kShareAll);
  if (file == INVALID_HANDLE_VALUE) return LastSystemErrno();
  target->file = FromHandle(file);
  target->regular = true;
  return 0;
}

void RemoveCreated(const Target& target) { sys.DeleteFileA(target.place); }

int WriteAll(FileHandle file, const char* bytes, std::size_t length) {
  return Whole(length, [&](std::size_t done, DWORD* n) {
    return sys.WriteFile(Handle(file), bytes + done, static_cast<DWORD>(length - done), n, nullptr);
  });
}

int WriteAt(FileHandle file, std::uint64_t offset, const char* bytes, std::size_t length) {
  return Whole(length, [&](std::size_t done, DWORD* n) {
    OVERLAPPED at = At(offset + done);
    return sys.WriteFile(Handle(file), bytes + done, static_cast<DWORD>(length - done), n, &at);
  });
}

// The allocation size, not the end of file: the length and content stay.
// Where the system has no such call (Wine), nothing is reserved.
int Reserve(FileHandle file, std::size_t length) {
  FILE_ALLOCATION_INFO allocation{};
  allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(length);
  if (sys.SetFileInformationByHandle(Handle(file), FileAllocationInfo, &allocation,
                                     sizeof allocation)) {
    return 0;
  }
  switch (GetLastError()) {
    case ERROR_CALL_NOT_IMPLEMENTED:
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
      return 0;
    default:
      return LastSystemErrno();
  }
}

int Cut(FileHandle file, std::uint64_t length) { return SetLength(Handle(file), length); }

int FlushToDisk(FileHandle file) {
  return sys.FlushFileBuffers(Handle(file)) ? 0 : LastSystemErrno();
}

int CloseFile(FileHandle file) { return sys.CloseHandle(Handle(file)) ? 0 : LastSystemErrno(); }

// One rename, so the name holds the old file or the new one for every
// reader and after any kill. The old file's handle goes first: Wine cannot
// replace a file held open, and Windows not one a reader holds without
// sharing deletion, which the rounds wait out; a reader that holds on
// longer leaves the file to be written in place (EBUSY).
int MoveIntoPlace(const TempFile& temp, Target* target) {
  if (target->Exists()) sys.CloseHandle(Handle(target->file));
  target->file = kNoFile;
  for (int round = 0; round < kMoveTries; ++round) {
    if (sys.MoveFileExA(temp.place, target->place,
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return 0;
    }
    const DWORD code = GetLastError();
    if (code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION) {
      return ErrnoFromSystem(code);
    }
    Pause(kMovePauseMs);
  }
  return EBUSY;
}

void DiscardTemp(const Target&, const TempFile& temp) { sys.DeleteFileA(temp.place); }

// MOVEFILE_WRITE_THROUGH returns once the move is on disk.
void SyncPlace(const Target&) {}

void ReleaseTarget(Target*) {}

}  // namespace platform::backend
