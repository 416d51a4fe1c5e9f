#include <signal.h>

#include <initializer_list>

#include "platform/platform.h"

namespace platform {

namespace {

bool holding = false;
sigset_t before;
struct sigaction fileSizeBefore;

}  // namespace

// Every signal another process or the system can send is blocked: it stays
// pending, and unblocking delivers it, when its default action (ending the
// process, for most) takes effect. A fault's signal is not blocked: it
// comes from the process's own code, which must not go on. SIGXFSZ is
// ignored instead of blocked, so a file-size limit fails the write (EFBIG)
// rather than ending the process once the hold is released.
void HoldTermination() {
  if (holding) return;
  sigset_t set;
  sigfillset(&set);
  for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGXFSZ}) sigdelset(&set, signal);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &fileSizeBefore);
  holding = sigprocmask(SIG_BLOCK, &set, &before) == 0;
}

void ReleaseTermination() {
  if (!holding) return;
  holding = false;
  sigaction(SIGXFSZ, &fileSizeBefore, nullptr);
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace platform
