// The door runtime: the caller link, output to caller and local console, the merged key stream
// and line editor, the periodic visit checks, the status line, the sysop chat and start-up.
// It knows nothing of IRC; the application customises it through the hooks.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "net/tcp_link.h"
#include "platform/clock.h"

namespace platform {
class Console;
class Terminal;
}  // namespace platform

namespace ansi {
class LocalAnsi;
}

namespace door {

using Hook = std::function<void()>;

// What the door needs from its surroundings. terminal may be null (headless, or a test).
struct DoorEnv {
  platform::Console& console;
  platform::Clock& clock;
  ansi::LocalAnsi& local_ansi;
  platform::Terminal* terminal = nullptr;
  std::vector<std::string> args;  // command-line arguments, without the program name
  std::string program_path;       // the executable's own path
};

class Door {
 public:
  explicit Door(DoorEnv env);
  Door(const Door&) = delete;
  Door& operator=(const Door&) = delete;

  // ---- state record (public: the application writes hooks, limits and names directly) ----
  net::TcpLink caller;
  Hook on_chat;
  Hook on_carrier_drop;
  Hook on_local_login;
  Hook on_status_bar;
  Hook on_idle_timeout;
  Hook on_time_expired;
  uint8_t comm_type = 0;
  int caller_socket = -1;
  int baud = 0;
  std::string bbs_name;
  int user_record = 1;
  std::string user_real_name;
  std::string user_handle;
  int security_level = 0;
  int time_left = 0;  // seconds
  int emulation = 1;
  int node = 0;
  char last_key = 0;
  bool last_key_extended = false;
  uint8_t last_key_source = 0;  // 0 none, 1 local keyboard, 2 caller
  int idle_start = 0;           // seconds of the day
  bool chat_active = false;
  int idle_limit = 300;  // seconds
  bool timers_active = false;
  int64_t last_tick = 0;  // milliseconds of the day
  int session_start = 0;  // seconds of the day
  uint8_t status_mode_count = 2;
  uint8_t status_mode = 1;

  // ---- start-up ----
  void DoorInit();
  void DoorStart();

  // ---- output ----
  void DoorWrite(std::string_view text);
  void DoorWriteLn(std::string_view text);
  void DoorNewLine();
  void DoorClearScreen();
  void DoorSetForeground(int colour);
  void DoorSetBackground(int colour);
  void DoorSetAttr(uint8_t attr);
  void DoorCursorToColumn(int column);
  void PutStringAt(std::string_view text, int column, int row, uint8_t attr);

  // ---- input ----
  bool DoorKeyPressed();
  char DoorReadKey();
  std::string DoorInputLine(std::string_view initial, std::string_view allowed, char mask, int width,
                            int max_length, uint8_t attr);

  // ---- visit timers, status line, chat ----
  void Tick();  // the periodic tick; called by DoorKeyPressed
  void ShowCarrierDropped();
  void ShowIdleTimeout();
  void ShowTimeExpired();
  void DrawDefaultStatusLine();
  void DefaultChat();
  void DefaultLocalLogin();
  int SecondsOfDay();
  int64_t MsOfDay();
  int SecondsLeft();

  // ---- waiting ----
  // The one wait: sleeps until the caller link or the local keyboard has input, one of extra is
  // ready, or the next tick is due. Draws the local screen first.
  void WaitForEvent(std::span<platform::WaitFd> extra = {});
  // Pauses (the 1.5 s before an ending), with the local screen drawn first.
  void Delay(int ms);

  // ---- ending the program ----
  // Exit procedures run in reverse order of registration by RunExitProcs, once.
  void AddExitProc(Hook proc);
  void RunExitProcs();
  // Draws the local screen on the sysop's terminal, if there is one.
  void Present();

  platform::Console& console() { return env_.console; }
  platform::Clock& clock() { return env_.clock; }
  ansi::LocalAnsi& local_ansi() { return env_.local_ansi; }
  const DoorEnv& env() const { return env_; }

 private:
  static constexpr int kTickMs = 750;  // the tick runs once more than this has passed

  void DrawInputField(std::string_view text, char mask, int width, int start_column);
  // Start-up pieces.
  void ShowUsage();
  void ReadDropFile(const std::string& path);
  void TakeOverCaller();
  // A start-up failure: message on the local console only, a pause, then the end.
  [[noreturn]] void EndWithLocalMessage(std::string_view message);

  DoorEnv env_;
  std::vector<Hook> exit_procs_;
  std::vector<platform::WaitFd> wait_fds_;  // reused by every wait
  bool terminating_ = false;                // a termination signal is being handled
};

// Converts in-text colour codes (0x7F + hex digit) into ANSI colour sequences.
std::string ConvertColourCodes(std::string_view text);

}  // namespace door
