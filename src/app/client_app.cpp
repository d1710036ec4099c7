#include "app/client_app.h"

#include <optional>
#include <string>

#include "door/command_line.h"
#include "door/door.h"
#include "door/durations.h"
#include "door/text_helpers.h"
#include "irc/client/client.h"
#include "irc/protocol/nickname.h"
#include "platform/clock.h"
#include "text/ascii.h"
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
  // Keys typed during the connect have drawn the input line already, with what they typed.
  if (!client_.InputLineShown()) client_.DrawInputLine();
  client_.server_lines.Reset();
}

void ClientApp::MainLoop() {
  while (!client_.quit_requested) RunPass();
}

void ClientApp::RunPass() {
  // A lost link is told at once and a due reconnect made before anything else; the silence
  // checks and the next reconnect attempt are due at most this far ahead.
  const int64_t session_ms = client_.RunSession();
  if (client_.quit_requested) return;
  client_.SendDueLines();
  // Every pass, so that a server that never pauses is still held to the bounds on what it leaves
  // unread.
  const int64_t output_ms = client_.WatchServerOutput();
  if (client_.server_link.DataWaiting()) {
    client_.ReceiveServerData();
    // A server that never pauses must not starve the carrier, idle and time checks.
    door_.Tick();
  } else if (door_.DoorKeyPressed()) {
    client_.HandleKey(door_.DoorReadKey());
  } else if (client_.session.linked() && !client_.server_link.IsOpen()) {
    // The link has just ended (found by the data test): the next pass tells it, without a wait.
    return;
  } else {
    // The typing has paused (a paste has been taken whole): one notice for the lines it lost.
    client_.ReportDroppedLines();
    // Output the server has not taken yet leaves as the socket takes more, within the same wait.
    platform::WaitFd server{.fd = client_.server_link.Fd(), .want_write = client_.server_link.HasQueued()};
    // Typed lines waiting for their turn, the session's checks and the bound on unsent output set
    // the latest wake-up; with none of them the door sleeps on.
    int64_t due_ms = -1;
    for (const int64_t ms : {client_.MsUntilNextSend(), session_ms, output_ms}) {
      if (ms >= 0 && (due_ms < 0 || ms < due_ms)) due_ms = ms;
    }
    door_.WaitForEvent(std::span<platform::WaitFd>(&server, server.fd >= 0 ? 1 : 0), due_ms);
    if (server.writable) client_.server_link.FlushQueue();
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
  std::string real_name(text::TrimBlanks(text::NameAsUtf8(door_.visit.user_real_name)));
  if (real_name.empty()) real_name = text::TrimBlanks(text::NameAsUtf8(door_.visit.user_handle));
  client_.SetNick(irc::NickFromHandle(door_.visit.user_handle, door_.visit.node));
  door_.visit.user_real_name = real_name.empty() ? client_.nick() : real_name;
}

void ClientApp::DrawStatusText() {
  // F1 turns to the door's page of sysop keys and back.
  if (door_.sysop.status_mode == 2) {
    door_.DrawDefaultStatusLine();
    return;
  }
  const int elapsed = door_.VisitSeconds();
  door_.PutStringAt(door::AlignRight80("TIME: " + door::FormatHMS(elapsed) + " "), 1, 25, 0x1F);
  // The nickname (the handle until it is made one) can come from the server: shown one byte a
  // character, controls in caret form.
  door_.PutStringAt(" " + text::IrcName(door_.StatusName()) + " on " + text::IrcName(client_.network_name), 1,
                    25, 0x1F);
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
