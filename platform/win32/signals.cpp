#include <windows.h>

#include "platform/platform.h"

namespace platform {

namespace {

/// Set once the held work is done; the close handler waits for it.
HANDLE workDone = nullptr;
volatile LONG interruptHeld = 0;

// Runs on a thread of its own. Ctrl+C and Ctrl+Break can be refused and
// are held; closing the console, logging off and shutting down cannot, so
// the handler waits until the work is done before the default handler
// ends the process.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
    InterlockedExchange(&interruptHeld, 1);
    return TRUE;
  }
  WaitForSingleObject(workDone, INFINITE);
  return FALSE;
}

}  // namespace

void HoldTermination() {
  if (workDone != nullptr) return;
  workDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (workDone == nullptr) return;
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void ReleaseTermination() {
  if (workDone == nullptr) return;
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  SetEvent(workDone);
  // The default handler's effect of the Ctrl+C that was held.
  if (InterlockedCompareExchange(&interruptHeld, 0, 0) != 0) ExitProcess(STATUS_CONTROL_C_EXIT);
}

}  // namespace platform
