// The time a server says it sent a line (the server-time tag), and the stamp a line shows when it
// was sent long before it arrived: history replayed on joining a channel, or a bouncer's playback.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "irc/client/date_time.h"

namespace irc {

// Lines sent longer ago than this show their own time.
inline constexpr int64_t kHistoryAgeSeconds = 60;

// "2026-12-10T14:02:11.123Z" (UTC; the fraction may be missing or of any length) in Unix seconds;
// nothing for any other text.
std::optional<int64_t> ParseServerTime(std::string_view text);

// The local time a line was sent, with its date when that is not today's, when it was sent more
// than kHistoryAgeSeconds before now; empty otherwise.
std::string HistoryStamp(int64_t sent, int64_t now, const DateTimeFormat& format);

}  // namespace irc
