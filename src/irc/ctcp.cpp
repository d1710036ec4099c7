// CTCP inside PRIVMSG (requests) and NOTICE (replies): requests are shown and answered under a
// rate limit, actions shown as action lines, replies shown with a PING's response time.
#include <algorithm>
#include <cstdint>
#include <string>

#include "door/door.h"
#include "door/text_helpers.h"
#include "irc/client.h"

// Colour codes: see door/colour_codes.h.

namespace irc {
namespace {

std::string WithoutLast(std::string text) {
  if (!text.empty()) text.pop_back();
  return text;
}

// The keyword of the CTCP text in word 3: colon and opening byte 1 removed, and a closing byte 1
// when the keyword ends the message. A text of only ":" or byte 1 gives the empty keyword.
std::string CtcpKeyword(const Words& words) {
  std::string keyword = StripColon(WordAt(words, 3));
  if (!keyword.empty()) keyword.erase(0, 1);
  if (!keyword.empty() && keyword.back() == '\x01') keyword.pop_back();
  return keyword;
}

}  // namespace

void Client::HandleCtcpRequest() {
  const std::string keyword = CtcpKeyword(server_words);
  const std::string sender = PrefixNick(WordAt(server_words, 0));
  std::string body = TrailingText(server_words, 3);
  if (!body.empty()) body.erase(0, 1);
  body = WithoutLast(body);

  if (keyword == "ACTION") {
    ShowAction();
    return;
  }
  ShowStatus("\177A" + sender + " \1772requested " + body);

  const int now = door().SecondsOfDay();
  const int limit = config_file.Current().general.ctcp_delay;
  if (door::SecondsSince(last_ctcp_time, now) <= limit) return;

  const std::string reply_start = "NOTICE " + sender + " :\x01";
  if (keyword == "PING") {
    server_link.SendLine(reply_start + "PING " + WithoutLast(WordAt(server_words, 4)) + "\x01");
  } else if (keyword == "VERSION") {
    server_link.SendLine(reply_start + "VERSION " + std::string(kVersionText) + "\x01");
  } else if (keyword == "TIME") {
    const double now_local =
        UnixToLocal(static_cast<double>(door().clock().UnixSeconds()), date_time_format.TimeZoneBias());
    server_link.SendLine(reply_start + "TIME " + DateTimeText(now_local, date_time_format) + "\x01");
  }
  last_ctcp_time = now;
}

void Client::ShowAction() {
  const std::string text = WithoutLast(TrailingText(server_words, 4));
  ShowLine("\1778\u2261 \177E" + PrefixNick(WordAt(server_words, 0)) + "\1778:\177E" +
           WordAt(server_words, 2) + " \1777" + text);
}

void Client::ShowCtcpReply() {
  const std::string keyword = CtcpKeyword(server_words);
  const std::string sender = PrefixNick(WordAt(server_words, 0));
  if (keyword == "PING") {
    const int now = door().SecondsOfDay();
    const int sent = door::ParseDecimal(WithoutLast(TrailingText(server_words, 4))).value_or(now);
    // Counted in 64 bits: an echoed stamp may be any 32-bit number.
    int64_t elapsed = int64_t{now} - sent;
    if (now < sent) elapsed += door::kSecondsPerDay;
    ShowStatus("CTCP \177FPING \1777reply from " + sender + ": " + door::DurationText(elapsed));
    return;
  }
  std::string text = TrailingText(server_words, 4);
  if (!text.empty() && text.back() == '\x01') text.pop_back();
  ShowStatus("CTCP \177F" + UpperAscii(keyword) + " \1777reply from " + sender + ": " + text);
}

}  // namespace irc
