// CTCP inside PRIVMSG (requests) and NOTICE (replies): requests are shown and answered under a
// rate limit, actions shown as action lines, replies shown with a PING's response time.
#include <algorithm>
#include <cstdint>
#include <string>

#include "door/door.h"
#include "door/durations.h"
#include "door/text_helpers.h"
#include "irc/client/client.h"
#include "text/ascii.h"
#include "text/colour_codes.h"

// Colour codes: see text/colour_codes.h.

namespace irc {
namespace {

using namespace text::colour;
using door::Concat;

std::string_view WithoutLast(std::string_view text) {
  if (!text.empty()) text.remove_suffix(1);
  return text;
}

std::string_view WithoutFirst(std::string_view text) {
  if (!text.empty()) text.remove_prefix(1);
  return text;
}

// The keyword of the CTCP text in word 3: colon and opening byte 1 removed, and a closing byte 1
// when the keyword ends the message. A text of only ":" or byte 1 gives the empty keyword.
std::string_view CtcpKeyword(const ServerMessage& message) {
  std::string_view keyword = message[3];
  if (keyword.starts_with(':')) keyword.remove_prefix(1);
  keyword = WithoutFirst(keyword);
  if (keyword.ends_with('\x01')) keyword.remove_suffix(1);
  return keyword;
}

}  // namespace

void Client::HandleCtcpRequest() {
  const std::string_view keyword = CtcpKeyword(server_message_);
  const std::string sender(server_message_.Nick());
  const std::string_view body = WithoutLast(WithoutFirst(server_message_.Trail(3)));

  if (keyword == "ACTION") {
    ShowAction();
    return;
  }
  ShowStatus(Concat({kLightGreen, sender, " ", kGreen, "requested ", body}));

  const int now = door().SecondsOfDay();
  const int limit = config_file.Current().general.ctcp_delay;
  if (door::SecondsSince(last_ctcp_time, now) <= limit) return;

  const std::string reply_start = "NOTICE " + sender + " :\x01";
  if (keyword == "PING") {
    server_link.SendLine(reply_start + "PING " + std::string(WithoutLast(server_message_[4])) + "\x01");
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
  const ServerMessage& m = server_message_;
  const std::string_view text = WithoutLast(m.Trail(4));
  // An action in a channel that names the caller is highlighted as a message is.
  const bool mention = !IsOwnNick(m[2]) && !IsOwnNick(m.Nick()) && NoteMention(text);
  ShowLine(Concat({kDarkGrey, "\u2261 ", kYellow, m.Nick(), kDarkGrey, ":", kYellow, m[2], " ",
                   mention ? kWhite : kGrey, text}));
}

void Client::ShowCtcpReply() {
  const std::string_view keyword = CtcpKeyword(server_message_);
  const std::string sender(server_message_.Nick());
  if (keyword == "PING") {
    const int now = door().SecondsOfDay();
    const int sent = text::ParseDecimal(WithoutLast(server_message_.Trail(4))).value_or(now);
    // Counted in 64 bits: an echoed stamp may be any 32-bit number.
    int64_t elapsed = int64_t{now} - sent;
    if (now < sent) elapsed += door::kSecondsPerDay;
    ShowStatus(
        Concat({"CTCP ", kWhite, "PING ", kGrey, "reply from ", sender, ": ", door::DurationText(elapsed)}));
    return;
  }
  std::string_view text = server_message_.Trail(4);
  if (text.ends_with('\x01')) text.remove_suffix(1);
  ShowStatus(
      Concat({"CTCP ", kWhite, text::UpperAscii(keyword), " ", kGrey, "reply from ", sender, ": ", text}));
}

}  // namespace irc
