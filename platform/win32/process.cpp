#include <process.h>
#include <windows.h>

#include "platform/platform.h"

namespace platform {

uint32_t ModulePath(char* buffer, uint32_t capacity) {
  // Older systems leave the error code alone when they cut the path; a
  // cleared code then tells the caller that no reason was given.
  SetLastError(ERROR_SUCCESS);
  const DWORD length = GetModuleFileNameA(nullptr, buffer, capacity);
  // Older systems also leave a cut path without its terminator.
  if (capacity > 0 && length >= capacity) buffer[capacity - 1] = '\0';
  return length;
}

uint32_t LastError() { return GetLastError(); }

int ProcessId() { return _getpid(); }

}  // namespace platform
