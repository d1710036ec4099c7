// The server-time tag read, and the stamp of a line that arrives long after it was sent.
#include "irc/client/line_time.h"

#include <cmath>

namespace irc {
namespace {

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

// Exactly `count` decimal digits at `at`, advancing it.
std::optional<int> Digits(std::string_view text, size_t& at, size_t count) {
  if (at + count > text.size()) return std::nullopt;
  int value = 0;
  for (size_t i = 0; i < count; ++i) {
    const char c = text[at + i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  at += count;
  return value;
}

bool Take(std::string_view text, size_t& at, char c) {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

}  // namespace

std::optional<int64_t> ParseServerTime(std::string_view text) {
  size_t at = 0;
  const std::optional<int> year = Digits(text, at, 4);
  if (!year || !Take(text, at, '-')) return std::nullopt;
  const std::optional<int> month = Digits(text, at, 2);
  if (!month || !Take(text, at, '-')) return std::nullopt;
  const std::optional<int> day = Digits(text, at, 2);
  if (!day || !Take(text, at, 'T')) return std::nullopt;
  const std::optional<int> hour = Digits(text, at, 2);
  if (!hour || !Take(text, at, ':')) return std::nullopt;
  const std::optional<int> minute = Digits(text, at, 2);
  if (!minute || !Take(text, at, ':')) return std::nullopt;
  const std::optional<int> second = Digits(text, at, 2);
  if (!second) return std::nullopt;
  if (Take(text, at, '.')) {
    const size_t start = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
    if (at == start) return std::nullopt;
  }
  if (!Take(text, at, 'Z') || at != text.size()) return std::nullopt;
  if (*month < 1 || *month > 12 || *day < 1 || *day > 31 || *hour > 23 || *minute > 59 || *second > 60)
    return std::nullopt;
  return DaysFromCivil(*year, *month, *day) * 86400 + *hour * 3600 + *minute * 60 + *second;
}

std::string HistoryStamp(int64_t sent, int64_t now, const DateTimeFormat& format) {
  if (now - sent <= kHistoryAgeSeconds) return "";
  const int bias = format.TimeZoneBias();
  const double sent_local = UnixToLocal(static_cast<double>(sent), bias);
  const double now_local = UnixToLocal(static_cast<double>(now), bias);
  if (std::floor(sent_local) == std::floor(now_local)) return TimeOfDayText(sent_local, format);
  // DateTimeText leaves the time out at midnight exactly; a stamp always has it.
  std::string text = DateTimeText(std::floor(sent_local), format);
  if (text.empty()) return "";
  return text + " " + TimeOfDayText(sent_local, format);
}

}  // namespace irc
