// The ways a BBS can hand the door its caller, beyond an inherited socket (transport.h): standard
// input and output, and a connection the door makes back to the BBS over loopback TCP or a
// Unix-domain socket path. Also the two questions start-up asks about a descriptor.
#pragma once

#include <memory>
#include <string_view>

#include "platform/transport.h"

namespace platform {

// The caller on standard input (keys) and standard output (the screen): a pseudo-terminal or
// pipes. Neither descriptor is closed or shut down by the transport.
std::unique_ptr<Transport> AdoptStdio();

// Connects to 127.0.0.1:port (no name lookup). nullptr when the port is not 1 to 65535, the
// connection is refused, or it is not made within timeout_ms.
std::unique_ptr<Transport> ConnectLoopbackPort(int port, int timeout_ms = 5000);

// Connects to the Unix-domain stream socket at path. nullptr when the path is empty, too long for
// a socket address, refused, or not connected within timeout_ms.
std::unique_ptr<Transport> ConnectUnixPath(std::string_view path, int timeout_ms = 5000);

// Whether this build can take a caller on standard input and output, or at a Unix socket path:
// the usage screen lists only the hand-overs that work.
bool StdioCallersAvailable();
bool UnixPathCallersAvailable();

bool IsSocket(int fd);
bool IsTerminal(int fd);

}  // namespace platform
