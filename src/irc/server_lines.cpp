// Every line from the server: cut into words, numeric replies handed to the reply table, named
// commands matched in a fixed order and shown in the client's formats.
#include <initializer_list>
#include <string>
#include <string_view>

#include "door/colour_codes.h"
#include "door/door.h"
#include "door/text_helpers.h"
#include "irc/client.h"
#include "irc/target_limits.h"

// Colour codes: see door/colour_codes.h.

namespace irc {
namespace {

// The view of the line being handled that every command's display reads.
struct Fields {
  Client& client;
  const Words& words;
  std::string_view line;
  bool from_line;  // the words are the line's, unchanged, so texts can be cut from the line

  const std::string& operator[](size_t i) const { return WordAt(words, i); }
  std::string Trail(size_t from) const {
    return from_line ? std::string(TrailView(from)) : TrailingText(words, from);
  }
  // The same text as TrailingText(words, from) while from_line holds: the words from `from` on,
  // joined by single blanks, are the rest of the line less the blank that a line ending in one
  // leaves after its last word.
  std::string_view TrailView(size_t from) const {
    if (from >= words.size()) return {};
    size_t at = 0;
    for (size_t i = 0; i < from; ++i) at += words[i].size() + 1;
    std::string_view rest = line.substr(at);
    if (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
    if (!rest.empty() && rest.front() == ':') rest.remove_prefix(1);
    return rest;
  }
  std::string Nick() const { return PrefixNick(words[0]); }
  // PrefixNick without the copy.
  std::string_view NickView() const {
    std::string_view prefix = words[0];
    prefix = prefix.substr(0, prefix.find('!'));
    if (!prefix.empty() && prefix.front() == ':') prefix.remove_prefix(1);
    return prefix;
  }
  std::string UserHost() const { return PrefixUserHost(words[0]); }
  // The text of a PRIVMSG or NOTICE opens with a colon and byte 1.
  bool IsCtcp() const { return (*this)[3].size() >= 2 && (*this)[3][1] == '\x01'; }
};

// The pieces joined with one allocation: chat lines are shown by the thousand.
std::string Concat(std::initializer_list<std::string_view> pieces) {
  size_t length = 0;
  for (std::string_view piece : pieces) length += piece.size();
  std::string out;
  out.reserve(length);
  for (std::string_view piece : pieces) out.append(piece);
  return out;
}

// The server is about to close the link: its text is the reason the loss is told with.
void ShowError(const Fields& f) {
  const std::string text = f.Trail(1);
  f.client.NoteServerError(text);
  f.client.ShowLine("\1778ERROR: " + text);
}

void ShowInvite(const Fields& f) {
  f.client.ShowStatus("\177F" + f.Nick() + " Invites You to " + StripColon(f[3]));
}

// "nick [user@host] has joined #channel": the nick light cyan, the address cyan in dark grey
// brackets, the rest grey.
std::string ComingOrGoing(const Fields& f, std::string_view what, std::string_view channel) {
  using namespace door::colour;
  return Concat({kLightCyan, f.NickView(), " ", kDarkGrey, "[", kCyan, f.UserHost(), kDarkGrey, "] ", kGrey,
                 what, channel});
}

void HandleJoin(const Fields& f) {
  const std::string& channel = f[2];
  std::string_view refusal;
  // A channel rejoined after a reconnect is kept where it was, and so is the active target.
  if (f.client.IsOwnNick(f.Nick()) && !f.client.TakeRejoin(channel)) {
    refusal = TargetRefusal(f.client.targets.size() - 1, channel);
    if (refusal.empty()) {
      f.client.targets.push_back(channel);
      f.client.active_target = f.client.FindTarget(channel);
    }
  }
  f.client.ShowStatus(ComingOrGoing(f, "has joined ", channel));
  if (!refusal.empty()) f.client.ShowStatus("Channel not kept as a target: " + std::string(refusal));
}

void HandleKick(const Fields& f) {
  if (f.client.IsOwnNick(f[3])) f.client.LeaveChannel(f[2]);
  f.client.ShowStatus(f[3] + " was kicked off " + f[2] + " by \1773" + f.Nick() + " \1778(\1777" +
                      f.Trail(4) + "\1778)");
}

void ShowMode(const Fields& f) {
  f.client.ShowStatus("Mode\1778/\1773" + f[2] + " \1778[\177F" + f.Trail(3) + "\1778] \1777by \177F" +
                      f.Nick());
}

void HandleNick(const Fields& f) {
  const std::string& new_nick = f[2];
  if (f.client.IsOwnNick(f.Nick())) {
    f.client.door().visit.user_handle = new_nick;
    f.client.ShowStatus("You are now known as " + new_nick);
  } else {
    f.client.ShowStatus("\177F" + f.Nick() + " \1777is now known as \1773" + new_nick);
  }
}

void ShowServerNotice(const Fields& f) {
  f.client.ShowStatus(f.Trail(2));
}

void HandleNotice(const Fields& f) {
  if (f.IsCtcp()) {
    f.client.ShowCtcpReply();
  } else if (f.client.IsOwnNick(f[2])) {
    f.client.ShowLine(
        Concat({"\1778-\177D", f.NickView(), "\1778(\1775", f.UserHost(), "\1778)- \1777", f.TrailView(3)}));
  } else {
    f.client.ShowLine(
        Concat({"\1778-\177D", f.NickView(), "\1778:\1775", f[2], "\1778- \1777", f.TrailView(3)}));
  }
}

void HandlePart(const Fields& f) {
  const std::string& channel = f[2];
  if (f.client.IsOwnNick(f.Nick())) f.client.LeaveChannel(channel);
  f.client.ShowStatus(ComingOrGoing(f, "has left ", channel));
}

// The parameter goes back unchanged, colon included.
void AnswerPing(const Fields& f) {
  f.client.server_link.SendLine("PONG " + f[1]);
}

// The answer to the silence check's PING is not shown; any other PONG is shown raw.
void HandlePong(const Fields& f) {
  std::string_view token = f.words.back();
  if (token.starts_with(':')) token.remove_prefix(1);
  if (token == LinkWatch::kPingToken) return;
  f.client.ShowLine(Concat({"\1778", f.line}));
}

void HandlePrivmsg(const Fields& f) {
  if (f.IsCtcp()) {
    f.client.HandleCtcpRequest();
  } else if (f.client.IsOwnNick(f[2])) {
    f.client.ShowLine(
        Concat({"\1778[\177D", f.NickView(), "\1778(\1775", f.UserHost(), "\1778)] \1777", f.TrailView(3)}));
  } else {
    f.client.ShowLine(
        Concat({"\1779<\1777", f.NickView(), "\1778:\1777", f[2], "\1779> \1777", f.TrailView(3)}));
  }
}

void ShowQuit(const Fields& f) {
  f.client.ShowStatus("SignOff \177F" + f.Nick() + " \1778(\1777" + f.Trail(2) + "\1778)");
}

void ShowTopic(const Fields& f) {
  f.client.ShowStatus("Topic \1778(\1773" + f[2] + "\1778): \1777changed by \1773" + f.Nick() +
                      "\1778: \1777" + f.Trail(3));
}

// Capability changes a server announces after registration (CAP NEW and DEL, sent to every client
// that listed with version 302) are protocol, not news for the caller.
void IgnoreCapabilities(const Fields&) {}

struct CommandRow {
  size_t word;  // the word that must equal the command
  std::string_view command;
  void (*handle)(const Fields&);
  bool strip_word_2 = false;  // word 2 (channel or new nickname) loses its colon before use
};

// Matched exactly, upper case only, in this order; the first match wins.
constexpr CommandRow kCommands[] = {
    {0, "ERROR", ShowError},         {1, "INVITE", ShowInvite},   {1, "JOIN", HandleJoin, true},
    {1, "KICK", HandleKick},         {1, "MODE", ShowMode},       {1, "NICK", HandleNick, true},
    {0, "NOTICE", ShowServerNotice}, {1, "NOTICE", HandleNotice}, {1, "PART", HandlePart, true},
    {0, "PING", AnswerPing},         {1, "PONG", HandlePong},     {1, "PRIVMSG", HandlePrivmsg},
    {1, "QUIT", ShowQuit},           {1, "TOPIC", ShowTopic},     {1, "CAP", IgnoreCapabilities},
};

}  // namespace

void Client::ReceiveServerData() {
  link_watch.Heard(door_.MonotonicMs());
  // Everything shown for this batch of lines leaves together when the batch ends.
  door::OutputBatch batch(door_);
  EraseInputLine();
  server_lines.Feed(server_link.TakeBuffer(), [this](std::string_view line) { HandleServerLine(line); });
  RedrawInputLine();
}

void Client::HandleServerLine(std::string_view line) {
  // From here on the line is UTF-8 (what is not is taken as Windows-1252 when shown), and a DEL in
  // it is already its caret form, so that no DEL with a digit after it passes for a colour code.
  if (network_charset != text::NetworkCharset::kUtf8 || line.find('\x7F') != std::string_view::npos) {
    server_line_.clear();
    for (size_t del; (del = line.find('\x7F')) != std::string_view::npos; line.remove_prefix(del + 1)) {
      text::AppendNetworkToUtf8(server_line_, line.substr(0, del), network_charset);
      server_line_.append("^?");
    }
    text::AppendNetworkToUtf8(server_line_, line, network_charset);
    line = server_line_;
  }
  SplitWords(line, server_words);
  if (!sasl_login) {
    DispatchServerLine(line);
    return;
  }
  // During a SASL login its lines are its own; a reply it acts on is still shown first.
  const SaslLogin::Step step = sasl_login->OnServerLine(server_words);
  if (!step.consumed) DispatchServerLine(line);
  for (const std::string& text : step.status) ShowStatus(text);
  for (const std::string& out : step.send) server_link.SendLine(out);
  if (!sasl_login->active()) sasl_login.reset();
}

void Client::DispatchServerLine(std::string_view line) {
  if (server_words.size() < 2) return;
  const int number = door::ParseDecimal(server_words[1]).value_or(-1);
  if (number != -1) {
    if (number == 465 || number == 902 || number == 904) NoteRefusal(number);
    HandleNumeric(number, line);
    if (number == 1) Welcomed();
    return;
  }
  for (const CommandRow& row : kCommands) {
    if (server_words[row.word] == row.command) {
      if (row.strip_word_2 && server_words.size() > 2 && server_words[2].starts_with(':')) {
        // The words no longer spell the line: texts are taken from the words themselves.
        server_words[2].erase(0, 1);
        row.handle(Fields{*this, server_words, line, /*from_line=*/false});
        return;
      }
      row.handle(Fields{*this, server_words, line, /*from_line=*/true});
      return;
    }
  }
  ShowLine("\1778" + std::string(line));
}

// Entry 0 ("Status") is never looked at, so no server line can take it away.
void Client::LeaveChannel(std::string_view channel) {
  int index = -1;
  for (size_t i = 1; i < targets.size(); ++i) {
    if (EqualsIgnoreCase(targets[i], channel)) {
      index = static_cast<int>(i);
      break;
    }
  }
  if (index < 0) return;
  targets.erase(targets.begin() + index);
  if (index == active_target) {
    NextTarget();
  } else if (index < active_target) {
    --active_target;
  }
}

bool Client::IsOwnNick(std::string_view nick) const {
  return EqualsIgnoreCase(nick, door_.visit.user_handle);
}

}  // namespace irc
