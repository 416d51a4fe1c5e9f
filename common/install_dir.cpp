#include "common/install_dir.h"

#include <cstring>

#include "platform/platform.h"

int InstallDirOf(const char* programPath, char* buffer, unsigned capacity) {
  if (programPath == nullptr || buffer == nullptr) return kInstallDirInvalid;
  const char* fileCut = strrchr(programPath, kPathSeparator);
  if (fileCut == nullptr) return kInstallDirInvalid;
  const char* dirCut = nullptr;
  for (const char* p = programPath; p != fileCut; ++p) {
    if (*p == kPathSeparator) dirCut = p;
  }
  if (dirCut == nullptr) return kInstallDirInvalid;
  const auto length = static_cast<std::size_t>(dirCut - programPath);
  if (length >= capacity) return kInstallDirInvalid;
  memcpy(buffer, programPath, length);
  buffer[length] = '\0';
  return 0;
}

int GetInstallDir(char* buffer, unsigned capacity) {
  if (buffer == nullptr) return kInstallDirInvalid;
  char path[kPathCapacity];
  const uint32_t length = platform::ModulePath(path, sizeof path);
  if (length == 0) return static_cast<int>(platform::LastError());
  // A cut path would name some other directory: never derive from it.
  if (length >= sizeof path) {
    const uint32_t error = platform::LastError();
    return error != 0 ? static_cast<int>(error) : kInstallDirInvalid;
  }
  return InstallDirOf(path, buffer, capacity);
}

bool JoinEtcPath(char* buffer, std::size_t capacity, const char* installDir, const char* fileName) {
  if (buffer == nullptr || capacity == 0) return false;
  buffer[0] = '\0';
  if (installDir == nullptr || fileName == nullptr) return false;
  static constexpr char kEtc[] = {kPathSeparator, 'e', 't', 'c', kPathSeparator};
  const std::size_t dirLength = strlen(installDir);
  const std::size_t nameLength = strlen(fileName);
  if (dirLength >= capacity || nameLength >= capacity ||
      dirLength + sizeof kEtc + nameLength >= capacity) {
    return false;
  }
  memcpy(buffer, installDir, dirLength);
  memcpy(buffer + dirLength, kEtc, sizeof kEtc);
  memcpy(buffer + dirLength + sizeof kEtc, fileName, nameLength + 1);
  return true;
}
