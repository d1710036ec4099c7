// Local time from GetLocalTime, and the one wait over sockets, the console's input and the
// termination event.
#include "platform/clock.h"

#include <vector>

#include "platform/signals.h"
#include "platform/windows/wait_handles.h"

namespace platform {
namespace {

using windows::kConsoleInputFd;
using windows::ToSocket;

// A writable socket is not signalled by WSAEventSelect until a send has failed: while one is
// wanted for writing, the wait looks again at this interval.
constexpr int kWriteRecheckMs = 20;

bool ConsoleInputWaiting() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD events = 0;
  return input != nullptr && input != INVALID_HANDLE_VALUE && GetNumberOfConsoleInputEvents(input, &events) &&
         events > 0;
}

// Zero-time readiness test of every entry; fills the results and returns the number ready.
int PollNow(std::span<WaitFd> fds) {
  fd_set reads, writes, errors;
  FD_ZERO(&reads);
  FD_ZERO(&writes);
  FD_ZERO(&errors);
  int sockets = 0;
  for (WaitFd& w : fds) {
    w.readable = w.writable = false;
    if (w.fd < 0 || w.fd == kConsoleInputFd) continue;
    if (sockets == FD_SETSIZE) break;
    const SOCKET s = ToSocket(w.fd);
    if (w.want_read) FD_SET(s, &reads);
    if (w.want_write) FD_SET(s, &writes);
    FD_SET(s, &errors);
    ++sockets;
  }
  bool failed = false;
  if (sockets > 0) {
    timeval zero{0, 0};
    failed = select(0, &reads, &writes, &errors, &zero) == SOCKET_ERROR;
  }
  int ready = 0;
  for (WaitFd& w : fds) {
    if (w.fd < 0) continue;
    if (w.fd == kConsoleInputFd) {
      w.readable = w.want_read && ConsoleInputWaiting();
    } else {
      const SOCKET s = ToSocket(w.fd);
      // A select error (a handle that is no socket any more) counts as readable: the read that
      // follows reports it.
      const bool error = failed || FD_ISSET(s, &errors);
      w.readable = w.want_read && (error || FD_ISSET(s, &reads));
      w.writable = w.want_write && (error || FD_ISSET(s, &writes));
    }
    if (w.readable || w.writable) ++ready;
  }
  return ready;
}

// Sleeps until a socket has news, the console has input, termination is asked for or timeout_ms
// passes. The sockets are tied to one event for the length of the wait and then put back into
// blocking mode, which is how the door uses them.
void SleepOnHandles(std::span<WaitFd> fds, int timeout_ms) {
  static const WSAEVENT socket_event = WSACreateEvent();
  HANDLE handles[3];
  DWORD count = 0;
  if (HANDLE termination = windows::TerminationEvent()) handles[count++] = termination;
  bool want_write = false;
  std::vector<SOCKET> tied;
  for (const WaitFd& w : fds) {
    if (w.fd < 0) continue;
    if (w.fd == kConsoleInputFd) {
      HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
      if (w.want_read && input != nullptr && input != INVALID_HANDLE_VALUE && count < 3)
        handles[count++] = input;
      continue;
    }
    const long events = (w.want_read ? FD_READ | FD_CLOSE | FD_ACCEPT : 0) |
                        (w.want_write ? FD_WRITE | FD_CONNECT | FD_CLOSE : 0);
    if (WSAEventSelect(ToSocket(w.fd), socket_event, events) == 0) tied.push_back(ToSocket(w.fd));
    want_write = want_write || w.want_write;
  }
  if (!tied.empty() && count < 3) handles[count++] = socket_event;
  if (want_write && (timeout_ms < 0 || timeout_ms > kWriteRecheckMs)) timeout_ms = kWriteRecheckMs;
  const DWORD wait_ms = timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms);
  if (count == 0) {
    Sleep(wait_ms == INFINITE ? 1000 : wait_ms);
  } else {
    WaitForMultipleObjects(count, handles, FALSE, wait_ms);
  }
  for (SOCKET s : tied) {
    WSAEventSelect(s, nullptr, 0);
    u_long blocking = 0;
    ioctlsocket(s, FIONBIO, &blocking);
  }
  WSAResetEvent(socket_event);
}

}  // namespace

int64_t SystemClock::MsOfDay() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return (t.wHour * 3600 + t.wMinute * 60 + t.wSecond) * int64_t{1000} + t.wMilliseconds;
}

int64_t SystemClock::UnixSeconds() {
  FILETIME ft{};
  GetSystemTimeAsFileTime(&ft);
  const int64_t ticks = (static_cast<int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return ticks / 10'000'000 - 11'644'473'600LL;  // 100 ns ticks since 1601 to seconds since 1970
}

int64_t SystemClock::MonotonicMs() {
  return static_cast<int64_t>(GetTickCount64());
}

void SystemClock::Sleep(int ms) {
  if (ms <= 0) return;
  ::Sleep(static_cast<DWORD>(ms));
}

int SystemClock::Wait(std::span<WaitFd> fds, int timeout_ms) {
  return PollFds(fds, TerminationRequested() ? 0 : timeout_ms);
}

bool SystemClock::TerminationRequested() {
  return TerminationSignalled();
}

int PollFds(std::span<WaitFd> fds, int timeout_ms) {
  windows::EnsureWinsock();
  int ready = PollNow(fds);
  if (ready > 0 || timeout_ms == 0 || TerminationSignalled()) return ready;
  SleepOnHandles(fds, timeout_ms);
  return PollNow(fds);
}

}  // namespace platform
