#include "app/client_app.h"

#include <optional>
#include <string>

#include "door/command_line.h"
#include "door/door.h"
#include "door/text_helpers.h"
#include "irc/client.h"
#include "irc/nickname.h"
#include "platform/clock.h"
#include "text/caller_charset.h"
#include "text/irc_text.h"
#include "text/names.h"

namespace app {

void ClientApp::Run() {
  StartUp();
  MainLoop();
}

void ClientApp::StartUp() {
  const door::CommandLine command_line = door::ParseCommandLine(door_.env().args);
  client_.caller_address = command_line.caller_address;
  if (!command_line.drop_file_named) {
    door_.visit.time_left = door::kSecondsPerDay;
    LoadUserNames();
  }
  door_.on_carrier_drop = [this] { QuitOnCarrierDrop(); };
  door_.on_local_login = [this] { LoadUserNames(); };
  door_.on_status_bar = [this] { DrawStatusText(); };
  door_.on_idle_timeout = [this] { QuitOnIdle(); };
  door_.on_time_expired = [this] { QuitOnTimeExpired(); };
  door_.on_chat_end = [this] { client_.ChatEnded(); };
  const irc::GeneralConfig& general = client_.config_file.Current().general;
  door_.timers.idle_limit = general.idle_limit;
  // telnet: a yes or a no forces it; auto, or anything else, leaves it to the kind of connection.
  door_.visit.telnet = !general.telnet   ? door::TelnetMode::kAuto
                       : *general.telnet ? door::TelnetMode::kOn
                                         : door::TelnetMode::kOff;
  door_.visit.charset_choice = general.charset;
  door_.DoorStart();
  PrepareNames();
  client_.ProcessInputLine("/SERVERLIST");
  client_.DrawInputLine();
  client_.input_line.clear();
  client_.server_lines.Reset();
}

void ClientApp::MainLoop() {
  while (!client_.quit_requested) RunPass();
}

void ClientApp::RunPass() {
  client_.SendDueLines();
  if (client_.server_link.DataWaiting()) {
    client_.ReceiveServerData();
    // A server that never pauses must not starve the carrier, idle and time checks.
    door_.Tick();
  } else if (door_.DoorKeyPressed()) {
    client_.HandleKey(door_.DoorReadKey());
  } else {
    // The silence checks of the server link are due at most this far ahead; between them the
    // door sleeps.
    const int watch_ms = client_.WatchServerLink();
    platform::WaitFd server{client_.server_link.Fd()};
    // Typed lines waiting for their turn and the silence checks of the server link set the latest
    // wake-up; with neither the door sleeps on.
    const int64_t send_ms = client_.MsUntilNextSend();
    const int64_t due_ms = send_ms < 0    ? watch_ms
                           : watch_ms < 0 ? send_ms
                                          : std::min<int64_t>(send_ms, watch_ms);
    door_.WaitForEvent(std::span<platform::WaitFd>(&server, server.fd >= 0 ? 1 : 0), due_ms);
  }
}

void ClientApp::QuitOnCarrierDrop() {
  client_.SendQuit("Caller Dropped Carrier");
  door_.ShowCarrierDropped();
}

void ClientApp::LoadUserNames() {
  const irc::GeneralConfig& general = client_.config_file.Current().general;
  door_.visit.user_real_name = general.username;
  door_.visit.user_handle = general.handle;
}

void ClientApp::PrepareNames() {
  // The drop file, -A, the INI file and the local login all give names as a board keeps them:
  // the full name goes into USER as UTF-8 (the handle when there is none), the handle becomes a
  // nickname every server accepts.
  std::string real_name(door::TrimBlanks(text::NameAsUtf8(door_.visit.user_real_name)));
  if (real_name.empty()) real_name = door::TrimBlanks(text::NameAsUtf8(door_.visit.user_handle));
  door_.visit.user_handle = irc::NickFromHandle(door_.visit.user_handle, door_.visit.node);
  door_.visit.user_real_name = real_name.empty() ? door_.visit.user_handle : real_name;
}

void ClientApp::DrawStatusText() {
  // F1 turns to the door's page of sysop keys and back.
  if (door_.sysop.status_mode == 2) {
    door_.DrawDefaultStatusLine();
    return;
  }
  const int elapsed = door_.VisitSeconds();
  door_.PutStringAt(door::AlignRight80("TIME: " + door::FormatHMS(elapsed) + " "), 1, 25, 0x1F);
  // The nickname can come from the server: shown one byte a character, controls in caret form.
  door_.PutStringAt(
      " " + text::IrcName(door_.visit.user_handle) + " on " + text::IrcName(client_.network_name), 1, 25,
      0x1F);
}

void ClientApp::QuitOnIdle() {
  client_.SendQuit("Idle Timelimit Exceeded");
  door_.ShowIdleTimeout();
}

void ClientApp::QuitOnTimeExpired() {
  client_.SendQuit("Time Expired");
  door_.ShowTimeExpired();
}

}  // namespace app
