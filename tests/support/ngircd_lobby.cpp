#include "support/ngircd_lobby.h"

namespace testsupport {

::testing::AssertionResult StartWithUserInLobby(NgircdServer& server, IrcPeer& user, std::string_view nick) {
  if (!server.Start()) return ::testing::AssertionFailure() << "ngircd did not start: " << server.Log();
  if (!user.Register(server.port(), nick))
    return ::testing::AssertionFailure() << nick << " did not register";
  user.SendLine("JOIN #lobby");
  if (!user.WaitFor("JOIN", 3000)) return ::testing::AssertionFailure() << nick << " did not join #lobby";
  return ::testing::AssertionSuccess();
}

}  // namespace testsupport
