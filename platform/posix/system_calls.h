#pragma once
// Every system call of the credential file's write path, listed for the
// table both backends share (platform/system_call_table.h), and what a
// failure looks like here.
// Private to the POSIX backend. Each call fails as the system's does: -1
// with errno set.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace platform::syscalls {

// X(result, name, parameters, arguments, failure value)
#define KIT_SYSTEM_CALLS(X)                                                                        \
  X(int, openat, (int dir, const char* name, int flags, mode_t mode), (dir, name, flags, mode),    \
    -1)                                                                                            \
  X(int, fstatat, (int dir, const char* name, struct stat* st, int flags), (dir, name, st, flags), \
    -1)                                                                                            \
  X(int, fstat, (int fd, struct stat* st), (fd, st), -1)                                           \
  X(ssize_t, readlinkat, (int dir, const char* name, char* buffer, size_t size),                   \
    (dir, name, buffer, size), -1)                                                                 \
  X(int, fcntl, (int fd, int command, int argument), (fd, command, argument), -1)                  \
  X(int, flock, (int fd, int operation), (fd, operation), -1)                                      \
  X(int, nanosleep, (const struct timespec* pause, struct timespec* left), (pause, left), -1)      \
  X(ssize_t, pread, (int fd, void* buffer, size_t size, off_t at), (fd, buffer, size, at), -1)     \
  X(ssize_t, write, (int fd, const void* bytes, size_t size), (fd, bytes, size), -1)               \
  X(ssize_t, pwrite, (int fd, const void* bytes, size_t size, off_t at), (fd, bytes, size, at),    \
    -1)                                                                                            \
  X(int, fallocate, (int fd, int mode, off_t at, off_t length), (fd, mode, at, length), -1)        \
  X(int, ftruncate, (int fd, off_t length), (fd, length), -1)                                      \
  X(int, fsync, (int fd), (fd), -1)                                                                \
  X(int, close, (int fd), (fd), -1)                                                                \
  X(int, fchown, (int fd, uid_t owner, gid_t group), (fd, owner, group), -1)                       \
  X(int, fchmod, (int fd, mode_t mode), (fd, mode), -1)                                            \
  X(ssize_t, flistxattr, (int fd, char* names, size_t size), (fd, names, size), -1)                \
  X(ssize_t, fgetxattr, (int fd, const char* name, void* value, size_t size),                      \
    (fd, name, value, size), -1)                                                                   \
  X(int, fsetxattr, (int fd, const char* name, const void* value, size_t size, int flags),         \
    (fd, name, value, size, flags), -1)                                                            \
  X(int, renameat, (int fromDir, const char* from, int toDir, const char* to),                     \
    (fromDir, from, toDir, to), -1)                                                                \
  X(int, unlinkat, (int dir, const char* name, int flags), (dir, name, flags), -1)

/// The calling convention of the calls (none of its own here).
#define KIT_SYSTEM_CALL

/// How a failed call reports why.
inline void SetCallError(unsigned long error) { errno = static_cast<int>(error); }

/// Ends the process at once, as a kill would: nothing is flushed or run.
[[noreturn]] inline void EndProcessNow(int code) { _exit(code); }

/// A failure of the device, as the calls report one.
inline constexpr unsigned long kDeviceError = EIO;

}  // namespace platform::syscalls
