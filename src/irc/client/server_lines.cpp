// Every line from the server: parsed once, numeric replies handed to the reply table, named
// commands matched in a fixed order and shown in the client's formats.
#include <initializer_list>
#include <string>
#include <string_view>

#include "door/door.h"
#include "door/text_helpers.h"
#include "irc/client/client.h"
#include "irc/client/line_time.h"
#include "irc/protocol/target_limits.h"
#include "text/ascii.h"
#include "text/caller_charset.h"
#include "text/colour_codes.h"
#include "text/network_charset.h"

namespace irc {

// The colours of the texts built here, by name (text/colour_codes.h).
using namespace text::colour;
using door::Concat;
namespace {

// The line being handled, which every command's display reads.
struct Fields {
  Client& client;
  const ServerMessage& message;

  std::string_view operator[](size_t i) const { return message[i]; }
  std::string_view Trail(size_t from) const { return message.Trail(from); }
  std::string_view Nick() const { return message.Nick(); }
  std::string_view UserHost() const { return message.UserHost(); }
  std::string_view line() const { return message.line(); }
  // The text of a PRIVMSG or NOTICE opens with a colon and byte 1.
  bool IsCtcp() const { return (*this)[3].size() >= 2 && (*this)[3][1] == '\x01'; }
};

// The server is about to close the link: its text is the reason the loss is told with. It is the
// server's word on the link itself, so it carries the status marker, the text in dark grey.
void ShowError(const Fields& f) {
  const std::string_view text = f.Trail(1);
  f.client.NoteServerError(text);
  f.client.ShowStatus(Concat({kDarkGrey, "ERROR: ", text}));
}

// With invite-notify the server also tells of invitations of others to the caller's channels.
void ShowInvite(const Fields& f) {
  std::string_view channel = f[3];
  if (channel.starts_with(':')) channel.remove_prefix(1);
  std::string_view invited = f[2];
  if (invited.starts_with(':')) invited.remove_prefix(1);
  if (!invited.empty() && !f.client.IsOwnNick(invited)) {
    f.client.ShowStatus(
        Concat({kWhite, f.Nick(), " ", kGrey, "invited ", kWhite, invited, " ", kGrey, "to ", channel}));
    return;
  }
  f.client.ShowStatus(Concat({kWhite, f.Nick(), " Invites You to ", channel}));
}

// "nick [user@host] has joined #channel": the nick light cyan, the address cyan in dark grey
// brackets, the rest grey.
std::string ComingOrGoing(const Fields& f, std::string_view what, std::string_view channel) {
  return Concat({kLightCyan, f.Nick(), " ", kDarkGrey, "[", kCyan, f.UserHost(), kDarkGrey, "] ", kGrey, what,
                 channel});
}

void HandleJoin(const Fields& f) {
  const std::string_view channel = f[2];
  std::string_view refusal;
  // A channel rejoined after a reconnect is kept where it was, and so is the active target.
  if (f.client.IsOwnNick(f.Nick()) && !f.client.TakeRejoin(channel)) {
    refusal = TargetRefusal(f.client.targets.size() - 1, channel);
    if (refusal.empty()) {
      f.client.targets.Add(std::string(channel));
    }
  }
  f.client.ShowStatus(ComingOrGoing(f, "has joined ", channel));
  if (!refusal.empty()) f.client.ShowStatus(Concat({"Channel not kept as a target: ", refusal}));
}

void HandleKick(const Fields& f) {
  if (f.client.IsOwnNick(f[3])) f.client.LeaveChannel(f[2]);
  f.client.ShowStatus(Concat({f[3], " was kicked off ", f[2], " by ", kCyan, f.Nick(), " ", kDarkGrey, "(",
                              kGrey, f.Trail(4), kDarkGrey, ")"}));
}

void ShowMode(const Fields& f) {
  f.client.ShowStatus(Concat({"Mode", kDarkGrey, "/", kCyan, f[2], " ", kDarkGrey, "[", kWhite, f.Trail(3),
                              kDarkGrey, "] ", kGrey, "by ", kWhite, f.Nick()}));
}

void HandleNick(const Fields& f) {
  const std::string_view new_nick = f[2];
  if (f.client.IsOwnNick(f.Nick())) {
    f.client.SetNick(std::string(new_nick));
    f.client.ShowStatus(Concat({"You are now known as ", new_nick}));
  } else {
    f.client.ShowStatus(Concat({kWhite, f.Nick(), " ", kGrey, "is now known as ", kCyan, new_nick}));
  }
}

void ShowServerNotice(const Fields& f) {
  f.client.ShowStatus(f.Trail(2));
}

void HandleNotice(const Fields& f) {
  if (f.IsCtcp()) {
    f.client.ShowCtcpReply();
  } else if (f.client.IsOwnNick(f[2])) {
    f.client.ShowLine(Concat({kDarkGrey, "-", kLightMagenta, f.Nick(), kDarkGrey, "(", kMagenta, f.UserHost(),
                              kDarkGrey, ")- ", kGrey, f.Trail(3)}));
  } else {
    f.client.ShowLine(Concat({kDarkGrey, "-", kLightMagenta, f.Nick(), kDarkGrey, ":", kMagenta, f[2],
                              kDarkGrey, "- ", kGrey, f.Trail(3)}));
  }
}

void HandlePart(const Fields& f) {
  const std::string_view channel = f[2];
  if (f.client.IsOwnNick(f.Nick())) f.client.LeaveChannel(channel);
  f.client.ShowStatus(ComingOrGoing(f, "has left ", channel));
}

// The parameter goes back unchanged, colon included.
void AnswerPing(const Fields& f) {
  f.client.server_link.SendLine(Concat({"PONG ", f[1]}));
}

// The answer to the silence check's PING is not shown; any other PONG is shown raw.
void HandlePong(const Fields& f) {
  std::string_view token = f[f.message.size() - 1];
  if (token.starts_with(':')) token.remove_prefix(1);
  if (token == LinkWatch::kPingToken) return;
  f.client.ShowLine(Concat({kDarkGrey, f.line()}));
}

void HandlePrivmsg(const Fields& f) {
  if (f.IsCtcp()) {
    f.client.HandleCtcpRequest();
  } else if (f.client.IsOwnNick(f[2])) {
    f.client.ShowLine(Concat({kDarkGrey, "[", kLightMagenta, f.Nick(), kDarkGrey, "(", kMagenta, f.UserHost(),
                              kDarkGrey, ")] ", kGrey, f.Trail(3)}));
  } else if (!f.client.IsOwnNick(f.Nick()) && f.client.NoteMention(f.Trail(3))) {
    f.client.ShowLine(Concat(
        {kYellow, "<", kWhite, f.Nick(), kDarkGrey, ":", kGrey, f[2], kYellow, "> ", kWhite, f.Trail(3)}));
  } else {
    f.client.ShowLine(Concat({kLightBlue, "<", kGrey, f.Nick(), kDarkGrey, ":", kGrey, f[2], kLightBlue, "> ",
                              kGrey, f.Trail(3)}));
  }
}

void ShowQuit(const Fields& f) {
  f.client.ShowStatus(
      Concat({"SignOff ", kWhite, f.Nick(), " ", kDarkGrey, "(", kGrey, f.Trail(2), kDarkGrey, ")"}));
}

void ShowTopic(const Fields& f) {
  f.client.ShowStatus(Concat({"Topic ", kDarkGrey, "(", kCyan, f[2], kDarkGrey, "): ", kGrey, "changed by ",
                              kCyan, f.Nick(), kDarkGrey, ": ", kGrey, f.Trail(3)}));
}

// Lines of capabilities that keep the door's picture of others right but are no news for the
// caller: capability changes (handled by the negotiation), tags alone (typing notices), accounts,
// user names and hosts, real names.
void Ignore(const Fields&) {}

// away-notify: shown for the people the caller talks to in private, silent for the rest.
void ShowAway(const Fields& f) {
  if (f.client.server_support.IsChannel(f.Nick()) || f.client.targets.Find(f.Nick()) <= 0) return;
  const std::string_view reason = f.message.Param(0);
  if (reason.empty()) {
    f.client.ShowStatus(Concat({kWhite, f.Nick(), " ", kGrey, "is back"}));
  } else {
    f.client.ShowStatus(
        Concat({kWhite, f.Nick(), " ", kGrey, "is away ", kDarkGrey, "(", kGrey, reason, kDarkGrey, ")"}));
  }
}

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
    {1, "QUIT", ShowQuit},           {1, "TOPIC", ShowTopic},     {1, "CAP", Ignore},
    {1, "TAGMSG", Ignore},           {1, "AWAY", ShowAway},       {1, "ACCOUNT", Ignore},
    {1, "CHGHOST", Ignore},          {1, "SETNAME", Ignore},
};

}  // namespace

void Client::ReceiveServerData() {
  link_watch_.Heard(door_.MonotonicMs());
  {
    // Everything shown for this batch of lines leaves together when the batch ends.
    door::OutputBatch batch(door_);
    EraseInputLine();
    server_lines.Feed(server_link.TakeBuffer(), [this](std::string_view line) { HandleServerLine(line); });
  }
  // Connecting again may ask the caller for a login: nothing waits in a batch meanwhile.
  if (sts_move_port_) MoveToTls();
  RedrawInputLine();
}

void Client::HandleServerLine(std::string_view line) {
  // A link about to move to TLS has nothing more to say.
  if (sts_move_port_) return;
  // From here on the line is UTF-8 (what is not is taken as Windows-1252 when shown), and a DEL in
  // it is already its caret form, so that no DEL with a digit after it passes for a colour code.
  if (network_charset_ != text::NetworkCharset::kUtf8 ||
      line.find(text::kCodeByte) != std::string_view::npos) {
    server_line_.clear();
    for (size_t del; (del = line.find(text::kCodeByte)) != std::string_view::npos;
         line.remove_prefix(del + 1)) {
      text::AppendNetworkToUtf8(server_line_, line.substr(0, del), network_charset_);
      server_line_.append("^?");
    }
    text::AppendNetworkToUtf8(server_line_, line, network_charset_);
    line = server_line_;
  }
  server_message_.Parse(line);
  // A line the server sent long ago (history replayed on a join, a bouncer's playback) shows when.
  if (!server_message_.tags().empty()) {
    const std::optional<std::string> time = server_message_.Tag("time");
    const std::optional<int64_t> sent = time ? ParseServerTime(*time) : std::nullopt;
    if (sent) line_stamp_ = HistoryStamp(*sent, door_.clock().UnixSeconds(), date_time_format);
  }
  if (!capabilities) {
    DispatchServerLine();
  } else {
    // Lines of the negotiation are its own; a reply it acts on is still shown first.
    CapNegotiation::Step step = capabilities->OnServerLine(server_message_);
    if (!step.consumed) DispatchServerLine();
    ApplyNegotiationStep(step);
  }
  line_stamp_.clear();
}

void Client::DispatchServerLine() {
  ServerMessage& message = server_message_;
  if (message.size() < 2) return;
  channel_members_.OnServerLine(message, nick_, server_support);
  const int number = text::ParseDecimal(message[1]).value_or(-1);
  if (number != -1) {
    if (number == 465 || number == 902 || number == 904) NoteRefusal(number);
    if (number == 5) ReadServerSupport();
    HandleNumeric(number);
    if (number == 1) Welcomed();
    return;
  }
  if (IsIgnoredSender()) return;
  NoteActivity();
  for (const CommandRow& row : kCommands) {
    if (message[row.word] == row.command) {
      if (row.strip_word_2) message.DropColon(2);
      row.handle(Fields{*this, message});
      return;
    }
  }
  ShowLine(Concat({kDarkGrey, message.line()}));
}

void Client::ReadServerSupport() {
  server_support.Read(server_message_);
  // Such a server takes nothing else, whatever the network's charset says.
  if (server_support.utf8only && network_charset_ != text::NetworkCharset::kUtf8)
    SetNetworkCharset(text::NetworkCharset::kUtf8);
}

// Messages, notices, actions, CTCP requests and invites from an ignored sender: not shown, not
// answered.
bool Client::IsIgnoredSender() const {
  if (ignore_list.masks().empty()) return false;
  const std::string_view verb = server_message_[1];
  if (verb != "PRIVMSG" && verb != "NOTICE" && verb != "INVITE") return false;
  return server_message_.has_prefix() && ignore_list.Ignores(server_message_[0]);
}

void Client::NoteActivity() {
  const ServerMessage& m = server_message_;
  const std::string_view verb = m[1];
  if ((verb != "PRIVMSG" && verb != "NOTICE") || m.size() < 4) return;
  const std::string_view target = m[2];
  // The active channel's lines, the bulk of all, are seen.
  if (server_support.SameName(target, targets.ActiveName())) return;
  if (m[0].find('!') == std::string_view::npos) return;  // a server's notice
  // A CTCP request or reply is no line of the conversation; an action is.
  const std::string_view first = m[3];
  if (first.size() >= 2 && first[1] == '\x01' &&
      !first.starts_with(":\x01"
                         "ACTION"))
    return;
  const std::string_view name = IsOwnNick(target) ? m.Nick() : target;
  if (server_support.SameName(name, targets.ActiveName()) || IsOwnNick(name)) return;
  activity_.Add(name);
}

bool Client::NoteMention(std::string_view text) {
  if (!MentionsNick(text, nick_)) return false;
  if (activity_.BellDue(door_.MonotonicMs())) door_.DoorWrite("\a");
  return true;
}

void Client::LeaveChannel(std::string_view channel) {
  const Targets::Left left = targets.Leave(channel);
  if (left == Targets::Left::kNotFound) return;
  activity_.Seen(channel);
  if (left == Targets::Left::kActive) activity_.Seen(targets.ActiveName());
}

bool Client::IsOwnNick(std::string_view nick) const {
  return server_support.SameName(nick, nick_);
}

}  // namespace irc
