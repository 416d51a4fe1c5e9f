#include <signal.h>

#include <initializer_list>

#include "platform/platform.h"

namespace platform {

namespace {

bool holding = false;
sigset_t before;

}  // namespace

// Blocked signals stay pending; unblocking delivers them, and their default
// action ends the process then.
void HoldTermination() {
  if (holding) return;
  sigset_t set;
  sigemptyset(&set);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&set, signal);
  holding = sigprocmask(SIG_BLOCK, &set, &before) == 0;
}

void ReleaseTermination() {
  if (!holding) return;
  holding = false;
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace platform
