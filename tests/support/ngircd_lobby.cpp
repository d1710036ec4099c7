#include "support/ngircd_lobby.h"

#include <string>

namespace testsupport {

::testing::AssertionResult UserJoins(IrcPeer& user, int port, std::string_view nick,
                                     std::string_view channel) {
  if (!user.Register(port, nick)) return ::testing::AssertionFailure() << nick << " did not register";
  user.SendLine("JOIN " + std::string(channel));
  const std::string names_end = " 366 " + std::string(nick) + " " + std::string(channel) + " ";
  if (!user.WaitFor(names_end, 5000))
    return ::testing::AssertionFailure() << nick << " did not join " << channel;
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult StartWithUserInLobby(NgircdServer& server, IrcPeer& user, std::string_view nick,
                                                std::string_view channel) {
  if (!server.Start()) return ::testing::AssertionFailure() << "ngircd did not start: " << server.Log();
  return UserJoins(user, server.port(), nick, channel);
}

}  // namespace testsupport
