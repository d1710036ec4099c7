#include "platform/signals.h"

#include <signal.h>

#include <vector>

namespace platform {
namespace {

volatile sig_atomic_t g_termination = 0;  // written only by the signal handler

void OnTerminate(int) {
  g_termination = 1;
}

}  // namespace

void InstallSignalHandlers() {
  struct sigaction sa {};
  sa.sa_handler = OnTerminate;
  sigemptyset(&sa.sa_mask);
  // Reads and writes in progress go on; the wait (poll) still wakes, and the door ends there.
  sa.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  // A sysop's Ctrl-C where the terminal is not in raw mode, or a BBS stopping the node this way.
  sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

std::span<const int> FatalSignals() {
  static const std::vector<int> signals = [] {
    std::vector<int> list = {SIGQUIT,   SIGILL,  SIGTRAP,   SIGABRT, SIGBUS,  SIGFPE,
                             SIGUSR1,   SIGSEGV, SIGUSR2,   SIGALRM, SIGXCPU, SIGXFSZ,
                             SIGVTALRM, SIGPROF, SIGSTKFLT, SIGIO,   SIGPWR,  SIGSYS};
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) list.push_back(sig);
    return list;
  }();
  return signals;
}

bool TerminationSignalled() {
  return g_termination != 0;
}

}  // namespace platform
