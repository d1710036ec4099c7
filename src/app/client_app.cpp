#include "app/client_app.h"

#include <optional>
#include <string>

#include "door/command_line.h"
#include "door/door.h"
#include "door/text_helpers.h"
#include "irc/client.h"
#include "irc/network_keys.h"
#include "platform/clock.h"
#include "text/caller_charset.h"
#include "text/irc_text.h"

namespace app {
namespace {

constexpr int kDefaultIdleLimit = 600;  // seconds

// [general] telnet: a yes or a no word (or number) forces it; auto, or anything else, leaves it to
// the kind of connection.
door::TelnetMode TelnetModeSetting(const irc::IniFile& ini) {
  const std::optional<bool> forced = irc::ReadSwitchValue(ini, "general", "telnet");
  if (!forced) return door::TelnetMode::kAuto;
  return *forced ? door::TelnetMode::kOn : door::TelnetMode::kOff;
}

}  // namespace

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
  // A limit below one second would end the visit at once: such a value counts as unset.
  const int idle_limit = client_.ini_file.ReadInteger("general", "idletime", kDefaultIdleLimit);
  door_.timers.idle_limit = idle_limit >= 1 ? idle_limit : kDefaultIdleLimit;
  door_.visit.telnet = TelnetModeSetting(client_.ini_file);
  door_.visit.charset_choice =
      text::ParseCharsetChoice(client_.ini_file.ReadString("general", "charset", "auto"))
          .value_or(text::CharsetChoice::kAuto);
  door_.DoorStart();
  door_.visit.user_handle = irc::NickFromHandle(door_.visit.user_handle);
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
    platform::WaitFd server{client_.server_link.Fd()};
    // Typed lines waiting for their turn and the session's checks set the latest wake-up; with
    // neither the door sleeps on.
    const int64_t send_ms = client_.MsUntilNextSend();
    const int64_t due_ms = send_ms < 0      ? session_ms
                           : session_ms < 0 ? send_ms
                                            : std::min<int64_t>(send_ms, session_ms);
    door_.WaitForEvent(std::span<platform::WaitFd>(&server, server.fd >= 0 ? 1 : 0), due_ms);
  }
}

void ClientApp::QuitOnCarrierDrop() {
  client_.SendQuit("Caller Dropped Carrier");
  door_.ShowCarrierDropped();
}

void ClientApp::LoadUserNames() {
  door_.visit.user_real_name = client_.ini_file.ReadString("general", "username", "");
  door_.visit.user_handle = client_.ini_file.ReadString("general", "handle", "");
}

void ClientApp::DrawStatusText() {
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

}  // namespace app
