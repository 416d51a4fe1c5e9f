#include "platform/system_call_table.h"

#include <sys/file.h>
#include <sys/xattr.h>

#include <cstdio>

namespace platform::syscalls {

// The system's calls of fixed arity; openat and fcntl are variadic there.
SystemCalls sys = {
    .openat = [](int dir, const char* name, int flags,
                 mode_t mode) { return ::openat(dir, name, flags, mode); },
    .fstatat = ::fstatat,
    .fstat = ::fstat,
    .readlinkat = ::readlinkat,
    .fcntl = [](int fd, int command, int argument) { return ::fcntl(fd, command, argument); },
    .flock = ::flock,
    .nanosleep = ::nanosleep,
    .pread = ::pread,
    .write = ::write,
    .pwrite = ::pwrite,
    .fallocate = ::fallocate,
    .ftruncate = ::ftruncate,
    .fsync = ::fsync,
    .close = ::close,
    .fchown = ::fchown,
    .fchmod = ::fchmod,
    .flistxattr = ::flistxattr,
    .fgetxattr = ::fgetxattr,
    .fsetxattr = ::fsetxattr,
    .renameat = ::renameat,
    .unlinkat = ::unlinkat,
};

}  // namespace platform::syscalls
