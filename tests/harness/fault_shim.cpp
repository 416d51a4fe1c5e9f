// Preloaded into a POSIX program by the behaviour suites to make what is
// otherwise a matter of timing happen every time:
//   FAULT_SHIM_SLOW_LSTAT=SUFFIX:MS   lstat() of a path ending in SUFFIX
//                                     takes MS milliseconds longer, so that
//                                     processes started together overlap
//                                     between their existence test and what
//                                     follows it
//   FAULT_SHIM_SIGNAL_AT=NAME:SIGNAL  the first call of NAME (renameat,
//                                     pwrite or ftruncate) sends the process
//                                     signal number SIGNAL before it does
//                                     its work
//   FAULT_SHIM_FULL_DISK=NAME         every call of NAME (fallocate or
//                                     pwrite) fails with ENOSPC, as on a
//                                     full file system

#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

namespace {

template <typename Fn>
Fn Next(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

void SignalIfAt(const char* name) {
  static bool sent = false;
  const char* at = getenv("FAULT_SHIM_SIGNAL_AT");
  const char* colon = at != nullptr ? strchr(at, ':') : nullptr;
  const size_t length = strlen(name);
  if (sent || colon == nullptr || static_cast<size_t>(colon - at) != length ||
      strncmp(at, name, length) != 0) {
    return;
  }
  sent = true;
  kill(getpid(), atoi(colon + 1));
}

void DelayIfSlow(const char* path) {
  const char* slow = getenv("FAULT_SHIM_SLOW_LSTAT");
  const char* colon = slow != nullptr ? strrchr(slow, ':') : nullptr;
  if (colon == nullptr || path == nullptr) return;
  const size_t suffix = static_cast<size_t>(colon - slow);
  const size_t length = strlen(path);
  if (length < suffix || strncmp(path + length - suffix, slow, suffix) != 0) return;
  const long ms = atol(colon + 1);
  const timespec pause{ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&pause, nullptr);
}

/// True, with errno ENOSPC, when the disk is to be full at `name`.
bool DiskFullAt(const char* name) {
  const char* at = getenv("FAULT_SHIM_FULL_DISK");
  if (at == nullptr || strcmp(at, name) != 0) return false;
  errno = ENOSPC;
  return true;
}

}  // namespace

extern "C" int lstat(const char* path, struct stat* st) {
  DelayIfSlow(path);
  return Next<int (*)(const char*, struct stat*)>("lstat")(path, st);
}

extern "C" int renameat(int fromDir, const char* from, int toDir, const char* to) {
  SignalIfAt("renameat");
  return Next<int (*)(int, const char*, int, const char*)>("renameat")(fromDir, from, toDir, to);
}

extern "C" ssize_t pwrite(int fd, const void* bytes, size_t size, off_t at) {
  SignalIfAt("pwrite");
  if (DiskFullAt("pwrite")) return -1;
  return Next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite")(fd, bytes, size, at);
}

extern "C" int ftruncate(int fd, off_t length) {
  SignalIfAt("ftruncate");
  return Next<int (*)(int, off_t)>("ftruncate")(fd, length);
}

extern "C" int fallocate(int fd, int mode, off_t offset, off_t length) {
  if (DiskFullAt("fallocate")) return -1;
  return Next<int (*)(int, int, off_t, off_t)>("fallocate")(fd, mode, offset, length);
}
