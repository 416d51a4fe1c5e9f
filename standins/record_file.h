#pragma once
// The stand-ins' record files: one line per event, fields separated by TAB,
// texts with every byte below 0x20 or above 0x7E, and "\", written \xNN.
// Everything here has internal linkage, so a stand-in gains no unique
// symbols (the dynamic loader never unloads a library that has one).

#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

void AppendEscaped(std::string& line, const char* bytes, std::size_t length) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte < 0x20 || byte > 0x7E || byte == '\\') {
      line += "\\x";
      line += kHex[byte >> 4];
      line += kHex[byte & 0xF];
    } else {
      line += static_cast<char>(byte);
    }
  }
}

// Appends `line` to the file named by the environment variable `variable`
// (nothing when it is unset) with one write, so lines of concurrent
// processes never mix; opened per line so nothing stays open between a
// test's steps.
void AppendRecord(const char* variable, const std::string& line) {
#ifdef _WIN32
  char path[1024];
  const DWORD length = GetEnvironmentVariableA(variable, path, sizeof path);
  if (length == 0 || length >= sizeof path) return;
  // Opens that race each other can fail with a sharing violation; a lost
  // record would look like a lost call, so try again for a while (up to
  // ten seconds: the emulated 32-bit route is slow under load).
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 2000 && file == INVALID_HANDLE_VALUE; ++attempt) {
    file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) Sleep(5);
  }
  if (file == INVALID_HANDLE_VALUE) return;
  // Writers take turns, one byte far beyond any record locked as the file's
  // mutex, so two processes never write at the same end of the file.
  OVERLAPPED turn{};
  turn.OffsetHigh = 0x7FFFFFFF;
  const bool locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn) != FALSE;
  SetFilePointer(file, 0, nullptr, FILE_END);
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  if (locked) UnlockFileEx(file, 0, 1, 0, &turn);
  CloseHandle(file);
#else
  const char* path = std::getenv(variable);
  if (path == nullptr || *path == '\0') return;
  const int file = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (file < 0) return;
  [[maybe_unused]] const ssize_t written = write(file, line.data(), line.size());
  close(file);
#endif
}

}  // namespace
