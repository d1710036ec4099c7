// Connecting to a network's servers in turn, the authentication prompts, the registration lines,
// and the automatic join once the server's welcome has ended.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "door/door.h"
#include "door/text_helpers.h"
#include "irc/client/client.h"
#include "irc/protocol/webirc.h"
#include "platform/ident_window.h"
#include "text/ascii.h"
#include "text/network_charset.h"

namespace irc {
namespace {

constexpr uint8_t kPromptAttr = 0x1F;
constexpr std::string_view kChooseNickHint = "No nickname was accepted: choose one with /NICK <nickname>";
// Whole lines written out, so that sending one needs no memory.
constexpr std::string_view kOutOfMemoryQuit = "QUIT :ZelkIRC v1.32 (Out Of Memory)\r\n";
constexpr std::string_view kInternalErrorQuit = "QUIT :ZelkIRC v1.32 (Internal Error)\r\n";
static_assert(kOutOfMemoryQuit.substr(6, kVersionText.size()) == kVersionText &&
                  kInternalErrorQuit.substr(6, kVersionText.size()) == kVersionText,
              "the QUIT lines name this version");

}  // namespace

void Client::ConnectNetwork(std::string_view network) {
  network_name = "<none>";
  const Config& config = config_file.Current();
  const NetworkConfig* found = config.FindNetwork(network);
  if (found == nullptr || found->servers.empty()) {
    SetNetworkCharset(found != nullptr ? found->charset : text::NetworkCharset::kUtf8);
    ShowStatus(NoServersProblem(config, network));
    return;
  }
  // A copy: connecting reads the file again when it has changed meanwhile.
  const NetworkConfig settings = *found;
  SetNetworkCharset(settings.charset);
  const RegistrationOptions options{.sasl = settings.sasl, .webirc_password = settings.webirc};
  for (size_t i = 0; i < settings.servers.size(); ++i) {
    const ServerEntry& server = settings.servers[i];
    if (ConnectServer(server.host, server.port, settings.pass, options, settings.name)) {
      network_name = std::string(network);
      auto_join_pending = true;
      server_turn_ = i;
      return;
    }
    if (ConnectStopped()) return;
  }
}

void Client::SetNetworkCharset(text::NetworkCharset charset) {
  network_charset_ = charset;
  server_link.line_encoder = nullptr;
  if (charset == text::NetworkCharset::kUtf8) return;
  server_link.line_encoder = [charset](std::string& out, std::string_view line) {
    text::AppendUtf8ToNetwork(out, line, charset);
  };
}

bool Client::ConnectServer(std::string_view host, ServerPort port, bool needs_password,
                           const RegistrationOptions& options, std::string_view network) {
  session.Connect();
  stop_connect_ = false;
  resuming_ = false;
  // Asked once a network; its reconnects log in with the same name and password.
  ForgetLogin();
  link_target_ = LinkTarget{.network = std::string(network),
                            .host = std::string(host),
                            .port = port,
                            .needs_password = needs_password,
                            .options = options};
  ShowStatus("Connecting to " + text::WithoutControls(host));
  std::string reason;
  if (OpenAndRegister(&reason)) return true;
  ConnectFailed(reason);
  return false;
}

void Client::ConnectFailed(std::string_view reason) {
  session.Failed(door_.MonotonicMs());
  // A connect the caller stopped has said so already.
  if (ConnectStopped()) return;
  ShowStatus("Unable to connect");
  if (!reason.empty()) ShowStatus(reason);
  // A plain port that a policy turned into TLS is not tried plain instead.
  if (link_port_.tls && !link_target_.port.tls) ShowStatus(kStsOnlyText);
}

bool Client::OpenAndRegister(std::string* reason) {
  // The unfinished last line of a previous connection can never be completed: kept, it would be
  // glued to the new server's first line. Typed lines and a negotiation belong to their connection too.
  server_lines.Reset();
  send_pacer.Reset();
  capabilities.reset();
  server_support = {};
  sts_move_port_.reset();
  end_reason_.clear();
  refused_ = false;
  const LinkTarget& target = link_target_;
  const ServerPort port = PortAfterSts(target.host, target.port);
  link_port_ = port;
  if (!OpenServerLink(target.host, port, target.network, reason)) return false;
  session.Opened(door_.MonotonicMs());
  const std::string webirc = WebircLine(target.options.webirc_password, caller_address);
  if (!webirc.empty()) server_link.SendLine(webirc);
  if (!login_ && (target.needs_password || target.options.sasl)) login_ = AskForLogin(target.options.sasl);
  // The server holds the registration until the negotiation has ended with CAP END.
  StartNegotiation(port.tls, target.options.sasl);
  // The whole password is one trailing parameter: blanks and a leading colon stay in it.
  if (login_ && !target.options.sasl) server_link.SendLine("PASS :" + login_->password);
  // Whatever set it (the handle, a prompt, a NICK of the last server), the nickname sent is a valid
  // one within the length the last server announced.
  SetNick(NickFromHandle(nick_, door_.visit.node, nick_length_));
  nick_retry_.Start(nick_, nick_length_, door_.visit.node);
  NotifyIdent(nick_, "Win32");
  server_link.SendLine("NICK " + nick_);
  server_link.SendLine("USER " + UserNameFromNick(nick_) +
                       " localhost localhost :" + door_.visit.user_real_name);
  link_watch_.Start(door_.MonotonicMs());
  return true;
}

void Client::ForgetLogin() {
  if (!login_) return;
  std::fill(login_->password.begin(), login_->password.end(), '\0');
  login_.reset();
}

Client::LoginAnswers Client::AskForLogin(bool account) {
  constexpr std::string_view kNameLabel = "Please Enter Your User Name: ";
  constexpr std::string_view kPasswordLabel = "Please Enter Your Password:  ";
  std::string_view label = kNameLabel;
  // After a sysop chat the prompt is drawn again; the door draws the field being typed after it.
  const OwnPrompt prompt(*this, [this, &label] {
    door_.DoorSetAttr(0x07);
    door_.DoorWriteLn("This server requires authentication");
    door_.DoorWrite(label);
  });
  EraseInputLine();  // keys typed during the connect may have drawn it
  door_.DoorNewLine();
  door_.DoorWriteLn("This server requires authentication");
  std::string name;
  do {
    door_.DoorWrite(kNameLabel);
    std::string typed =
        door_.DoorInputLine("", kPromptChars, '\0', 8, account ? kMaxLoginLength : 8, kPromptAttr);
    name = door::ReplaceAll(text::TrimControlsAndBlanks(typed), " ", "_");
  } while (name.empty());
  SetNick(name);
  label = kPasswordLabel;
  door_.DoorWrite(kPasswordLabel);
  return {std::move(name), door_.DoorInputLine("", kPromptChars, '*', 10, kMaxLoginLength, kPromptAttr)};
}

// Only Windows has ident server windows; elsewhere none is ever found and nothing is sent.
void Client::NotifyIdent(std::string_view user_id, std::string_view system_name) {
  if (ident_window == 0) return;
  platform::NotifyIdentWindow(ident_window, user_id, system_name);
}

void Client::SendQuit() {
  server_link.SendLine("QUIT :" + std::string(kVersionText));
}

void Client::SendQuit(std::string_view reason) {
  server_link.SendLine("QUIT :" + std::string(kVersionText) + " (" + std::string(reason) + ")");
}

void Client::SendFaultQuit(Fault fault) {
  server_link.Send(fault == Fault::kOutOfMemory ? kOutOfMemoryQuit : kInternalErrorQuit);
}

bool Client::RetryNickname(int number) {
  if ((number != 432 && number != 433 && number != 437) || !nick_retry_.registering()) return false;
  const std::optional<std::string> next = nick_retry_.Next();
  if (!next) return false;
  SetNick(*next);
  server_link.SendLine("NICK " + *next);
  return true;
}

void Client::NoteRegistrationReply(int number) {
  if (number == 5) {
    // Read into server_support before the reply is handled.
    if (server_support.nicklen > 0)
      nick_length_ = std::min(static_cast<size_t>(server_support.nicklen), kMaxNickLength);
    return;
  }
  if (number == 432 || number == 433 || number == 437) {
    if (nick_retry_.registering()) ShowStatus(kChooseNickHint);
    return;
  }
  if (number != 1 || !nick_retry_.registering()) return;
  // The welcome names the nickname the server registered, which a server that cuts long ones
  // may have changed.
  const std::string registered(server_message_[2]);
  if (IsValidNick(registered)) SetNick(registered);
  if (nick_retry_.Finish(nick_)) ShowStatus("You are now known as " + nick_);
}

void Client::EndOfMotd() {
  motd_requested = false;
  if (!auto_join_pending) return;
  auto_join_pending = false;
  const NetworkConfig* network = config_file.Current().FindNetwork(network_name);
  if (network == nullptr || network->channels.empty()) return;
  server_link.SendLine("JOIN " + network->channels);
  resume_notes_.NoteSent("JOIN " + network->channels);
}

}  // namespace irc
