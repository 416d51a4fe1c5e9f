#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"

namespace platform {

namespace {

/// errno after a failed runtime call, never 0.
int Failure() { return errno != 0 ? errno : EIO; }

/// The errno value for a failed file-system call of the system.
int ErrnoFromSystem(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_UNABLE_TO_REMOVE_REPLACED:
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT:
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT_2:
      return EACCES;
    default:
      return EIO;
  }
}

FILE* Stream(Replacement* replacement) { return static_cast<FILE*>(replacement->stream); }

void RemoveTemp(Replacement* replacement) {
  DeleteFileA(replacement->tempPath);
  replacement->tempPath[0] = '\0';
}

/// Moves the written file into place. ReplaceFileA keeps the old file's
/// security settings and attributes; it needs the old file to exist, so a
/// file that vanished meanwhile is moved into place instead.
bool MoveIntoPlace(const char* temp, const char* target, bool targetExists) {
  if (targetExists) {
    if (ReplaceFileA(target, temp, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
      return true;
    }
    if (GetLastError() != ERROR_FILE_NOT_FOUND) {
      return false;
    }
  }
  return MoveFileExA(temp, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace

int BeginReplacement(Replacement* replacement, const char* target) {
  replacement->stream = nullptr;
  replacement->targetExists = false;
  replacement->tempPath[0] = '\0';

  // Opening without truncation tells whether the old file may be written,
  // as opening it with "w" would. The read-only attribute is tested as well:
  // a system that lets an administrator open such a file would still refuse
  // to replace it.
  const int probe = _open(target, _O_WRONLY | _O_BINARY);
  if (probe >= 0) {
    _close(probe);
    const DWORD attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      return EACCES;
    }
    replacement->targetExists = true;
  } else if (errno != ENOENT) {
    return Failure();
  }

  // A unique name from the process id and the clock; a name left by an
  // earlier run that died is skipped, never reused.
  const unsigned seed = static_cast<unsigned>(_getpid()) * 2654435761u ^ GetTickCount();
  int fd = -1;
  for (unsigned attempt = 0; attempt < 64 && fd < 0; ++attempt) {
    const int n = std::snprintf(replacement->tempPath, sizeof replacement->tempPath, "%s.%06x",
                                target, (seed + attempt * 7919u) & 0xffffffu);
    if (n < 0 || static_cast<unsigned>(n) >= sizeof replacement->tempPath) {
      replacement->tempPath[0] = '\0';
      return ENAMETOOLONG;
    }
    fd = _open(replacement->tempPath, _O_CREAT | _O_EXCL | _O_WRONLY | _O_TEXT,
               _S_IREAD | _S_IWRITE);
    if (fd < 0 && errno != EEXIST) {
      const int error = Failure();
      replacement->tempPath[0] = '\0';
      return error;
    }
  }
  if (fd < 0) {
    replacement->tempPath[0] = '\0';
    return EEXIST;
  }
  replacement->stream = _fdopen(fd, "wt");
  if (replacement->stream == nullptr) {
    const int error = Failure();
    _close(fd);
    RemoveTemp(replacement);
    return error;
  }
  return 0;
}

int WriteReplacement(Replacement* replacement, const char* text) {
  errno = 0;
  return std::fputs(text, Stream(replacement)) == EOF ? Failure() : 0;
}

int CommitReplacement(Replacement* replacement, const char* target) {
  FILE* stream = Stream(replacement);
  replacement->stream = nullptr;
  errno = 0;
  int error = 0;
  if (std::fflush(stream) != 0 || _commit(_fileno(stream)) != 0) {
    error = Failure();
  }
  errno = 0;
  if (std::fclose(stream) != 0 && error == 0) {
    error = Failure();
  }
  if (error == 0 && !MoveIntoPlace(replacement->tempPath, target, replacement->targetExists)) {
    error = ErrnoFromSystem(GetLastError());
  }
  if (error != 0) {
    RemoveTemp(replacement);
    return error;
  }
  replacement->tempPath[0] = '\0';
  return 0;
}

void AbandonReplacement(Replacement* replacement) {
  if (replacement->stream != nullptr) {
    std::fclose(Stream(replacement));
    replacement->stream = nullptr;
  }
  if (replacement->tempPath[0] != '\0') {
    RemoveTemp(replacement);
  }
}

}  // namespace platform
