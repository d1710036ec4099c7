// The client's start-up sequence, its main loop and the hooks it gives the door runtime.
#pragma once

namespace door {
class Door;
}
namespace irc {
class Client;
}

namespace app {

class ClientApp {
 public:
  ClientApp(door::Door& door, irc::Client& client) : door_(door), client_(client) {}

  // Start-up, then the main loop until /QUIT. Door endings leave by door::ProgramEnd.
  void Run();
  void StartUp();
  // One pass of the main loop: server data, or one key, or a wait.
  void RunPass();
  void MainLoop();

  // Hooks installed into the door runtime.
  void QuitOnCarrierDrop();
  void LoadUserNames();
  void DrawStatusText();
  void QuitOnIdle();
  void QuitOnTimeExpired();

 private:
  // After the door has started: the handle made the client's nickname, the full name cleaned for USER.
  void PrepareNames();

  door::Door& door_;
  irc::Client& client_;
};

}  // namespace app
