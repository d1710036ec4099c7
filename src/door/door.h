// The door runtime: the caller link, output to caller and local console, the merged key stream
// and line editor, the periodic visit checks, the status line, the sysop chat and start-up.
// It knows nothing of IRC; the application customises it through the hooks.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "door/caller_plan.h"
#include "door/command_line.h"
#include "door/visit.h"
#include "net/tcp_link.h"
#include "platform/clock.h"
#include "text/caller_charset.h"

namespace platform {
class CallerTerminalMode;
class Console;
class Terminal;
}  // namespace platform

namespace ansi {
class LocalAnsi;
}

namespace text {
class CallerWriter;
}

namespace door {

using Hook = std::function<void()>;

// Whether the command line (and the drop file it names) puts the caller on standard input or
// output, where no sysop's screen may be drawn: the plan DoorStart acts on, asked early.
bool CallerOnStandardStreams(std::span<const std::string> args);

// What the door needs from its surroundings. terminal may be null (headless, or a test).
struct DoorEnv {
  platform::Console& console;
  platform::Clock& clock;
  ansi::LocalAnsi& local_ansi;
  platform::Terminal* terminal = nullptr;
  std::vector<std::string> args;  // command-line arguments, without the program name
  std::string program_path;       // the executable's own path
  // Without a sysop's terminal, sleep through the ticks that would only redraw the unseen status
  // line: an idle door then wakes for input and for its idle and time limits alone.
  bool sleep_when_unwatched = false;
};

class Door {
 public:
  explicit Door(DoorEnv env);
  ~Door();
  Door(const Door&) = delete;
  Door& operator=(const Door&) = delete;

  // ---- state (public: the application writes hooks, limits and names directly) ----
  net::TcpLink caller;
  Visit visit;
  // A caller is connected, not only the sysop at the console.
  bool HasCaller() const { return visit.HasCaller(); }
  KeyState keys;
  VisitTimers timers;
  SysopState sysop;
  // Hooks; an empty one is skipped. The defaults are the door's own behaviour.
  Hook on_chat = [this] { DefaultChat(); };
  Hook on_carrier_drop = [this] { ShowCarrierDropped(); };
  Hook on_local_login = [this] { DefaultLocalLogin(); };
  Hook on_status_bar = [this] { DrawDefaultStatusLine(); };
  Hook on_idle_timeout = [this] { ShowIdleTimeout(); };
  Hook on_time_expired = [this] { ShowTimeExpired(); };
  // Called when the sysop chat has ended, after its closing lines.
  Hook on_chat_end;

  // ---- start-up ----
  void DoorInit();
  void DoorStart();

  // ---- output ----
  void DoorWrite(std::string_view text);
  // Whatever write puts into the writer, converted for the caller and the console in one pass:
  // the application's own texts go straight from their decoder to the caller's bytes, without
  // shown text between. DoorWrite(text) is DoorWriteWith of writer.Shown(text).
  void DoorWriteWith(const std::function<void(text::CallerWriter&)>& write);
  void DoorWriteLn(std::string_view text);
  void DoorNewLine();
  void DoorClearScreen();
  void DoorSetForeground(int colour);
  void DoorSetBackground(int colour);
  void DoorSetAttr(uint8_t attr);
  void DoorCursorToColumn(int column);
  void PutStringAt(std::string_view text, int column, int row, uint8_t attr);

  // ---- output queue to the caller ----
  // DoorWrite queues what it sends. The queue is written at once outside an output batch, at
  // the end of the outermost batch, whenever the door is about to wait, and whenever the caller's
  // socket takes more while the door waits. Batches nest.
  void BeginOutputBatch();
  void EndOutputBatch();
  // Sends what the caller's socket takes now, without waiting.
  void FlushOutput();
  // Waits until queued output has left, the link has gone, or max_ms has passed; returns the
  // milliseconds spent.
  int DrainOutput(int max_ms);

  // ---- input ----
  // True when a key is there for DoorReadKey. The keys the door serves itself never are: the
  // sysop keys (F1, Alt-C, ...) and, while the sysop chat runs, every key, which goes to the chat.
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
  // The name the status line shows: the visit's handle until the application names another (the
  // name the caller goes by where the door has taken them).
  void SetStatusName(std::string_view name) { status_name_ = std::string(name); }
  const std::string& StatusName() const { return status_name_ ? *status_name_ : visit.user_handle; }
  // The default sysop chat: clears the screen and opens the chat, which then takes every key
  // typed on either side (as DoorKeyPressed serves them) until Esc ends it.
  void DefaultChat();
  void DefaultLocalLogin();
  int SecondsOfDay();
  int64_t MsOfDay();
  int SecondsLeft();
  // Milliseconds on the monotonic clock, and the whole seconds elapsed since the visit started
  // and since the last key.
  int64_t MonotonicMs();
  int VisitSeconds();
  int IdleSeconds();

  // ---- waiting ----
  // The one wait: writes what the caller's socket takes, then sleeps until the caller link or the
  // local keyboard has input, the caller's socket takes more of queued output, one of extra is
  // ready, or the next tick is due. Draws the local screen first. max_wait_ms >= 0 ends the wait
  // by then at the latest, for the application's own deadlines.
  void WaitForEvent(std::span<platform::WaitFd> extra = {}, int64_t max_wait_ms = -1);
  // Pauses (the 1.5 s before an ending), with the local screen drawn first; queued output goes
  // out meanwhile.
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
  static constexpr size_t kCallerReadLimit = 4096;

  void DrawInputField(std::string_view text, char mask, int width, int start_column);
  // The charset output is converted to: the caller's, or code page 437 for the console alone.
  text::CallerCharset OutputCharset() const;
  // Converts with write(text::CallerWriter&), draws the console's form and queues the caller's.
  template <typename Write>
  void WriteConverted(const Write& write);
  // Converted bytes on their way to the caller, after the console has them.
  void QueueForCaller(std::string_view bytes);
  // The caller's output queue with its notice for dropped output.
  void SetUpOutputQueue();
  // Milliseconds until the idle or the time limit can end the visit (0 when one already can).
  int64_t MsUntilLimitDue(int64_t now);
  // Start-up pieces.
  void ShowUsage();
  void TakeOverCaller(HandOver hand_over, const CommandLine& line);
  // Sets the visit's caller_charset from its charset_choice, asking the caller's terminal when
  // that is kAuto.
  void ChooseCallerCharset();
  // Caller bytes as UTF-8 keys into the pending keys, until one is there or none is left.
  void DecodeCallerKeys();
  // One key of the merged stream with where it came from.
  struct StreamKey {
    char key = 0;
    bool extended = false;  // a scan code of the local keyboard
    KeySource source = KeySource::kNone;
  };
  // The next key of the merged stream without waiting; the sysop keys are acted on and skipped.
  std::optional<StreamKey> TakeStreamKey();
  // One key typed in the sysop chat, and the chat's end.
  void ChatKey(const StreamKey& key);
  void EndChat();
  // A start-up failure: message on the local console only, a pause, then the end.
  [[noreturn]] void EndWithLocalMessage(std::string_view message);
  // An option without the number it needs: the message on the console, and on the caller's screen
  // when the rest of the command line reaches a caller; then the end.
  [[noreturn]] void EndWithBadCommandLine(const CallerPlan& plan, const CommandLine& line);

  DoorEnv env_;
  std::unique_ptr<platform::CallerTerminalMode> caller_terminal_;  // raw for the visit, then restored
  std::vector<Hook> exit_procs_;
  std::vector<platform::WaitFd> wait_fds_;  // reused by every wait
  bool terminating_ = false;                // a termination signal is being handled
  OutputState output_;
  text::KeyDecoder caller_keys_;
  text::KeyDecoder local_keys_;         // the local keyboard gives code page 437 bytes
  std::string pending_keys_;            // decoded key bytes not yet read
  std::optional<StreamKey> ready_key_;  // the key DoorKeyPressed found, for DoorReadKey
  // The field DoorInputLine is editing, drawn again after a sysop chat.
  struct EditedField {
    const std::string* text = nullptr;
    char mask = 0;
    int width = 0;
    int start_column = 1;
    uint8_t attr = 0x07;
  };
  std::optional<EditedField> edited_field_;
  ChatState chat_;
  size_t pending_key_pos_ = 0;
  KeySource pending_key_source_ = KeySource::kNone;
  bool pending_key_extended_ = false;       // the pending key is a scan code (a caller's cursor key)
  std::string key_sequence_;                // the caller's last escape sequence, reused
  std::optional<std::string> status_name_;  // set by SetStatusName
};

// Holds an output batch open for its lifetime: DoorWrite only queues until the batch ends.
class OutputBatch {
 public:
  explicit OutputBatch(Door& door) : door_(door) { door_.BeginOutputBatch(); }
  ~OutputBatch() { door_.EndOutputBatch(); }
  OutputBatch(const OutputBatch&) = delete;
  OutputBatch& operator=(const OutputBatch&) = delete;

 private:
  Door& door_;
};

// Converts in-text colour codes (0x7F + hex digit) into ANSI colour sequences.
std::string ConvertColourCodes(std::string_view text);

}  // namespace door
