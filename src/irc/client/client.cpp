// The client made and cleaned up: its construction and the clean-up at the end of a visit.
#include "irc/client/client.h"

#include <utility>

#include "door/door.h"
#include "platform/ident_window.h"

namespace irc {

Client::Client(door::Door& door, std::string ini_path) : config_file(std::move(ini_path)), door_(door) {
  ident_window = platform::FindIdentWindow();
  server_link.Init();
  server_link.SetSendBounds(kServerQueueLimit, kServerStallMs);
  std::weak_ptr<bool> alive = alive_;
  door_.AddExitProc([this, alive] {
    if (alive.lock()) ExitCleanup();
  });
}

Client::~Client() {
  ExitCleanup();
}

void Client::SetNick(std::string nick) {
  nick_ = std::move(nick);
  door_.SetStatusName(nick_);
}

void Client::ExitCleanup() {
  if (cleaned_up_) return;
  cleaned_up_ = true;
  server_link.Done();
}

}  // namespace irc
