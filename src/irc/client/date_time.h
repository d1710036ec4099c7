// Unix times converted to local date-time values, and those values written as text in the
// machine's regional format. A local date-time value counts days since 1899-12-30 00:00 local
// time; its fraction is the time of day, so 1970-01-01 00:00 is 25569.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/locale.h"

namespace irc {

inline constexpr double kUnixEpochDay = 25569.0;

struct DateTimeFormat {
  // Short date as a strftime-style pattern; only day, month and year conversions and literal text
  // are written (%d %e %m %y %Y %C %D %F %%, with the "-" flag for no leading zero).
  std::string short_date = "%-m/%-d/%y";
  // Long time: hours, minutes and seconds joined by the separator, then a blank and the designator
  // on a 12-hour clock.
  std::string time_separator = ":";
  bool hour_leading_zero = false;
  bool twelve_hour = true;
  std::string am = "am";
  std::string pm = "pm";
  // Current offset of local time from UTC in minutes (UTC = local + bias); empty gives 0.
  std::function<int()> time_zone_bias;

  int TimeZoneBias() const { return time_zone_bias ? time_zone_bias() : 0; }

  // Derives the patterns from a locale's formats; C, POSIX, C.UTF-8 and a locale that is not
  // installed give the defaults above. The bias function is left empty.
  static DateTimeFormat FromLocale(const platform::LocaleTimeInfo& info);
  // The locale named by the environment, with the system's time zone.
  static DateTimeFormat FromSystem();
};

// seconds / 86400 + 25569 - bias / 1440.
double UnixToLocal(double unix_seconds, int bias_minutes);

// Short date, then a blank and the long time unless the time of day is 00:00:00. Empty for values
// that are not finite or lie outside the years 1 to 9999.
std::string DateTimeText(double value, const DateTimeFormat& format);

// The long time of day alone (hours, minutes, seconds, designator); empty as DateTimeText is.
std::string TimeOfDayText(double value, const DateTimeFormat& format);

// A word holding a Unix time as a real number, converted with the format's current bias; empty when
// the word is not a number.
std::string UnixTimeText(std::string_view word, const DateTimeFormat& format);

// A real number: optional sign, digits with an optional fraction and exponent, nothing else.
bool ParseReal(std::string_view text, double* value);

}  // namespace irc
