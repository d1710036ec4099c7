// The door's state, grouped by what it describes. Door holds one of each and keeps its
// system-named methods as the façade over them.
#pragma once

#include <cstdint>
#include <string>

#include "text/caller_charset.h"
#include "text/utf8.h"

namespace door {

// Telnet on the caller's connection: on for a socket, off for a terminal or pipes (kAuto), or
// as the sysop says.
enum class TelnetMode : uint8_t { kAuto, kOn, kOff };

// How the caller is connected, as DOOR32.SYS line 1 numbers it; any value other than kLocal is a
// caller on caller_socket.
enum class CommType : uint8_t { kLocal = 0, kSerial = 1, kTelnet = 2 };

// Who is visiting and how: from the drop file or the command line, decided once at start-up.
struct Visit {
  CommType comm_type = CommType::kLocal;
  int caller_socket = -1;
  int baud = 0;
  std::string bbs_name;
  int user_record = 1;
  std::string user_real_name;
  std::string user_handle;
  int security_level = 0;
  int time_left = 0;  // seconds, counted from the session start
  int emulation = 1;
  int node = 0;
  TelnetMode telnet = TelnetMode::kAuto;  // set by the application before DoorStart
  // The caller's character set: the application puts the INI's choice in charset_choice before
  // DoorStart, -C overrides it, and kAuto asks the caller's terminal.
  text::CharsetChoice charset_choice = text::CharsetChoice::kCp437;
  text::CallerCharset caller_charset = text::CallerCharset::kCp437;

  // A caller is connected (on caller_socket), not only the sysop at the console.
  bool HasCaller() const { return comm_type != CommType::kLocal; }
};

enum class KeySource : uint8_t { kNone, kLocal, kCaller };

// The last key read from the merged key stream.
struct KeyState {
  char last_key = 0;
  bool last_key_extended = false;  // a scan code: the local keyboard's, or a caller's cursor key
  KeySource last_key_source = KeySource::kNone;
};

// The periodic visit checks: the tick, the session clock and the idle limit.
struct VisitTimers {
  bool active = false;
  // Points in time on the monotonic clock (Clock::MonotonicMs): elapsed time never depends on the
  // time of day, so a daylight-saving change or a clock step ends no visit.
  int64_t last_tick = 0;      // milliseconds
  int64_t session_start = 0;  // milliseconds
  int64_t idle_start = 0;     // milliseconds, at the last key
  int idle_limit = 300;       // seconds
  // Local mode with a sysop's terminal: the tick only redraws the status line.
  bool status_only = false;
};

// What the sysop's keys switch on the local console: the status line page, the chat.
struct SysopState {
  bool chat_active = false;
  uint8_t status_mode_count = 2;
  uint8_t status_mode = 1;
};

// The sysop chat under way: it takes the keys one at a time as they come, so that the program's
// one wait goes on serving everything else meanwhile.
struct ChatState {
  uint8_t saved_attr = 0x07;  // the colour before the chat, given back at its end
  KeySource last_typist = KeySource::kNone;
  bool after_nul = false;          // the next key counts only for the Esc test
  text::Utf8Assembler typed_char;  // a character beyond ASCII being put together from its bytes
};

// Output to the caller: DoorWrite's reused buffer and the batching of queue writes.
struct OutputState {
  std::string converted;         // DoorWrite's colour-converted text, reused
  std::string caller_converted;  // the same in the caller's charset, reused
  int batch_depth = 0;
  size_t queued_after_flush = 0;  // caller output queued when the queue was last written
};

}  // namespace door
