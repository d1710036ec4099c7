// Windows-only pieces shared by the files of this folder: Winsock started once, the termination
// event that the console control handler sets, and the stand-in descriptor under which the
// console's input handle (the standard input) takes part in the one wait.
#pragma once

#include <winsock2.h>

#include <climits>

namespace platform::windows {

// Socket handles are kernel handles, multiples of four: this value can never be one.
inline constexpr int kConsoleInputFd = INT_MAX - 1;

// Starts Winsock 2.0 on first use; it is released when the program ends.
void EnsureWinsock();

// Set (manual reset) once the console is closed, the user logs off or the system shuts down.
HANDLE TerminationEvent();

inline SOCKET ToSocket(int fd) {
  return static_cast<SOCKET>(static_cast<unsigned int>(fd));
}
inline int FromSocket(SOCKET s) {
  return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}

// True when the program runs under Wine rather than on Windows itself.
bool RunningUnderWine();

// Wine's socket layer does not know a socket handle inherited from the parent process as one of
// its own; this hands it such a handle through the path that shares sockets between processes.
// Does nothing for a handle that already works as a socket, and nothing on Windows itself.
void RegisterInheritedSocketWithWine(SOCKET s);

// A connected pair of loopback TCP sockets (Windows has no socketpair), not inherited by child
// processes; both INVALID_SOCKET on failure.
struct SocketPair {
  SOCKET first = INVALID_SOCKET;
  SOCKET second = INVALID_SOCKET;
};
SocketPair LoopbackSocketPair();

// Zero-time readiness test of one socket: read (or end of stream, or error), or write (or a
// failed connect).
bool SocketReady(SOCKET s, bool for_write);

}  // namespace platform::windows
