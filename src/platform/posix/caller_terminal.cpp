#include "platform/caller_terminal.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/signals.h"

namespace platform {
namespace {

// Read by the signal handlers and the exit hook, which must put the caller's terminal back
// however the program ends; one caller per process.
volatile sig_atomic_t g_raw_active = 0;
int g_raw_fd = -1;
termios g_saved_modes{};

// The handlers found before ours, by signal number; the signals we handle are marked.
struct sigaction g_previous[NSIG];
bool g_handled[NSIG] = {};

// tcsetattr from a process outside the terminal's foreground group would stop it with SIGTTOU
// unless that signal is blocked. The modes change at once: waiting for output to drain could wait
// for ever on a terminal whose BBS has stopped reading it.
void SetModes(int fd, const termios& modes) {
  sigset_t ttou, old;
  sigemptyset(&ttou);
  sigaddset(&ttou, SIGTTOU);
  pthread_sigmask(SIG_BLOCK, &ttou, &old);
  while (tcsetattr(fd, TCSANOW, &modes) != 0 && errno == EINTR) {
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void Restore() {
  if (!g_raw_active) return;
  g_raw_active = 0;
  SetModes(g_raw_fd, g_saved_modes);
}

// The modes go back, then the signal does what it did before (end the program, or reach the
// door's own handler of an interrupt).
void OnRestoreSignal(int sig) {
  Restore();
  sigaction(sig, &g_previous[sig], nullptr);
  raise(sig);
}

void HandleSignal(int sig, const struct sigaction& handler) {
  if (sig <= 0 || sig >= NSIG || sigaction(sig, nullptr, &g_previous[sig]) != 0) return;
  // A signal the BBS started us ignoring stays ignored: it must not end the raw mode mid-visit.
  if (g_previous[sig].sa_handler == SIG_IGN) return;
  g_handled[sig] = sigaction(sig, &handler, nullptr) == 0;
}

class RawMode : public CallerTerminalMode {
 public:
  ~RawMode() override {
    Restore();
    for (int sig = 1; sig < NSIG; ++sig) {
      if (g_handled[sig]) sigaction(sig, &g_previous[sig], nullptr);
      g_handled[sig] = false;
    }
  }
};

}  // namespace

std::unique_ptr<CallerTerminalMode> MakeCallerTerminalRaw(int fd) {
  if (g_raw_active || fd < 0 || !isatty(fd)) return nullptr;
  termios modes{};
  if (tcgetattr(fd, &modes) != 0) return nullptr;
  g_saved_modes = modes;
  g_raw_fd = fd;

  modes.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
  modes.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  modes.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  modes.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
  modes.c_cflag |= CS8;
  modes.c_cc[VMIN] = 1;
  modes.c_cc[VTIME] = 0;

  static const bool exit_hook = std::atexit(Restore) == 0;
  (void)exit_hook;
  struct sigaction sa {};
  sa.sa_handler = OnRestoreSignal;
  sigemptyset(&sa.sa_mask);
  for (const int sig : FatalSignals()) HandleSignal(sig, sa);
  HandleSignal(SIGINT, sa);  // where the terminal is not raw yet, or another process sends it
  g_raw_active = 1;
  SetModes(fd, modes);
  return std::make_unique<RawMode>();
}

}  // namespace platform
