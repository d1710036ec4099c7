// Numeric replies: one table of rows, each naming its reply numbers, how the reply is shown and
// the text it shows, walked by the small amount of code below it.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include "door/door.h"
#include "door/durations.h"
#include "door/text_helpers.h"
#include "irc/client/client.h"
#include "text/ascii.h"
#include "text/colour_codes.h"
#include "text/utf8.h"

namespace irc {
namespace {

using namespace text::colour;

enum class Shown {
  kStatus,     // each line of the text as a status line
  kLines,      // each line of the text as a plain line
  kNothing,    // no output
  kMotd,       // a status line while the message of the day was asked for
  kEndOfMotd,  // end of the message of the day, then the auto-join
  kNames,      // a status line, then the names grid
};

// Text templates hold literal bytes, colour codes by name (text/colour_codes.h) and fields in
// braces.
// Fields:
//   {n} word n          {Tn} the words from n on, one leading colon removed
//   {Ln} the last parameter: the words from the first one at or after n that opens with a colon
//        (colon removed), or the last word when none does
//   {R} the whole line rebuilt from its words (leading colon kept)
//   {Dn} the Unix time in word n as local date and time
//   {In} the decimal seconds in word n as a duration (0 when not a number)
//   {N} the number of words minus 5        {=text} the literal text
// A field followed by <w or >w is padded with blanks at its end or start and cut to w characters.
// A "\n" separates lines.
struct ReplyRow {
  std::string_view numbers;  // single numbers and ranges ("200-206, 208")
  Shown shown;
  std::string_view text;
  std::string_view text_for_five_words = {};  // replaces text when the line has exactly 5 words
};

constexpr ReplyRow kReplyRows[] = {
    {"1-5, 250, 251, 255-260, 305, 306, 351, 371, 381, 409, 411, 412, 422, 424, 431, "
     "445, 446, 451, 462-465, 481, 483, 491, 501, 502, 902-907",
     Shown::kStatus, "{T3}"},
    // User counts, with or without the two numbers in front of the text.
    {"265, 266", Shown::kStatus, "{L3}"},
    {"200-206, 208, 261, 211-219, 241-244, 392-395", Shown::kLines, Joined<kGrey, "{R}">},
    {"221", Shown::kStatus, "Your user mode is [{3}]"},
    {"252", Shown::kStatus, "Operator(s) online: {3}"},
    {"253", Shown::kStatus, "Unknown connection(s): {3}"},
    {"254", Shown::kStatus, "Channel(s) formed: {3}"},
    {"301", Shown::kLines, Joined<kDarkGrey, "| ", kWhite, "a", kGrey, "way     : {3} - {T4}">},
    {"303", Shown::kStatus, "Currently online: {T3}"},
    // The top of the WHOIS box: a line that fades out to the right, the nick, the real name.
    {"311", Shown::kLines,
     Joined<kLightGreen, "\u250C\u2500\u2500\u2500\u2500\u2500---", kGreen, "\u2500", kLightGreen, "--",
            kGreen, "\u2500\u2500", kLightGreen, "-", kGreen, "\u2500\u2500\u2500\u2500\u2500\u2500---",
            kDarkGrey, "\u2500", kGreen, "--", kDarkGrey, "\u2500\u2500", kGreen, "-", kDarkGrey,
            "\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500--- --  -\n",  // the top line
            kLightGreen, "| ", kWhite, "{3} ", kDarkGrey, "(", kGrey, "{4}@{5}", kDarkGrey, ")\n",  // nick
            kLightGreen, "\u2502 ", kWhite, "i", kGrey, "rcname  : {T7}">},
    {"312", Shown::kLines,
     Joined<kDarkGrey, "\u2502 ", kWhite, "s", kGrey, "erver   : {4} ", kDarkGrey, "(", kGrey, "{T5}",
            kDarkGrey, ")">},
    {"313", Shown::kLines, Joined<kDarkGrey, "| ", kWhite, "o", kGrey, "ther    : {3} {T4}">},
    {"314", Shown::kStatus,
     Joined<kWhite, "{3}", kGrey, " was ", kDarkGrey, "(", kGrey, "{4}@{5}", kDarkGrey, ")\n",  // first line
            kWhite, "i", kGrey, "rcname  : {T7}">},
    {"317", Shown::kLines, Joined<kDarkGrey, ": ", kWhite, "i", kGrey, "dle     : {I4}">},
    {"319", Shown::kLines, Joined<kDarkGrey, "| ", kWhite, "c", kGrey, "hannels : {T4}">},
    {"330", Shown::kLines, Joined<kDarkGrey, "| ", kWhite, "a", kGrey, "ccount  : {4}">},
    {"378", Shown::kLines, Joined<kDarkGrey, "| ", kWhite, "h", kGrey, "ost     : {T4}">},
    {"379", Shown::kLines, Joined<kDarkGrey, "| ", kWhite, "m", kGrey, "odes    : {T4}">},
    {"671", Shown::kLines, Joined<kDarkGrey, "| ", kWhite, "s", kGrey, "ecure   : {T4}">},
    {"321", Shown::kLines, "{=Channel<10}  {=Users<5}  {=Topic<60}"},
    {"322", Shown::kLines, "{3<10}  {4>5}  {T5<60}"},
    {"324", Shown::kStatus,
     Joined<"{T0}\nmode", kDarkGrey, "/", kCyan, "{3} ", kDarkGrey, "[", kWhite, "{4} {T5}", kDarkGrey, "]">,
     Joined<"{T0}\nmode", kDarkGrey, "/", kCyan, "{3} ", kDarkGrey, "[", kWhite, "{4}", kDarkGrey, "]">},
    {"329", Shown::kStatus, "Channel {3} was created at {D4}"},
    {"332", Shown::kStatus, Joined<"Topic ", kDarkGrey, "(", kCyan, "{3}", kDarkGrey, "): ", kGrey, "{T4}">},
    {"333", Shown::kStatus,
     Joined<"Topic ", kDarkGrey, "(", kCyan, "{3}", kDarkGrey, "): ", kGrey, "set by ", kCyan, "{4} ", kGrey,
            "at ", kCyan, "{D5}">},
    {"341", Shown::kStatus, Joined<kWhite, "Inviting {4} to {3}">},
    // Word 8 twice: the flags word, then again at the start of the trailing text.
    {"352", Shown::kStatus, "{3} {7} {8} {4}@{5} {T8}"},
    {"353", Shown::kNames,
     Joined<kDarkGrey, "[", kLightGreen, "Users", kDarkGrey, "(", kGreen, "{4}", kDarkGrey, ":", kGreen,
            "{N}", kDarkGrey, ")]">},
    {"364", Shown::kStatus, "{4} {T5}"},
    {"367", Shown::kStatus, "{3} {4}"},
    {"372, 375", Shown::kMotd, "{T3}"},
    {"376", Shown::kEndOfMotd, ""},
    {"382", Shown::kStatus, "{T4}{3}"},
    {"391", Shown::kStatus, "{3}{T4}"},
    {"401, 403, 404, 406, 421, 432, 433, 444, 461, 467, 471, 473-475, 482", Shown::kStatus, "{T4}: {3}"},
    {"402", Shown::kStatus, "{3}  {T4}"},
    {"405, 407, 413, 414, 423, 436", Shown::kStatus, "{T4}"},
    {"441", Shown::kStatus, "{3} is not on {4}"},
    {"442", Shown::kStatus, "You're not on {3}"},
    {"443", Shown::kStatus, "{3} is already on {4}"},
    {"396, 472, 908", Shown::kStatus, "{3} {T4}"},
    {"900", Shown::kStatus, "{T5}"},
    {"901", Shown::kStatus, "{T4}"},
    {"300, 302, 315, 318, 323, 331, 342, 365, 366, 368, 369, 374", Shown::kNothing, ""},
};

constexpr int kTableSize = 1000;

// Row index for every number below 1000, -1 where the table has no row.
const std::array<int16_t, kTableSize>& RowIndex() {
  static const std::array<int16_t, kTableSize> index = [] {
    std::array<int16_t, kTableSize> built;
    built.fill(-1);
    for (size_t row = 0; row < std::size(kReplyRows); ++row) {
      std::string_view numbers = kReplyRows[row].numbers;
      while (!numbers.empty()) {
        size_t comma = numbers.find(',');
        std::string_view item = numbers.substr(0, comma);
        numbers = comma == std::string_view::npos ? std::string_view() : numbers.substr(comma + 1);
        while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
        size_t dash = item.find('-');
        int first = 0;
        first = text::ParseDecimal(item.substr(0, dash)).value_or(first);
        int last = first;
        if (dash != std::string_view::npos) last = text::ParseDecimal(item.substr(dash + 1)).value_or(last);
        for (int n = first; n <= last; ++n) built[n] = static_cast<int16_t>(row);
      }
    }
    return built;
  }();
  return index;
}

const ReplyRow* FindRow(int number) {
  if (number < 0 || number >= kTableSize) return nullptr;
  int16_t row = RowIndex()[number];
  return row < 0 ? nullptr : &kReplyRows[row];
}

class ReplyText {
 public:
  ReplyText(const ServerMessage& message, const DateTimeFormat& format)
      : message_(message), format_(format) {}

  std::string Fill(std::string_view text) const {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
      size_t close = text[i] == '{' ? text.find('}', i) : std::string_view::npos;
      if (close == std::string_view::npos) {
        out += text[i];
        continue;
      }
      out += Field(text.substr(i + 1, close - i - 1));
      i = close;
    }
    return out;
  }

 private:
  std::string Field(std::string_view spec) const {
    char pad = 0;
    int width = 0;
    size_t op = spec.find_last_of("<>");
    const std::optional<int> given =
        op != std::string_view::npos && op > 0 ? text::ParseDecimal(spec.substr(op + 1)) : std::nullopt;
    if (given) {
      width = *given;
      pad = spec[op];
      spec = spec.substr(0, op);
    }
    std::string value = Value(spec);
    // Columns are characters: the value is UTF-8.
    if (pad == '<' || pad == '>')
      return text::PadChars(value, static_cast<size_t>(std::max(width, 0)), pad == '>');
    return value;
  }

  std::string Value(std::string_view spec) const {
    if (spec.empty()) return "";
    if (spec.front() == '=') return std::string(spec.substr(1));
    if (spec == "R") return std::string(message_.Joined(0));
    if (spec == "N") return std::to_string(static_cast<int>(message_.size()) - 5);
    const bool lettered =
        spec.front() == 'T' || spec.front() == 'L' || spec.front() == 'D' || spec.front() == 'I';
    const int n = text::ParseDecimal(lettered ? spec.substr(1) : spec).value_or(-1);
    if (n < 0) return "";
    const size_t i = static_cast<size_t>(n);
    switch (lettered ? spec.front() : 'W') {
      case 'T':
        return std::string(message_.Trail(i));
      case 'L':
        return std::string(message_.Trail(LastParameter(i)));
      case 'D':
        return UnixTimeText(message_[i], format_);
      case 'I':
        return door::ShownDuration(text::ParseDecimal(message_[i]).value_or(0));
      default:
        return std::string(message_[i]);
    }
  }

  size_t LastParameter(size_t from) const {
    for (size_t i = from; i < message_.size(); ++i) {
      if (message_[i].starts_with(':')) return i;
    }
    return from >= message_.size() ? from : message_.size() - 1;
  }

  const ServerMessage& message_;
  const DateTimeFormat& format_;
};

}  // namespace

void Client::HandleNumeric(int number) {
  if (RetryNickname(number)) return;
  const ServerMessage& message = server_message_;
  const ReplyRow* row = FindRow(number);
  if (row == nullptr) {
    ShowLine(door::Concat({kDarkGrey, message.line()}));
    NoteRegistrationReply(number);
    return;
  }
  const ReplyText reply(message, date_time_format);
  std::string_view text = row->text;
  if (!row->text_for_five_words.empty() && message.size() == 5) text = row->text_for_five_words;

  auto show_each_line = [&](bool as_status) {
    const std::string filled = reply.Fill(text);
    size_t start = 0;
    for (;;) {
      size_t end = filled.find('\n', start);
      std::string_view one = std::string_view(filled).substr(start, end - start);
      as_status ? ShowStatus(one) : ShowLine(one);
      if (end == std::string::npos) break;
      start = end + 1;
    }
  };

  switch (row->shown) {
    case Shown::kStatus:
      show_each_line(true);
      break;
    case Shown::kLines:
      show_each_line(false);
      break;
    case Shown::kNothing:
      break;
    case Shown::kMotd:
      if (motd_requested) show_each_line(true);
      break;
    case Shown::kEndOfMotd:
      EndOfMotd();
      break;
    case Shown::kNames: {
      show_each_line(true);
      std::string grid;
      for (size_t i = 5; i < message.size(); ++i) {
        // With userhost-in-names each name carries its user and host: the grid shows the nick.
        std::string_view name = message[i];
        if (name.starts_with(':')) name.remove_prefix(1);
        name = name.substr(0, name.find('!'));
        grid += door::Concat({kDarkGrey, "[", kLightBlue, text::PadChars(name, 13, false), kDarkGrey, "] "});
      }
      ShowLine(grid);
      break;
    }
  }
  NoteRegistrationReply(number);
}

}  // namespace irc
