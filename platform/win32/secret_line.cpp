#include <windows.h>

#include "platform/secret_line_backend.h"

namespace platform::backend {

namespace {

HANDLE console = nullptr;
DWORD echoingMode = 0;

/// Runs on a thread of its own when Ctrl+C, Ctrl+Break or closing the
/// console ends the process: the console gets its echo back first, then
/// the next handler (the default one ends the process) takes the event.
BOOL WINAPI RestoreOnControl(DWORD) {
  SetConsoleMode(console, echoingMode);
  return FALSE;
}

}  // namespace

// Only a console has a mode; a pipe or a file is read as it is. The
// handler comes first, so that no Ctrl+C finds the echo off without one.
void HideInputEcho() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (!GetConsoleMode(input, &echoingMode)) return;
  console = input;
  SetConsoleCtrlHandler(RestoreOnControl, TRUE);
  SetConsoleMode(console, echoingMode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
}

// The end of a pipe's other side is the end of the input, as ReadFile
// reports it for a file.
int ReadInputByte(char* byte) {
  DWORD read = 0;
  if (ReadFile(GetStdHandle(STD_INPUT_HANDLE), byte, 1, &read, nullptr)) {
    return static_cast<int>(read);
  }
  const DWORD error = GetLastError();
  return error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF ? 0 : -1;
}

void RestoreInputEcho() {
  if (console == nullptr) return;
  SetConsoleMode(console, echoingMode);
  SetConsoleCtrlHandler(RestoreOnControl, FALSE);
  console = nullptr;
}

}  // namespace platform::backend
