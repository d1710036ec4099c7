// The IRC client's state record and its operations. Client's operations live in one file per
// concept: client.cpp (construction, clean-up), screen.cpp (display, input line layout),
// input_line.cpp (typing on the input line), connect.cpp (networks, registration), negotiation.cpp
// (capabilities, SASL, STS), server_link.cpp (opening the link, watching it), session.cpp (the
// link's life cycle: loss, reconnect, resume), server_output.cpp (the bounded send queue),
// server_lines.cpp (dispatch of server lines), numerics.cpp (numeric replies), ctcp.cpp,
// commands.cpp, typed_lines.cpp (sending typed lines at a paced rate), help.cpp. The parts it
// holds have a header each: activity, channel_members, date_time, edit_line, held_lines,
// ignore_list, input_history, irc_case, line_time, nick_completion, scrollback, targets.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "irc/client/activity.h"
#include "irc/client/channel_members.h"
#include "irc/client/date_time.h"
#include "irc/client/edit_line.h"
#include "irc/client/held_lines.h"
#include "irc/client/ignore_list.h"
#include "irc/client/input_history.h"
#include "irc/client/nick_completion.h"
#include "irc/client/scrollback.h"
#include "irc/client/targets.h"
#include "irc/protocol/capabilities.h"
#include "irc/protocol/isupport.h"
#include "irc/protocol/line_reader.h"
#include "irc/protocol/nickname.h"
#include "irc/protocol/server_message.h"
#include "irc/protocol/words.h"
#include "irc/session/config.h"
#include "irc/session/link_watch.h"
#include "irc/session/send_pacer.h"
#include "irc/session/server_tls.h"
#include "irc/session/session_resume.h"
#include "irc/session/session_state.h"
#include "irc/session/sts_policies.h"
#include "net/tcp_link.h"
#include "text/colour_codes.h"
#include "text/network_charset.h"
#include "text/utf8.h"

namespace door {
class Door;
}

namespace irc {

inline constexpr std::string_view kVersionText = "ZelkIRC v1.32";
inline constexpr std::string_view kStatusMarker = text::colour::kStatusMarker;
// The longest account name and password the prompts take.
inline constexpr int kMaxLoginLength = 300;
// Shown when the TLS link to a host with a policy failed: no plain link is tried instead.
inline constexpr std::string_view kStsOnlyText =
    "This server is to be reached over TLS only (STS); no plain connection is tried";
// The characters the user name and password prompts accept: printable ASCII, each once.
inline constexpr std::string_view kPromptChars =
    "`1234567890-=\\qwertyuiop[]asdfghjkl;'zxcvbnm,./~!@#$%^&*()_+|QWERTYUIOP{}ASDFGHJKL:\"ZXCVBNM<>? ";

// What a network section asks of the registration besides the password prompts.
struct RegistrationOptions {
  bool sasl = false;            // log in with SASL from the prompts instead of sending PASS
  std::string webirc_password;  // send WEBIRC first, when the caller's address is known
};

// What made the program end on its own.
enum class Fault { kOutOfMemory, kInternalError };

class Client {
 public:
  // Set-up: targets "Status", INI file read from ini_path, server link initialised. Registers the
  // exit clean-up with the door so that it runs on every way out.
  Client(door::Door& door, std::string ini_path);
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // ---- state record ----
  std::string input_line;
  // Lines of the server connection; reset by every new connection.
  LineReader server_lines;
  bool quit_requested = false;
  bool auto_join_pending = false;
  bool motd_requested = false;
  int ident_window = 0;  // the ident server's window, 0 when none runs
  // The INI file read into its record: re-read by /SERVERLIST, and whenever it has changed.
  ConfigFile config_file;
  net::TcpLink server_link;
  std::string network_name = "<none>";
  void SetNetworkCharset(text::NetworkCharset charset);
  // What the server of the link said about itself (005); reset by every new connection. The
  // nickname rules read NICKLEN here.
  ServerSupport server_support;
  // Status and the channels the caller is in, with the active one.
  Targets targets{server_support};
  int last_ctcp_time = 0;  // seconds of the day
  // The caller's own address (-I), for WEBIRC; empty when the BBS gave none.
  std::string caller_address;
  // The capability negotiation of the server link, from its CAP LS to the link's end.
  std::optional<CapNegotiation> capabilities;
  // Lines the caller typed, waiting for their turn to be sent.
  SendPacer send_pacer;
  // Senders whose messages, notices and invites are not shown (/IGNORE), for this visit.
  IgnoreList ignore_list;
  // Regional date and time patterns and the time zone, read at start-up; tests put fixed ones here.
  DateTimeFormat date_time_format = DateTimeFormat::FromSystem();
  // The server link's life cycle: connecting, registering, registered, waiting to reconnect.
  SessionState session;

  door::Door& door() { return door_; }

  // The caller's current nickname: the handle made one at start-up, then what the registration,
  // its retries, the login prompt, the server's NICK or a reconnect made it. Every change is
  // passed on to the door's status line.
  const std::string& nick() const { return nick_; }
  void SetNick(std::string nick);

  // Exit clean-up: server link closed (Done). Safe to call twice.
  void ExitCleanup();

  // ---- screen layout (screen.cpp) ----
  void ShowLine(std::string_view text);
  void ShowStatus(std::string_view text);
  // After the sysop chat: what arrived from IRC during it, then the input line.
  void ChatEnded();
  // While one lives, a prompt of the client's own (the network menu, the login) has the screen
  // instead of the input line; after the sysop chat redraw (when set) puts it back.
  class OwnPrompt {
   public:
    explicit OwnPrompt(Client& client, std::function<void()> redraw = {})
        : client_(client), outer_(client.own_prompt_), redraw_(std::move(redraw)) {
      client_.own_prompt_ = this;
    }
    ~OwnPrompt() { client_.own_prompt_ = outer_; }
    OwnPrompt(const OwnPrompt&) = delete;
    OwnPrompt& operator=(const OwnPrompt&) = delete;

   private:
    friend class Client;
    Client& client_;
    OwnPrompt* outer_;
    std::function<void()> redraw_;
  };
  void EraseInputLine();
  void DrawInputLine();
  void RedrawInputLine();
  // The input line is drawn on the cursor's row.
  bool InputLineShown() const { return input_shown_; }
  // The prompt and the whole input line fit on the row (so a typed key can simply be echoed).
  bool InputLineFits() const;
  void ResetToDisconnected();

  // ---- connection (connect.cpp) ----
  void ConnectNetwork(std::string_view network);
  // network names the section whose TLS settings apply (none for /SERVER: the defaults).
  bool ConnectServer(std::string_view host, ServerPort port, bool needs_password,
                     const RegistrationOptions& options = {}, std::string_view network = {});
  void NotifyIdent(std::string_view user_id, std::string_view system_name);
  // The goodbye to the server: "QUIT :" and the version, with the reason in brackets when given.
  void SendQuit();
  void SendQuit(std::string_view reason);
  // The QUIT line after a failure inside the program; sent without allocating anything, since
  // memory may have run out.
  void SendFaultQuit(Fault fault);
  // Numeric 376: clears motd_requested and performs the pending auto-join once.
  void EndOfMotd();
  // A refused nickname (432, 433, 437) while registering: the next form is sent. False when this
  // reply is no such refusal, or every form has been refused; the reply is then shown as usual.
  bool RetryNickname(int number);
  // After the reply is shown: 001 ends the registration (the caller is told once when the server
  // took another nickname than the first one), 005 tells the server's nickname length.
  void NoteRegistrationReply(int number);

  // ---- paced sending (typed_lines.cpp) ----
  // Sends a line the caller typed, at once or when its turn comes (PONG, QUIT and registration
  // go straight to the server link instead). A line the full queue has no room for is dropped.
  void SendTyped(std::string_view line);
  // Whether `count` typed lines (one message's) can be sent; when they cannot, they count as
  // dropped, and neither they nor their echo are to be shown or sent.
  bool AdmitTyped(size_t count);
  // Tells the caller how many typed lines were dropped since the last report, if any: called once
  // the typing has paused, so that one notice counts a whole paste.
  void ReportDroppedLines();
  // Sends the typed lines whose turn has come.
  void SendDueLines();
  // Milliseconds until the next typed line is due (0: now), -1 when none waits.
  int64_t MsUntilNextSend();
  // A typed line that cannot go, with no server link: says so ("Not connected: line not sent").
  void RefuseLine();

  // ---- the server link itself (server_link.cpp) ----
  // Opens the server link within [general] connecttimeout seconds (default 30). Keys typed
  // meanwhile are acted on (Esc and /QUIT stop the attempt), and a hang-up or a termination signal
  // still ends the visit. On failure *reason is why, when more is known than that it failed (a
  // refused TLS handshake, a time-out); nothing is shown.
  bool OpenServerLink(std::string_view host, ServerPort port, std::string_view network, std::string* reason);
  // Runs the silence checks that are due (PING, or giving the link up as not responding) and
  // returns the milliseconds until the next one, -1 when none is due at all.
  int WatchServerLink();

  // ---- output to the server (server_output.cpp) ----
  // A server that leaves more than this unsent, or takes none of it for this long, is given up.
  static constexpr size_t kServerQueueLimit = 1024 * 1024;
  static constexpr int64_t kServerStallMs = 60'000;
  // Sends what the server link takes now, gives the server up when a bound is passed (with a
  // status line naming it), and returns the milliseconds until the stall bound is next due, -1
  // when nothing waits to be sent.
  int64_t WatchServerOutput();

  // ---- the session's life cycle (session.cpp) ----
  // The session's work at the start of every main-loop pass: a line put off during a connect is
  // run, the silence checks run, a lost link is told (the reason, the server, how long it lasted)
  // and a reconnect planned, and a reconnect attempt that is due is made. Returns the
  // milliseconds until it has more to do, -1 when nothing is due at all.
  int64_t RunSession();
  // Esc while connecting, registering or waiting to reconnect: the attempt (with a QUIT once the
  // link is open) and any planned one stop.
  void StopConnecting();
  // The text of an ERROR line: why the link is ending, and no reconnect when it tells of a ban.
  void NoteServerError(std::string_view text);
  // A reply that refuses the caller for good (465), or a failed SASL login (902, 904) that ends
  // the registration: no reconnect after the link ends.
  void NoteRefusal(int number);
  // The welcome (001) has been handled: registered; a reconnect rejoins the channels, sends the
  // away message again and says when the nickname could not be kept.
  void Welcomed();
  // The user's own JOIN of a channel that the reconnect rejoins: true once for each such channel.
  bool TakeRejoin(std::string_view channel);
  // A connect under way has been stopped (Esc, /QUIT, or a /SERVER or /SERVERLIST put off).
  bool ConnectStopped() const { return stop_connect_ || quit_requested; }

  // ---- typing (input_line.cpp) ----
  // One key typed by the caller or the sysop: edits the input line, Ctrl-X switches the target,
  // Enter runs the line.
  void HandleKey(char key);

  // ---- server traffic (server_lines.cpp, numerics.cpp, ctcp.cpp) ----
  // Takes what the server link has received and handles every complete line, with the input
  // line moved out of the way meanwhile.
  void ReceiveServerData();
  void HandleServerLine(std::string_view line);
  // The display and actions of the server line parsed into server_message_.
  void DispatchServerLine();
  void HandleNumeric(int number);
  // Numeric 005: what the server says about itself, and what that changes.
  void ReadServerSupport();
  void LeaveChannel(std::string_view channel);
  // The current server line comes from a sender on the ignore list, with what it ignores.
  bool IsIgnoredSender() const;
  // Counts the current server line as activity of its target when that is not the active one.
  void NoteActivity();
  // A channel line that names the caller: true when it is to be highlighted; rings the bell at
  // most once a minute.
  bool NoteMention(std::string_view text);
  bool IsOwnNick(std::string_view nick) const;
  void HandleCtcpRequest();
  void ShowCtcpReply();
  void ShowAction();

  // ---- user commands (commands.cpp, help.cpp) ----
  void ProcessInputLine(std::string_view line);
  void ShowHelp(const Words& words);

 private:
  // What the current (or last) link was opened to: a reconnect goes back there.
  struct LinkTarget {
    std::string network;  // empty for a server named with /SERVER
    std::string host;
    ServerPort port;
    bool needs_password = false;
    RegistrationOptions options;
  };
  // What the caller typed at the user name and password prompts.
  struct LoginAnswers {
    std::string name;
    std::string password;
  };

  // Opens the link to link_target_ and sends the registration; false with *reason (see
  // OpenServerLink) when the link could not be opened.
  bool OpenAndRegister(std::string* reason);
  // An attempt outside a reconnect series failed: "Unable to connect" and the reason, unless the
  // caller stopped it.
  void ConnectFailed(std::string_view reason);
  // One reconnect attempt: the network's next server in turn.
  void AttemptReconnect();
  // The link has ended without the caller asking for it: say so, drop what waited to be sent, and
  // plan the reconnect (or say why there is none).
  void LinkLost();
  // Reads keys while a connect is under way; false once the connect has been stopped.
  bool HandleKeysWhileConnecting();
  std::string server_line_;  // a server line turned into UTF-8, reused
  LinkTarget link_target_;
  // What the caller typed at the user name and password prompts, kept for the reconnects and a move
  // to TLS of this network's links.
  std::optional<LoginAnswers> login_;
  size_t server_turn_ = 0;              // the network's server that the next reconnect attempt tries
  std::string end_reason_;              // why the link is ending, when the server or the watch said it
  bool refused_ = false;                // refused for good: banned, or SASL failed while registering
  bool resuming_ = false;               // the link under way replaces a lost one
  std::string resume_nick_;             // the nickname when the link was lost
  std::vector<std::string> rejoining_;  // channels asked for again, their JOIN not yet seen
  bool stop_connect_ = false;           // Esc, or a command put off: the connect under way stops
  std::string deferred_line_;           // a /SERVER or /SERVERLIST typed while connecting
  bool input_shown_ = false;            // the input line is drawn on the cursor's row
  // The time of the server line being handled when it was sent long ago, shown before its texts.
  std::string line_stamp_;
  // The colour-coded text shown before a line's text: prefix, then the stamp when there is one.
  std::string StampedPrefix(std::string_view prefix) const;
  // The same for a line kept for Page Up.
  static std::string ScrollbackPrefix(const Scrollback::Line& line);
  // One line of text after its prefix (and stamp), above the input line when that is drawn.
  void WriteShownLine(std::string_view prefix, std::string_view text);
  // The user name and password prompts: the name (up to kMaxLoginLength characters when it is an
  // account name, else 8) becomes the nickname.
  LoginAnswers AskForLogin(bool account);
  // Forgets the prompts' answers, the password overwritten first.
  void ForgetLogin();
  ServerPort link_port_;  // the port the link was opened on, after STS
  // Sends CAP LS and starts the negotiation of the link just opened (negotiation.cpp), with a SASL
  // login when sasl is set.
  void StartNegotiation(bool tls, bool sasl);
  // STS: the TLS port of a policy for host instead of a plain port (when TLS works here).
  ServerPort PortAfterSts(std::string_view host, ServerPort port);
  // The server of a plain link asked for TLS on this port: the link moves once the lines at hand
  // are handled.
  std::optional<int> sts_move_port_;
  void MoveToTls();
  // Acts on a step of the negotiation: its status lines, its lines to send, a move to TLS.
  void ApplyNegotiationStep(CapNegotiation::Step& step);
  // Gives the negotiation up once the server has kept it waiting too long; the milliseconds until
  // that, -1 when it is not waiting.
  int WatchNegotiation(int64_t now_ms);
  int64_t negotiation_deadline_ms_ = 0;
  // The sysop chat has the screen: shown lines wait in held_lines_ until it ends.
  void ShowOrHold(std::string_view shown, std::string_view text);
  HeldLines held_lines_;
  OwnPrompt* own_prompt_ = nullptr;  // the innermost prompt of the client's own on the screen
  // Columns left for the input line after the target prompt (may be 0 or less).
  int InputRoom() const;
  // The same for a prompt whose name takes prompt_name_size columns, with the activity list
  // that follows the name.
  static int RoomAfterPrompt(size_t prompt_name_size);
  std::string PromptActivity(size_t prompt_name_size) const;
  // The columns typed text takes on the local console and on the caller's terminal.
  CharColumns ColumnsOf(std::string_view typed) const;
  bool CallerIsUtf8() const;
  // The input line's cursor as a byte offset; kept as the bytes after it, so a line set from
  // outside has the cursor at its end.
  size_t InputCursor() const;
  void SetInputCursor(size_t cursor);
  // Cursor keys, Home, End, Delete, Up and Down, by scan code.
  void HandleExtendedKey(uint8_t scan);
  // Applies an edit (a callable taking LineEdit&, true when it changed something) and shows it.
  template <typename Edit>
  void EditInputLine(Edit edit);
  // Page Up and Page Down through the lines shown before; back to the newest lines.
  void PageBack();
  void PageForward();
  void ReturnFromScrollback();
  void ShowScrollbackPage(uint64_t start, uint64_t end);
  // Tab: the word before the cursor completed from the active channel's members.
  void CompleteNick();
  // Writes what changed on the input line since it held `before` with its cursor there.
  void ShowInputEdit(std::string_view before, size_t before_cursor);

  // Silence on the server link: the PING after 3 minutes, the end a minute later.
  LinkWatch link_watch_;
  // The network's charset (the INI's per-network `charset`): server lines are turned into UTF-8
  // on arrival and sent lines back, so everything in between is UTF-8.
  text::NetworkCharset network_charset_ = text::NetworkCharset::kUtf8;
  // The server line being handled, parsed once.
  ServerMessage server_message_;
  // Hosts that are to be reached over TLS only, with the file that keeps them across runs.
  StsPolicies sts_policies_;
  // The nicknames a registration tries, and the longest one the last server announced.
  NickRetry nick_retry_;
  size_t nick_length_ = kMaxNickLength;
  // Unseen lines of the targets that are not active, shown after the prompt.
  Activity activity_;
  // Who is in each channel the caller is in, for nickname completion.
  ChannelMembers channel_members_;
  // Channel keys and the away message, restored by a reconnect.
  ResumeNotes resume_notes_;
  door::Door& door_;
  std::string nick_;               // see nick()
  text::Utf8Assembler key_chars_;  // the typed character being put together
  size_t input_after_cursor_ = 0;  // bytes of the input line after its cursor
  size_t input_start_ = 0;         // the first byte of the input line the row shows
  InputHistory history_;
  NickCompletion nick_completion_;
  Scrollback scrollback_;
  // How many more columns the input line's text takes on the caller's terminal than on the local
  // console, as drawn: erasing the line moves that much further left.
  int caller_extra_columns_ = 0;
  bool cleaned_up_ = false;
  // Watched by the exit procedure registered with the door, which may outlive this object.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace irc
