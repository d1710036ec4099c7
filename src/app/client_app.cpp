#include "app/client_app.h"

#include <algorithm>
#include <string>

#include "door/door.h"
#include "door/text_helpers.h"
#include "irc/client.h"
#include "platform/clock.h"

namespace app {
namespace {

constexpr int kInputLineLimit = 200;
constexpr char kCtrlX = 0x18;

bool IsDropFileMode(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg.size() >= 2 && (arg[1] == 'D' || arg[1] == 'd')) return true;
  }
  return false;
}

}  // namespace

void ClientApp::Run() {
  StartUp();
  MainLoop();
}

void ClientApp::StartUp() {
  if (!IsDropFileMode(door_.env().args)) {
    door_.time_left = door::kSecondsPerDay;
    LoadUserNames();
  }
  door_.on_carrier_drop = [this] { QuitOnCarrierDrop(); };
  door_.on_local_login = [this] { LoadUserNames(); };
  door_.on_status_bar = [this] { DrawStatusText(); };
  door_.on_idle_timeout = [this] { QuitOnIdle(); };
  door_.idle_limit = client_.ini_file.ReadInteger("general", "idletime", 600);
  door_.DoorStart();
  std::string nick = door::ReplaceAll(door_.user_handle, " ", "_");
  if (nick.size() > 8) nick.resize(8);
  door_.user_handle = nick;
  client_.ProcessInputLine("/SERVERLIST");
  client_.DrawInputLine();
  client_.input_line.clear();
  client_.recv_buffer.clear();
}

void ClientApp::MainLoop() {
  while (!client_.quit_requested) RunPass();
}

void ClientApp::RunPass() {
  if (client_.server_link.DataWaiting()) {
    HandleServerData();
    // A server that never pauses must not starve the carrier, idle and time checks.
    door_.Tick();
  } else if (door_.DoorKeyPressed()) {
    HandleKey(door_.DoorReadKey());
  } else {
    platform::WaitFd server{client_.server_link.Fd()};
    door_.WaitForEvent(std::span<platform::WaitFd>(&server, server.fd >= 0 ? 1 : 0));
  }
}

void ClientApp::HandleServerData() {
  // Everything shown for this batch of lines leaves together when the batch ends.
  door::OutputBatch batch(door_);
  std::string& buffer = client_.recv_buffer;
  size_t scan_from = buffer.size();  // what was kept before holds no line end
  if (buffer.empty()) {
    buffer = client_.server_link.TakeBuffer();
  } else {
    buffer += client_.server_link.TakeBuffer();
  }
  client_.EraseInputLine();
  size_t pos = 0;
  if (client_.recv_dropping) {
    size_t cr = buffer.find('\r');
    if (cr == std::string::npos) {
      buffer.clear();
      client_.RedrawInputLine();
      return;
    }
    client_.recv_dropping = false;
    pos = cr + 1;
    scan_from = pos;
  }
  for (;;) {
    size_t cr = buffer.find('\r', std::max(scan_from, pos));
    if (cr == std::string::npos) break;
    HandleLine(std::string_view(buffer).substr(pos, cr - pos));
    pos = cr + 1;
  }
  buffer.erase(0, pos);
  if (buffer.size() > kMaxLineLength) {
    HandleLine(std::string_view(buffer).substr(0, kMaxLineLength));
    buffer.clear();
    client_.recv_dropping = true;
  }
  client_.RedrawInputLine();
}

void ClientApp::HandleLine(std::string_view line) {
  if (line.size() > kMaxLineLength) line = line.substr(0, kMaxLineLength);
  client_.HandleServerLine(line);
}

void ClientApp::HandleKey(char key) {
  door::OutputBatch batch(door_);
  std::string& input = client_.input_line;
  if (key == kCtrlX) {
    if (client_.NextTarget()) client_.RedrawInputLine();
    return;
  }
  if (key == '\r') {
    if (input.empty()) return;
    std::string line = std::move(input);
    input.clear();
    client_.EraseInputLine();
    client_.ProcessInputLine(line);
    client_.RedrawInputLine();
    return;
  }
  const auto byte = static_cast<unsigned char>(key);
  if (key != '\b' && (byte < 0x20 || byte > 0x7E)) return;
  if (key == '\b') {
    if (input.empty()) {
      key = 0;
    } else {
      input.pop_back();
      door_.DoorWrite("\x08 ");
    }
  } else if (input.size() < kInputLineLimit) {
    input.push_back(key);
  }
  const size_t prompt_length = client_.targets[client_.active_target].size() + 3 + input.size();
  if (prompt_length >= 79) {
    client_.RedrawInputLine();
  } else if (key != 0) {
    door_.DoorWrite(std::string_view(&key, 1));
  }
}

void ClientApp::QuitOnCarrierDrop() {
  client_.server_link.SendLine(std::string("QUIT :") + std::string(irc::kVersionText) +
                               " (Caller Dropped Carrier)");
  door_.ShowCarrierDropped();
}

void ClientApp::LoadUserNames() {
  door_.user_real_name = client_.ini_file.ReadString("general", "username", "");
  door_.user_handle = client_.ini_file.ReadString("general", "handle", "");
}

void ClientApp::DrawStatusText() {
  const int elapsed = door::SecondsSince(door_.session_start, door_.SecondsOfDay());
  door_.PutStringAt(door::AlignRight80("TIME: " + door::FormatHMS(elapsed) + " "), 1, 25, 0x1F);
  door_.PutStringAt(" " + door_.user_handle + " on " + client_.network_name, 1, 25, 0x1F);
}

void ClientApp::QuitOnIdle() {
  client_.server_link.SendLine(std::string("QUIT :") + std::string(irc::kVersionText) +
                               " (Idle Timelimit Exceeded)");
  door_.ShowIdleTimeout();
}

}  // namespace app
