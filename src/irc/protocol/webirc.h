// WEBIRC: a gateway the network trusts (here the door, for its callers) names the address of the
// user behind each connection, so that the network's per-address limits apply to callers and not
// to the BBS. The line goes first on a new connection:
//   WEBIRC <password> <gateway> <hostname> <address>
#pragma once

#include <string>
#include <string_view>

namespace irc {

inline constexpr std::string_view kWebircGateway = "ZelkIRC";

// The caller's address as it may stand in a WEBIRC line: a numeric IPv4 or IPv6 address (IPv6
// starting with ":" gets a leading "0", so that it cannot read as a trailing parameter), or empty
// when text is no such address. The door never resolves names, so a host name is refused too.
std::string CallerAddressForWebirc(std::string_view text);

// The WEBIRC line for this password and caller address, or empty when nothing is to be sent: no
// password, a password that cannot be one word of a line, or no valid address.
std::string WebircLine(std::string_view password, std::string_view caller_address);

}  // namespace irc
