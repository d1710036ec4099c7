// The IRC client's state record and its operations. Operations live in one file per concept:
// screen.cpp (display, input line layout, targets), input_line.cpp (typing on the input line),
// connect.cpp (networks, registration), server_lines.cpp
// (dispatch of server lines), numerics.cpp (numeric replies), ctcp.cpp, commands.cpp, help.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "door/colour_codes.h"
#include "irc/capabilities.h"
#include "irc/date_time.h"
#include "irc/ini_file.h"
#include "irc/isupport.h"
#include "irc/line_reader.h"
#include "irc/link_watch.h"
#include "irc/send_pacer.h"
#include "irc/server_message.h"
#include "irc/server_tls.h"
#include "irc/sts_policies.h"
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
// The longest account name and password the prompts take.
inline constexpr int kMaxLoginLength = 300;
// Shown when the TLS link to a host with a policy failed: no plain link is tried instead.
inline constexpr std::string_view kStsOnlyText =
    "This server is to be reached over TLS only (STS); no plain connection is tried";
// The characters the user name and password prompts accept: printable ASCII, each once.
inline constexpr std::string_view kPromptChars =
    "`1234567890-=\\qwertyuiop[]asdfghjkl;'zxcvbnm,./~!@#$%^&*()_+|QWERTYUIOP{}ASDFGHJKL:\"ZXCVBNM<>? ";

// The nickname made of a BBS handle: blanks become underscores, cut to 8 characters.
std::string NickFromHandle(std::string_view handle);

// What a network section asks of the registration besides the password prompts.
struct RegistrationOptions {
  bool sasl = false;            // log in with SASL from the prompts instead of sending PASS
  std::string webirc_password;  // send WEBIRC first, when the caller's address is known
};

// What made the program end on its own.
enum class Fault { kOutOfMemory, kInternalError };

class Client {
 public:
  // Set-up: targets "Status", INI file opened on ini_path, server link initialised. Registers the
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
  IniFile ini_file;
  net::TcpLink server_link;
  // Silence on the server link: the PING after 3 minutes, the end a minute later.
  LinkWatch link_watch;
  std::string network_name = "<none>";
  // The network's charset (the INI's per-network `charset`): server lines are turned into UTF-8
  // on arrival and sent lines back, so everything in between is UTF-8.
  text::NetworkCharset network_charset = text::NetworkCharset::kUtf8;
  void SetNetworkCharset(text::NetworkCharset charset);
  // The server line being handled, parsed once.
  ServerMessage server_message;
  // What the server of the link said about itself (005); reset by every new connection. The
  // nickname rules read NICKLEN here.
  ServerSupport server_support;
  Words command_words;
  int last_ctcp_time = 0;  // seconds of the day
  // The caller's own address (-I), for WEBIRC; empty when the BBS gave none.
  std::string caller_address;
  // The capability negotiation of the server link, from its CAP LS to the link's end.
  std::optional<CapNegotiation> capabilities;
  // Hosts that are to be reached over TLS only, with the file that keeps them across runs.
  StsPolicies sts_policies;
  // Lines the caller typed, waiting for their turn to be sent.
  SendPacer send_pacer;
  // Regional date and time patterns and the time zone, read at start-up; tests put fixed ones here.
  DateTimeFormat date_time_format = DateTimeFormat::FromSystem();

  door::Door& door() { return door_; }

  // Exit clean-up: server link closed (Done). Safe to call twice.
  void ExitCleanup();

  // ---- screen layout (screen.cpp) ----
  void ShowLine(std::string_view text);
  void ShowStatus(std::string_view text);
  void EraseInputLine();
  void DrawInputLine();
  void RedrawInputLine();
  // The prompt and the whole input line fit on the row (so a typed key can simply be echoed).
  bool InputLineFits() const;
  bool NextTarget();
  void ResetToDisconnected();
  // Index of the first target equal to name under the server's case mapping, or -1.
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
  // The display and actions of the server line parsed into server_message.
  void DispatchServerLine();
  void HandleNumeric(int number);
  // Numeric 005: what the server says about itself, and what that changes.
  void ReadServerSupport();
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
  // The time of the server line being handled when it was sent long ago, shown before its texts.
  std::string line_stamp_;
  // The colour-coded text shown before a line's text: prefix, then the stamp when there is one.
  std::string StampedPrefix(std::string_view prefix) const;
  // What the caller typed at the user name and password prompts.
  struct LoginAnswers {
    std::string name;
    std::string password;
  };
  // The user name and password prompts: the name (up to kMaxLoginLength characters when it is an
  // account name, else 8) becomes the nickname.
  LoginAnswers AskForLogin(bool account);
  // One server to connect to and how to register with it.
  struct LinkPlan {
    std::string host;
    ServerPort port;
    bool needs_password = false;
    RegistrationOptions options;
    std::string network;
  };
  // Connects as link_plan_ says, with the prompts' answers when given (else the prompts when needed).
  bool ConnectPlanned(std::optional<LoginAnswers> answers);
  LinkPlan link_plan_;
  ServerPort link_port_;  // the port the link was opened on, after STS
  // Sends CAP LS and starts the negotiation of the link just opened (negotiation.cpp), with a SASL
  // login when sasl is set; the answers are kept until the negotiation ends, for a move to TLS.
  void StartNegotiation(bool tls, const std::optional<LoginAnswers>& answers, bool sasl);
  std::optional<LoginAnswers> kept_answers_;
  void ForgetAnswers();
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
