// Connecting to a network's servers in turn, the authentication prompts, the registration lines,
// and the automatic join once the server's welcome has ended.
#include <algorithm>
#include <string>
#include <vector>

#include "door/door.h"
#include "door/text_helpers.h"
#include "irc/client.h"
#include "irc/network_keys.h"
#include "irc/webirc.h"
#include "platform/ident_window.h"

namespace irc {
namespace {

constexpr uint8_t kPromptAttr = 0x1F;
// Whole lines written out, so that sending one needs no memory.
constexpr std::string_view kOutOfMemoryQuit = "QUIT :ZelkIRC v1.32 (Out Of Memory)\r\n";
constexpr std::string_view kInternalErrorQuit = "QUIT :ZelkIRC v1.32 (Internal Error)\r\n";
static_assert(kOutOfMemoryQuit.substr(6, kVersionText.size()) == kVersionText &&
                  kInternalErrorQuit.substr(6, kVersionText.size()) == kVersionText,
              "the QUIT lines name this version");

}  // namespace

std::string NickFromHandle(std::string_view handle) {
  std::string nick = door::ReplaceAll(handle, " ", "_");
  if (nick.size() > 8) nick.resize(8);
  return nick;
}

void Client::ConnectNetwork(std::string_view network) {
  network_name = "<none>";
  SetNetworkCharset(text::ParseNetworkCharset(ini_file.ReadString(network, "charset", ""))
                        .value_or(text::NetworkCharset::kUtf8));
  const std::vector<std::string> hosts = NetworkHosts(ini_file, network);
  const RegistrationOptions options{.sasl = ReadSwitch(ini_file, network, "sasl", false),
                                    .webirc_password = ini_file.ReadString(network, "webirc", "")};
  for (const std::string& host : hosts) {
    const ServerPort port = ParseServerPort(ini_file.ReadString(network, host, ""));
    bool needs_password = ini_file.ReadBool(network, "pass", false);
    if (ConnectServer(host, port, needs_password, options, network)) {
      network_name = std::string(network);
      auto_join_pending = true;
      return;
    }
  }
}

void Client::SetNetworkCharset(text::NetworkCharset charset) {
  network_charset = charset;
  server_link.line_encoder = nullptr;
  if (charset == text::NetworkCharset::kUtf8) return;
  server_link.line_encoder = [charset](std::string& out, std::string_view line) {
    text::AppendUtf8ToNetwork(out, line, charset);
  };
}

bool Client::ConnectServer(std::string_view host, ServerPort port, bool needs_password,
                           const RegistrationOptions& options, std::string_view network) {
  link_plan_ = LinkPlan{std::string(host), port, needs_password, options, std::string(network)};
  return ConnectPlanned(std::nullopt);
}

bool Client::ConnectPlanned(std::optional<LoginAnswers> answers) {
  const LinkPlan& plan = link_plan_;
  ShowStatus("Connecting to " + plan.host);
  // The unfinished last line of a previous connection can never be completed: kept, it would be
  // glued to the new server's first line. Typed lines and a negotiation belong to their connection too.
  server_lines.Reset();
  send_pacer.Reset();
  capabilities.reset();
  server_support = {};
  sts_move_port_.reset();
  const ServerPort port = PortAfterSts(plan.host, plan.port);
  link_port_ = port;
  if (!OpenServerLink(plan.host, port, plan.network)) {
    if (port.tls && !plan.port.tls) ShowStatus(kStsOnlyText);
    return false;
  }
  const std::string webirc = WebircLine(plan.options.webirc_password, caller_address);
  if (!webirc.empty()) server_link.SendLine(webirc);
  if (!answers && (plan.needs_password || plan.options.sasl)) answers = AskForLogin(plan.options.sasl);
  // The server holds the registration until the negotiation has ended with CAP END.
  StartNegotiation(port.tls, answers, plan.options.sasl);
  if (answers && !plan.options.sasl) server_link.SendLine("PASS " + answers->password);
  if (answers) std::fill(answers->password.begin(), answers->password.end(), '\0');
  NotifyIdent(door_.visit.user_handle, "Win32");
  server_link.SendLine("NICK " + door_.visit.user_handle);
  server_link.SendLine("USER " + door_.visit.user_handle +
                       " localhost localhost :" + door_.visit.user_real_name);
  link_watch.Start(door_.MonotonicMs());
  return true;
}

Client::LoginAnswers Client::AskForLogin(bool account) {
  door_.DoorNewLine();
  door_.DoorWriteLn("This server requires authentication");
  std::string name;
  do {
    door_.DoorWrite("Please Enter Your User Name: ");
    std::string typed =
        door_.DoorInputLine("", kPromptChars, '\0', 8, account ? kMaxLoginLength : 8, kPromptAttr);
    name = door::ReplaceAll(door::TrimControlsAndBlanks(typed), " ", "_");
  } while (name.empty());
  door_.visit.user_handle = NickFromHandle(name);
  door_.DoorWrite("Please Enter Your Password:  ");
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

void Client::EndOfMotd() {
  motd_requested = false;
  if (!auto_join_pending) return;
  auto_join_pending = false;
  std::string channels = ini_file.ReadString(network_name, "channels", "");
  if (!channels.empty()) server_link.SendLine("JOIN " + channels);
}

}  // namespace irc
