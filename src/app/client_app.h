// The client's start-up sequence, its main loop and the hooks it gives the door runtime.
#pragma once

#include <string_view>

namespace door {
class Door;
}
namespace irc {
class Client;
}

namespace app {

// Lines longer than this are handled as their first kMaxLineLength bytes; the rest up to the
// line end is dropped, so a server that never ends a line cannot exhaust memory.
inline constexpr size_t kMaxLineLength = 64 * 1024;

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

 private:
  void HandleServerData();
  void HandleKey(char key);
  void HandleLine(std::string_view line);

  door::Door& door_;
  irc::Client& client_;
};

}  // namespace app
