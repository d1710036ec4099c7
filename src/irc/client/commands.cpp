// The interpreter of typed lines: chat text for the active target, or a slash command turned into
// one IRC line. Commands that only reshape their arguments are rows of a table; the few with
// effects of their own are functions.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "door/door.h"
#include "door/key_table.h"
#include "door/text_helpers.h"
#include "irc/client/client.h"
#include "irc/protocol/message_split.h"
#include "irc/protocol/port.h"
#include "irc/protocol/words.h"
#include "text/ascii.h"
#include "text/colour_codes.h"

namespace irc {
namespace {

using namespace text::colour;
using door::Concat;

constexpr std::string_view kQuitHint = Joined<kWhite, "If You Want To Quit, Type /QUIT">;
constexpr std::string_view kNoReason = " :No Reason Given";
constexpr std::string_view kServerSwitchedOff = "The sysop has switched /SERVER off";
constexpr std::string_view kNotConnected = "Not connected: /SERVERLIST connects to a network";
constexpr std::string_view kConnectingNotSent = "Not connected yet: line not sent";

// What a shaped command sends when it has exactly its leading parameters and no text.
enum class Bare {
  kVerb,           // the verb alone, as with too few words
  kRawLine,        // the line as typed
  kRawWithReason,  // the line as typed plus the default reason
};

// A command whose line is "VERB p1 .. pk :text" once text follows its k leading parameters; with
// fewer words it sends the bare verb, with exactly k it does what `bare` says.
struct ShapedCommand {
  std::string_view word;
  std::string_view verb;
  size_t params;
  Bare bare;
  bool strip_colon;       // one colon typed before the text is dropped (it is added anyway)
  std::string_view echo;  // label of the local echo, empty for none
};

constexpr std::array<ShapedCommand, 8> kShapedCommands = {{
    {"AWAY", "AWAY", 0, Bare::kRawLine, false, ""},
    {"WALLOPS", "WALLOPS", 0, Bare::kRawLine, false, ""},
    {"KICK", "KICK", 2, Bare::kRawWithReason, true, ""},
    {"KILL", "KILL", 1, Bare::kRawWithReason, false, ""},
    {"SQUIT", "SQUIT", 1, Bare::kRawWithReason, true, ""},
    {"TOPIC", "TOPIC", 1, Bare::kRawLine, true, ""},
    {"MSG", "PRIVMSG", 1, Bare::kVerb, false, "msg"},
    {"NOTICE", "NOTICE", 1, Bare::kVerb, false, "notice"},
}};

char UpperChar(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// "[label(who)] text" in the client's echo colours.
std::string LabelledEcho(std::string_view label, std::string_view who, std::string_view text) {
  return Concat({kDarkGrey, "[", kRed, label, kDarkGrey, "(", kLightRed, who, kDarkGrey, ")] ", kGrey, text});
}

// "<head><text><tail>" in as many lines as the text needs, after its echo (none when empty). When
// the pacing queue has no room for all the lines, none is sent or shown.
void SendMessage(Client& client, std::string_view echo, std::string_view head, std::string_view text,
                 std::string_view tail = {}) {
  const size_t room = MessageTextRoom(head, tail, client.nick());
  const std::vector<std::string_view> pieces = SplitMessageText(text, room);
  if (!client.AdmitTyped(pieces.size())) return;
  if (!echo.empty()) client.ShowLine(echo);
  for (std::string_view piece : pieces) {
    std::string line;
    line.reserve(head.size() + piece.size() + tail.size());
    line.append(head);
    line.append(piece);
    line.append(tail);
    client.SendTyped(line);
  }
}

void RunShaped(Client& client, const ShapedCommand& row, const Words& w, std::string_view raw) {
  const size_t n = w.size();
  if (n < row.params + 1 || (n == row.params + 1 && row.bare == Bare::kVerb)) {
    client.SendTyped(row.verb);
    return;
  }
  if (n == row.params + 1) {
    std::string line(raw);
    if (row.bare == Bare::kRawWithReason) line += kNoReason;
    client.SendTyped(line);
    return;
  }
  const std::string text = row.strip_colon ? TrailingText(w, row.params + 1) : JoinWords(w, row.params + 1);
  std::string head(row.verb);
  for (size_t i = 1; i <= row.params; ++i) {
    head += ' ';
    head += w[i];
  }
  head += " :";
  // Messages (the rows with an echo) go out in as many lines as they need; other texts are one
  // line each, as the server takes it.
  if (!row.echo.empty()) {
    SendMessage(client, LabelledEcho(row.echo, w[1], text), head, text);
  } else {
    client.SendTyped(head + text);
  }
}

// How text for the active target is echoed and sent: as a message ("<nick:target> text") or as an
// action of /ME (a triple bar, then "nick:target text").
struct Utterance {
  std::string_view open_colour;
  std::string_view open;
  std::string_view name_colour;  // of the nickname and the target
  std::string_view close_colour;
  std::string_view close;
  std::string_view head;  // after "PRIVMSG <target>"
  std::string_view tail;
};
constexpr Utterance kMessage = {kLightMagenta, "<", kGrey, kLightMagenta, "> ", " :", ""};
constexpr Utterance kAction = {kDarkGrey, "\u2261 ", kWhite, "", " ", " :\001ACTION ", "\001"};

// The echo, then the text to the active target in as many lines as it needs.
void SayToActiveTarget(Client& client, const Utterance& how, std::string_view text) {
  const std::string& target = client.targets.ActiveName();
  const std::string echo = Concat({how.open_colour, how.open, how.name_colour, client.nick(), kDarkGrey, ":",
                                   how.name_colour, target, how.close_colour, how.close, kGrey, text});
  SendMessage(client, echo, Concat({"PRIVMSG ", target, how.head}), text, how.tail);
}

void RunCtcp(Client& client, const Words& w) {
  if (w.size() != 3) return;
  std::string request = text::UpperAscii(w[2]);
  if (!client.AdmitTyped(1)) return;
  client.ShowLine(LabelledEcho("ctcp", w[1], request));
  if (request == "PING") request += " " + std::to_string(client.door().SecondsOfDay());
  client.SendTyped("PRIVMSG " + w[1] + " :\001" + request + "\001");
}

void RunMe(Client& client, const Words& w) {
  if (w.size() < 2 || client.targets.StatusActive()) return;
  SayToActiveTarget(client, kAction, JoinWords(w, 1));
}

void ChangingServers(Client& client) {
  client.SendQuit("Changing Servers");
  client.ResetToDisconnected();
}

void RunServer(Client& client, const Words& w) {
  if (w.size() <= 1) return;
  if (!client.config_file.Current().general.server_command) {
    client.ShowStatus(kServerSwitchedOff);
    return;
  }
  ChangingServers(client);
  if (w.size() >= 4) return;
  // "+6697" is a TLS port; a port that is no number is the default one.
  ServerPort port;
  if (w.size() == 3) {
    const bool tls = w[2].starts_with('+');
    const std::optional<int> number = PortNumber(std::string_view(w[2]).substr(tls ? 1 : 0), false);
    if (number) port = ServerPort(*number, tls);
  }
  const std::string host = w[1];
  client.ConnectServer(host, port, false);
}

void RunServerList(Client& client, const Words&) {
  // The file is read again, so that an edit takes effect now.
  const Config& config = client.config_file.Reload();
  std::vector<std::string> networks;
  for (const NetworkConfig& network : config.networks) networks.push_back(network.name);
  // A set-up that offers nothing says why, here as at the start.
  const std::string problem = config.FileProblem();
  if (networks.empty()) {
    client.ShowStatus(config.NoNetworkProblem());
    return;
  }
  if (networks.size() == 1) {
    const std::string only = networks[0];
    // While connected this is a change of server like a choice from the menu: a goodbye to the
    // old server, and no channels of it left behind as targets.
    if (client.server_link.IsOpen()) ChangingServers(client);
    if (!problem.empty()) client.ShowStatus(problem);
    client.ConnectNetwork(only);
    return;
  }

  door::Door& door = client.door();
  int code = 0;
  {
    const auto draw_menu = [&door, &networks] {
      door.DoorClearScreen();
      door.DoorNewLine();
      door.DoorWriteLn("  Available Servers:");
      door.DoorNewLine();
      for (size_t i = 0; i < networks.size(); ++i) {
        std::string entry = "     ";
        entry += static_cast<char>(65 + i);
        entry += ") ";
        entry += networks[i];
        door.DoorWriteLn(entry);
      }
      door.DoorNewLine();
      door.DoorWrite("  Your Choice: ");
    };
    // After a sysop chat the menu is drawn again: it still waits for its choice.
    const Client::OwnPrompt prompt(client, draw_menu);
    draw_menu();

    const int last = 64 + static_cast<int>(networks.size());
    do {
      code = static_cast<unsigned char>(UpperChar(door.DoorReadKey()));
      // A caller's cursor key chooses nothing.
      if (door.keys.last_key_extended && door.keys.last_key_source == door::KeySource::kCaller) code = 0;
    } while (code != door::kEsc && (code < 65 || code > last));
  }
  door.DoorClearScreen();
  if (code == door::kEsc) return;

  const std::string chosen = networks[code - 65];
  ChangingServers(client);
  if (!problem.empty()) client.ShowStatus(problem);
  client.ConnectNetwork(chosen);
}

void RunClear(Client& client, const Words&) {
  client.door().DoorClearScreen();
}

void RunHelp(Client& client, const Words& w) {
  client.ShowHelp(w);
}

void RunMotd(Client& client, const Words&) {
  client.motd_requested = true;
  client.SendTyped("MOTD");
}

void RunQuit(Client& client, const Words& w) {
  if (w.size() >= 2) {
    client.SendQuit(JoinWords(w, 1));
  } else {
    client.SendQuit();
  }
  client.quit_requested = true;
}

void RunIgnore(Client& client, const Words& w) {
  if (w.size() < 2) {
    if (client.ignore_list.masks().empty()) client.ShowStatus("Nobody is ignored");
    for (const std::string& mask : client.ignore_list.masks()) client.ShowStatus("Ignoring " + mask);
    return;
  }
  const std::string mask = IgnoreList::Normalized(w[1]);
  switch (client.ignore_list.Add(w[1])) {
    case IgnoreList::Added::kAdded:
      client.ShowStatus("Ignoring " + mask);
      break;
    case IgnoreList::Added::kAlready:
      client.ShowStatus("Already ignoring " + mask);
      break;
    case IgnoreList::Added::kFull:
      client.ShowStatus("The ignore list is full: /UNIGNORE a mask first");
      break;
    case IgnoreList::Added::kInvalid:
      client.ShowStatus("Usage: /IGNORE [nick or nick!user@host mask]");
      break;
  }
}

void RunUnignore(Client& client, const Words& w) {
  if (w.size() < 2) {
    client.ShowStatus("Usage: /UNIGNORE <mask>");
    return;
  }
  const std::string mask = IgnoreList::Normalized(w[1]);
  client.ShowStatus((client.ignore_list.Remove(w[1]) ? "No longer ignoring " : "Not ignoring ") + mask);
}

// What a command asks of the server link.
enum class Needs {
  kNothing,  // works without a server
  kServer,   // sends to the server: refused without a link
  kNewLink,  // opens a link of its own: while a connect is under way it stops it and runs next
};

struct SpecialCommand {
  std::string_view word;
  void (*run)(Client& client, const Words& words);  // words[0] is the command word in capitals
  Needs needs;
};

constexpr std::array<SpecialCommand, 10> kSpecialCommands = {{
    {"CLEAR", RunClear, Needs::kNothing},
    {"CTCP", RunCtcp, Needs::kServer},
    {"HELP", RunHelp, Needs::kNothing},
    {"IGNORE", RunIgnore, Needs::kNothing},
    {"ME", RunMe, Needs::kServer},
    {"MOTD", RunMotd, Needs::kServer},
    {"QUIT", RunQuit, Needs::kNothing},
    {"SERVER", RunServer, Needs::kNewLink},
    {"SERVERLIST", RunServerList, Needs::kNewLink},
    {"UNIGNORE", RunUnignore, Needs::kNothing},
}};

}  // namespace

void Client::ProcessInputLine(std::string_view typed) {
  const std::string_view line = text::TrimControlsAndBlanks(typed);
  if (line.empty() || line == "/") return;

  if (line.front() != '/') {
    // What a caller types to leave other programs gets the hint; every other line is chat.
    const std::string upper = text::UpperAscii(line);
    if (upper == "Q" || upper == "X" || upper == "EXIT" || upper == "QUIT") {
      ShowStatus(kQuitHint);
    } else if (!targets.StatusActive()) {
      // Not even echoed without a link: the caller must not think it went.
      if (!server_link.IsOpen()) {
        RefuseLine();
        return;
      }
      SayToActiveTarget(*this, kMessage, line);
    } else if (!server_link.IsOpen()) {
      // Text with nowhere to go says why: the set-up's fault, or no connection yet.
      const std::string problem = config_file.Current().NoNetworkProblem();
      if (!problem.empty()) {
        ShowStatus(problem);
      } else {
        ShowStatus(session.state() == LinkState::kConnecting ? kConnectingNotSent : kNotConnected);
      }
    }
    return;
  }

  const std::string_view raw = line.substr(1);
  Words words;
  SplitWords(raw, words);
  if (words.empty()) words.emplace_back();
  words[0] = text::UpperAscii(words[0]);
  const std::string word = words[0];
  // Writing to somebody is seeing what they wrote.
  if (word == "MSG" && words.size() > 1) activity_.Seen(words[1]);

  for (const ShapedCommand& row : kShapedCommands) {
    if (row.word == word) {
      if (!server_link.IsOpen()) {
        RefuseLine();
        return;
      }
      RunShaped(*this, row, words, raw);
      return;
    }
  }
  for (const SpecialCommand& command : kSpecialCommands) {
    if (command.word != word) continue;
    if (command.needs == Needs::kServer && !server_link.IsOpen()) {
      RefuseLine();
      return;
    }
    if (command.needs == Needs::kNewLink && session.state() == LinkState::kConnecting) {
      // Not a connect inside a connect: the one under way stops, and this line runs after it.
      deferred_line_ = line;
      stop_connect_ = true;
      return;
    }
    command.run(*this, words);
    return;
  }
  // ADMIN, JOIN, WHOIS and the other plain commands go out as typed, as does any unknown word.
  SendTyped(raw);
}

}  // namespace irc
