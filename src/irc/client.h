// The IRC client's state record and its operations. Operations live in one file per concept:
// screen.cpp (display, input line layout, targets), input_line.cpp (typing on the input line),
// connect.cpp (networks, registration), server_link.cpp (opening the link, watching it),
// server_lines.cpp (dispatch of server lines), numerics.cpp (numeric replies), ctcp.cpp,
// commands.cpp, typed_lines.cpp (sending typed lines at a paced rate), help.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "door/colour_codes.h"
#include "irc/config.h"
#include "irc/date_time.h"
#include "irc/held_lines.h"
#include "irc/line_reader.h"
#include "irc/link_watch.h"
#include "irc/nickname.h"
#include "irc/sasl_login.h"
#include "irc/send_pacer.h"
#include "irc/server_tls.h"
#include "irc/words.h"
#include "net/tcp_link.h"
#include "text/irc_text.h"
#include "text/utf8.h"

namespace door {
class Door;
}

namespace irc {

inline constexpr std::string_view kVersionText = "ZelkIRC v1.32";
inline constexpr std::string_view kStatusMarker = door::colour::kStatusMarker;
// The characters the user name and password prompts accept: printable ASCII, each once.
inline constexpr std::string_view kPromptChars =
    "`1234567890-=\\qwertyuiop[]asdfghjkl;'zxcvbnm,./~!@#$%^&*()_+|QWERTYUIOP{}ASDFGHJKL:\"ZXCVBNM<>? ";

// What a network section asks of the registration besides the password prompts.
struct RegistrationOptions {
  bool sasl = false;            // log in with SASL PLAIN from the prompts instead of sending PASS
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
  std::vector<std::string> targets{"Status"};
  int active_target = 0;
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
  // Silence on the server link: the PING after 3 minutes, the end a minute later.
  LinkWatch link_watch;
  std::string network_name = "<none>";
  // The network's charset (the INI's per-network `charset`): server lines are turned into UTF-8
  // on arrival and sent lines back, so everything in between is UTF-8.
  text::NetworkCharset network_charset = text::NetworkCharset::kUtf8;
  void SetNetworkCharset(text::NetworkCharset charset);
  Words server_words;
  Words command_words;
  int last_ctcp_time = 0;  // seconds of the day
  // The caller's own address (-I), for WEBIRC; empty when the BBS gave none.
  std::string caller_address;
  // The SASL login of the registration under way; empty once it has ended.
  std::optional<SaslLogin> sasl_login;
  // Lines the caller typed, waiting for their turn to be sent.
  SendPacer send_pacer;
  // The nicknames a registration tries, and the longest one the last server announced.
  NickRetry nick_retry;
  size_t nick_length = kMaxNickLength;
  // Regional date and time patterns and the time zone, read at start-up; tests put fixed ones here.
  DateTimeFormat date_time_format = DateTimeFormat::FromSystem();

  door::Door& door() { return door_; }

  // Exit clean-up: server link closed (Done). Safe to call twice.
  void ExitCleanup();

  // ---- screen layout (screen.cpp) ----
  void ShowLine(std::string_view text);
  void ShowStatus(std::string_view text);
  // After the sysop chat: what arrived from IRC during it, then the input line.
  void ChatEnded();
  // While one lives, a prompt of the client's own (the network menu, the login) has the screen.
  class OwnPrompt {
   public:
    explicit OwnPrompt(Client& client) : client_(client) { ++client_.own_prompts_; }
    ~OwnPrompt() { --client_.own_prompts_; }
    OwnPrompt(const OwnPrompt&) = delete;
    OwnPrompt& operator=(const OwnPrompt&) = delete;

   private:
    Client& client_;
  };
  void EraseInputLine();
  void DrawInputLine();
  void RedrawInputLine();
  // The prompt and the whole input line fit on the row (so a typed key can simply be echoed).
  bool InputLineFits() const;
  bool NextTarget();
  void ResetToDisconnected();
  // Index of the first target equal to name ignoring case, or -1.
  int FindTarget(std::string_view name) const;

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
  // go straight to the server link instead).
  void SendTyped(std::string_view line);
  // Sends the typed lines whose turn has come.
  void SendDueLines();
  // Milliseconds until the next typed line is due (0: now), -1 when none waits.
  int64_t MsUntilNextSend();

  // ---- the server link itself (server_link.cpp) ----
  // Opens the server link within [general] connecttimeout seconds (default 30) through the door's
  // busy wait, so that a hang-up or a termination signal still ends the visit. On failure shows
  // "Unable to connect" and, for a refused TLS handshake or a time-out, the reason.
  bool OpenServerLink(std::string_view host, ServerPort port, std::string_view network);
  // Runs the silence checks that are due (PING, or giving the link up) and returns the
  // milliseconds until the next one, -1 when none is due at all.
  int WatchServerLink();

  // ---- typing (input_line.cpp) ----
  // One key typed by the caller or the sysop: edits the input line, Ctrl-X switches the target,
  // Enter runs the line.
  void HandleKey(char key);

  // ---- server traffic (server_lines.cpp, numerics.cpp, ctcp.cpp) ----
  // Takes what the server link has received and handles every complete line, with the input
  // line moved out of the way meanwhile.
  void ReceiveServerData();
  void HandleServerLine(std::string_view line);
  // The display and actions of one server line already cut into server_words.
  void DispatchServerLine(std::string_view line);
  void HandleNumeric(int number, std::string_view line);
  void LeaveChannel(std::string_view channel);
  bool IsOwnNick(std::string_view nick) const;
  void HandleCtcpRequest();
  void ShowCtcpReply();
  void ShowAction();

  // ---- user commands (commands.cpp, help.cpp) ----
  void ProcessInputLine(std::string_view line);
  void ShowHelp(const Words& words);

 private:
  std::string server_line_;  // a server line turned into UTF-8, reused
  void ShowOrHold(std::string_view shown, std::string_view text);
  HeldLines held_lines_;  // shown lines waiting for the end of the sysop chat
  int own_prompts_ = 0;
  // The user name and password prompts: the name becomes the nickname; returns the password.
  std::string AskForLogin();
  const std::string& ActiveTargetName() const;
  // Columns left for the input line after the target prompt (may be 0 or less).
  int InputRoom() const;
  // The same for a prompt whose name takes prompt_name_size columns.
  static int RoomAfterPrompt(size_t prompt_name_size);
  // The columns a typed character takes on the local console and on the caller's terminal: they
  // differ for a UTF-8 caller's wide characters (two columns there, one stand-in here).
  struct CharColumns {
    int console = 0;
    int caller = 0;
  };
  CharColumns ColumnsOf(std::string_view typed) const;

  door::Door& door_;
  text::Utf8Assembler key_chars_;  // the typed character being put together
  // How many more columns the input line's text takes on the caller's terminal than on the local
  // console, as drawn: erasing the line moves that much further left.
  int caller_extra_columns_ = 0;
  bool cleaned_up_ = false;
  // Watched by the exit procedure registered with the door, which may outlive this object.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace irc
