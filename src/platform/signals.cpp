#include "platform/signals.h"

#include <signal.h>

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
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

bool TerminationSignalled() {
  return g_termination != 0;
}

}  // namespace platform
