// Unix times as local date-time values, written in the machine's regional format.
#include "irc/client/date_time.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "door/durations.h"

namespace irc {

namespace {

using door::kMsPerDay;
// Days from 1899-12-30 to 0001-01-01 and to 9999-12-31.
constexpr double kFirstDay = -693'593.0;
constexpr double kLastDay = 2'958'465.0;

struct CivilDate {
  int64_t year;
  int month;
  int day;
};

// Proleptic Gregorian date of a day count relative to 1970-01-01.
CivilDate CivilFromDays(int64_t z) {
  z += 719'468;
  const int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
  const int64_t doe = z - era * 146'097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36'524 - doe / 146'096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yoe + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

std::string Number(int64_t n, bool two_digits) {
  std::string text = std::to_string(n);
  if (two_digits && text.size() < 2) text.insert(0, 1, '0');
  return text;
}

// Writes the date through a strftime-style pattern restricted to day, month and year.
std::string FormatDate(std::string_view pattern, const CivilDate& date) {
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%' || i + 1 == pattern.size()) {
      out += pattern[i];
      continue;
    }
    ++i;
    bool no_pad = false;
    bool zero_pad = false;
    while (i < pattern.size() && std::string_view("-_0^#").find(pattern[i]) != std::string_view::npos) {
      no_pad = no_pad || pattern[i] == '-' || pattern[i] == '_';
      zero_pad = zero_pad || pattern[i] == '0';
      ++i;
    }
    while (i < pattern.size() && (pattern[i] >= '0' && pattern[i] <= '9')) ++i;
    if (i < pattern.size() && (pattern[i] == 'E' || pattern[i] == 'O')) ++i;
    if (i == pattern.size()) break;
    const bool two = !no_pad;
    switch (pattern[i]) {
      case 'd':
        out += Number(date.day, two);
        break;
      case 'e':
        out += Number(date.day, zero_pad);
        break;
      case 'm':
        out += Number(date.month, two);
        break;
      case 'y':
        out += Number(date.year % 100, two);
        break;
      case 'Y':
        out += Number(date.year, false);
        break;
      case 'C':
        out += Number(date.year / 100, two);
        break;
      case 'D':
        out += FormatDate("%m/%d/%y", date);
        break;
      case 'F':
        out += FormatDate("%Y-%m-%d", date);
        break;
      case '%':
        out += '%';
        break;
      default:
        break;  // names, weekdays and the like are not part of a short date
    }
  }
  return out;
}

std::string FormatTime(const DateTimeFormat& format, int hour, int minute, int second) {
  int shown_hour = hour;
  if (format.twelve_hour) {
    shown_hour = hour % 12;
    if (shown_hour == 0) shown_hour = 12;
  }
  std::string text = Number(shown_hour, format.hour_leading_zero) + format.time_separator +
                     Number(minute, true) + format.time_separator + Number(second, true);
  if (format.twelve_hour) text += " " + (hour < 12 ? format.am : format.pm);
  return text;
}

bool IsCLocale(std::string_view name) {
  return name == "C" || name == "POSIX" || name.starts_with("C.");
}

std::string ExpandTimeShorthands(std::string_view fmt, std::string_view ampm) {
  std::string out;
  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] == '%' && i + 1 < fmt.size()) {
      const char c = fmt[i + 1];
      if (c == 'r' || c == 'T' || c == 'R') {
        out += c == 'r' ? std::string(ampm.empty() ? "%I:%M:%S %p" : ampm) : c == 'T' ? "%H:%M:%S" : "%H:%M";
        ++i;
        continue;
      }
      out += fmt.substr(i, 2);
      ++i;
      continue;
    }
    out += fmt[i];
  }
  return out;
}

// Reads the hour conversion of a time format: the clock, the leading zero and the separator that
// follows the hour.
void DeriveLongTime(std::string_view fmt, DateTimeFormat& format) {
  for (size_t i = 0; i + 1 < fmt.size(); ++i) {
    if (fmt[i] != '%') continue;
    size_t j = i + 1;
    char flag = 0;
    while (j < fmt.size() && std::string_view("-_0^#").find(fmt[j]) != std::string_view::npos)
      flag = fmt[j++];
    if (j < fmt.size() && (fmt[j] == 'E' || fmt[j] == 'O')) ++j;
    if (j >= fmt.size()) return;
    const char c = fmt[j];
    if (c != 'H' && c != 'I' && c != 'k' && c != 'l') {
      i = j;
      continue;
    }
    format.twelve_hour = c == 'I' || c == 'l';
    format.hour_leading_zero = flag == '0' || ((c == 'H' || c == 'I') && flag != '-' && flag != '_');
    const size_t after = j + 1;
    const size_t next = fmt.find('%', after);
    std::string separator(
        fmt.substr(after, next == std::string_view::npos ? std::string_view::npos : next - after));
    format.time_separator = separator.empty() ? ":" : separator;
    return;
  }
}

}  // namespace

DateTimeFormat DateTimeFormat::FromLocale(const platform::LocaleTimeInfo& info) {
  DateTimeFormat format;
  if (!info.loaded || IsCLocale(info.name)) return format;
  if (!info.date_format.empty()) format.short_date = info.date_format;
  DeriveLongTime(ExpandTimeShorthands(info.time_format, info.time_format_ampm), format);
  if (!info.am.empty()) format.am = info.am;
  if (!info.pm.empty()) format.pm = info.pm;
  return format;
}

DateTimeFormat DateTimeFormat::FromSystem() {
  DateTimeFormat format = FromLocale(platform::ReadLocaleTimeInfo());
  format.time_zone_bias = [] { return platform::TimeZoneBiasMinutes(); };
  return format;
}

double UnixToLocal(double unix_seconds, int bias_minutes) {
  return unix_seconds / 86400.0 + kUnixEpochDay - bias_minutes / 1440.0;
}

std::string DateTimeText(double value, const DateTimeFormat& format) {
  if (!std::isfinite(value) || value < kFirstDay || value >= kLastDay + 1.0) return "";
  const int64_t total_ms = std::llround(value * static_cast<double>(kMsPerDay));
  int64_t days = total_ms / kMsPerDay;
  int64_t ms = total_ms % kMsPerDay;
  if (ms < 0) {
    ms += kMsPerDay;
    --days;
  }
  const CivilDate date = CivilFromDays(days - static_cast<int64_t>(kUnixEpochDay));
  if (date.year < 1 || date.year > 9999) return "";
  std::string text = FormatDate(format.short_date, date);
  const int seconds = static_cast<int>(ms / 1000);
  if (seconds != 0) text += " " + FormatTime(format, seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

std::string TimeOfDayText(double value, const DateTimeFormat& format) {
  if (!std::isfinite(value) || value < kFirstDay || value >= kLastDay + 1.0) return "";
  int64_t ms = std::llround(value * static_cast<double>(kMsPerDay)) % kMsPerDay;
  if (ms < 0) ms += kMsPerDay;
  const int seconds = static_cast<int>(ms / 1000);
  return FormatTime(format, seconds / 3600, seconds / 60 % 60, seconds % 60);
}

std::string UnixTimeText(std::string_view word, const DateTimeFormat& format) {
  double seconds = 0;
  if (!ParseReal(word, &seconds)) return "";
  return DateTimeText(UnixToLocal(seconds, format.TimeZoneBias()), format);
}

bool ParseReal(std::string_view text, double* value) {
  if (text.starts_with('+')) {
    text.remove_prefix(1);
    if (text.starts_with('-')) return false;
  }
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, *value, std::chars_format::general);
  return ec == std::errc() && ptr == end && std::isfinite(*value);
}

}  // namespace irc
