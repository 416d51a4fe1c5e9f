#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "resolved_name.h"

namespace platform {

namespace {

/// The most links followed, as the system itself allows (SYMLOOP_MAX).
constexpr int kMaxLinks = 40;

using PathBuffer = char[PATH_MAX];

/// True when snprintf into a PathBuffer wrote all it had to.
bool Fits(int written) { return written >= 0 && written < PATH_MAX; }

/// Follows the links at the end of `path`, also to a target that does not
/// exist. False when there are too many or the result does not fit.
bool FollowLinks(PathBuffer& path) {
  for (int i = 0; i < kMaxLinks; ++i) {
    PathBuffer link;
    const ssize_t n = readlink(path, link, sizeof link - 1);
    if (n < 0) return true;
    link[n] = '\0';
    // A relative link is relative to the directory that holds it.
    const char* slash = strrchr(path, '/');
    const int kept = link[0] == '/' || slash == nullptr ? 0 : static_cast<int>(slash - path + 1);
    PathBuffer next;
    if (!Fits(snprintf(next, sizeof next, "%.*s%s", kept, path, link))) return false;
    memcpy(path, next, sizeof next);
  }
  return false;
}

}  // namespace

bool ResolvedName(const char* path, char* out, std::size_t capacity) {
  PathBuffer followed;
  if (!Fits(snprintf(followed, sizeof followed, "%s", path)) || !FollowLinks(followed)) {
    return false;
  }
  char* slash = strrchr(followed, '/');
  const char* name = slash != nullptr ? slash + 1 : followed;
  const char* dir = slash == nullptr ? "." : slash == followed ? "/" : followed;
  if (slash != nullptr && slash != followed) *slash = '\0';
  PathBuffer resolvedDir;
  if (realpath(dir, resolvedDir) == nullptr) return false;
  const int written =
      snprintf(out, capacity, "%s/%s", strcmp(resolvedDir, "/") == 0 ? "" : resolvedDir, name);
  return written >= 0 && static_cast<std::size_t>(written) < capacity;
}

CreateResult CreateExclusive(const char* path) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return errno == EEXIST ? CreateResult::kExists : CreateResult::kFailed;
  close(fd);
  return CreateResult::kCreated;
}

bool UnlinkFile(const char* path) { return unlink(path) == 0; }

bool NamesSameFile(const char* first, const char* second) {
  struct stat a {};
  struct stat b {};
  const bool firstExists = stat(first, &a) == 0;
  const bool secondExists = stat(second, &b) == 0;
  if (firstExists || secondExists) {
    return firstExists && secondExists && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
  }
  PathBuffer firstName;
  PathBuffer secondName;
  return ResolvedName(first, firstName, sizeof firstName) &&
         ResolvedName(second, secondName, sizeof secondName) && strcmp(firstName, secondName) == 0;
}

NameHolds WhatNameHolds(const char* path) {
  struct stat st {};
  if (lstat(path, &st) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? NameHolds::kNothing : NameHolds::kUntestable;
  }
  return S_ISREG(st.st_mode) ? NameHolds::kRegularFile : NameHolds::kOther;
}

}  // namespace platform
