#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstddef>
#include <iterator>

#include "platform/secret_line_backend.h"

namespace platform::backend {

namespace {

// Every signal whose default action ends the process and that a handler
// can catch: the terminal's Ctrl+C and Ctrl+\, a hang-up, a kill request,
// the limits, a fault.
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGILL,  SIGTRAP, SIGABRT, SIGBUS,
                                  SIGFPE,  SIGUSR1, SIGSEGV,   SIGUSR2, SIGPIPE, SIGALRM, SIGTERM,
                                  SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS};

struct sigaction before[std::size(kEndingSignals)];
bool handlersInstalled = false;
struct termios echoing;
volatile sig_atomic_t echoHidden = 0;

/// Restores the terminal, then lets the signal take its default effect:
/// the handler was reset on entry, and the signal raised again is
/// delivered once the handler returns.
void RestoreAndRaise(int signal) {
  if (echoHidden) tcsetattr(STDIN_FILENO, TCSANOW, &echoing);
  raise(signal);
}

/// A signal the caller ignores (nohup's SIGHUP) stays ignored.
void InstallHandlers() {
  struct sigaction restore {};
  restore.sa_handler = RestoreAndRaise;
  restore.sa_flags = SA_RESETHAND;
  sigemptyset(&restore.sa_mask);
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
    sigaction(kEndingSignals[i], nullptr, &before[i]);
    if (before[i].sa_handler != SIG_IGN) sigaction(kEndingSignals[i], &restore, nullptr);
  }
  handlersInstalled = true;
}

}  // namespace

// The handlers come first, so that no signal finds the echo off without
// one. The line end is still echoed (ECHONL), so the cursor moves on as
// the typist expects; the characters are not.
void HideInputEcho() {
  if (tcgetattr(STDIN_FILENO, &echoing) != 0) return;
  InstallHandlers();
  struct termios hidden = echoing;
  hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  hidden.c_lflag |= ECHONL;
  echoHidden = 1;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &hidden) != 0) echoHidden = 0;
}

// An input left non-blocking by whoever opened it is waited for.
int ReadInputByte(char* byte) {
  for (;;) {
    const ssize_t n = read(STDIN_FILENO, byte, 1);
    if (n >= 0) return static_cast<int>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd input = {STDIN_FILENO, POLLIN, 0};
      poll(&input, 1, -1);
    } else if (errno != EINTR) {
      return -1;
    }
  }
}

void RestoreInputEcho() {
  if (echoHidden) tcsetattr(STDIN_FILENO, TCSANOW, &echoing);
  echoHidden = 0;
  if (!handlersInstalled) return;
  handlersInstalled = false;
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
    if (before[i].sa_handler != SIG_IGN) sigaction(kEndingSignals[i], &before[i], nullptr);
  }
}

}  // namespace platform::backend
