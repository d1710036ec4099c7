// Opening a test's connection the way the door opens its server link: through net::Dialer, so a
// test never takes a path that skips the door's checks on host names.
#pragma once

#include <string_view>

#include "net/tcp_link.h"

namespace testsupport {

// Dials host:port (plain TCP) and attaches the connection to link, waiting at most timeout_ms.
// False, with the link closed, when the connection cannot be made in time.
bool DialLink(net::TcpLink& link, std::string_view host, int port, int timeout_ms = 5000);

}  // namespace testsupport
