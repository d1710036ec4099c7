// What the door sends the server never waits for the server: lines the socket does not take at
// once wait in the link's queue, which the main loop's wait writes out as room comes. A server
// that stops taking them is given up like a silent one, with a status line that says why.
#include "door/door.h"
#include "irc/client/client.h"

namespace irc {

static_assert(Client::kServerQueueLimit == 1024 * 1024 && Client::kServerStallMs == 60'000,
              "the status lines name the bounds");

int64_t Client::WatchServerOutput() {
  switch (server_link.TakeSendFailure()) {
    case net::TcpLink::SendFailure::kTooMuchQueued:
      ShowStatus("Server not reading: over 1 MiB waiting to be sent");
      return -1;
    case net::TcpLink::SendFailure::kNoProgress:
      ShowStatus("Server not reading: nothing taken for 60 seconds");
      return -1;
    case net::TcpLink::SendFailure::kNone:
      break;
  }
  if (!server_link.HasQueued()) return -1;
  const int64_t due = server_link.CheckSendProgress(door_.MonotonicMs());
  // A link given up just now says so at once.
  return server_link.IsOpen() ? due : WatchServerOutput();
}

}  // namespace irc
