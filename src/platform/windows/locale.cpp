// Time zone and regional formats from GetTimeZoneInformation and GetLocaleInfoA.
#include "platform/locale.h"

#include <windows.h>

#include "platform/windows/locale_picture.h"

namespace platform {
namespace {

std::string LocaleString(LCTYPE type) {
  char buf[256];
  const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buf, sizeof buf);
  return n > 1 ? std::string(buf, static_cast<size_t>(n - 1)) : std::string();
}

}  // namespace

int TimeZoneBiasMinutes() {
  TIME_ZONE_INFORMATION info{};
  switch (GetTimeZoneInformation(&info)) {
    case TIME_ZONE_ID_STANDARD:
      return static_cast<int>(info.Bias + info.StandardBias);
    case TIME_ZONE_ID_DAYLIGHT:
      return static_cast<int>(info.Bias + info.DaylightBias);
    case TIME_ZONE_ID_UNKNOWN:  // a zone without daylight time: the bias alone is the offset
      return static_cast<int>(info.Bias);
    default:
      return 0;
  }
}

LocaleTimeInfo ReadLocaleTimeInfo() {
  LocaleTimeInfo info;
  info.name = LocaleString(LOCALE_SNAME);
  if (info.name.empty()) info.name = "user default";
  const std::string short_date = LocaleString(LOCALE_SSHORTDATE);
  const std::string clock = LocaleString(LOCALE_ITIME);           // "0" 12-hour, "1" 24-hour
  const std::string leading_zero = LocaleString(LOCALE_ITLZERO);  // "1": hours with two digits
  const std::string separator = LocaleString(LOCALE_STIME);
  info.loaded = !short_date.empty() || !clock.empty();
  if (!info.loaded) return info;
  info.date_format = windows::DatePictureToPattern(short_date);
  const bool twenty_four_hour = clock == "1";
  info.time_format =
      windows::TimePattern(twenty_four_hour, leading_zero == "1", separator.empty() ? ":" : separator);
  info.time_format_ampm =
      windows::TimePattern(false, leading_zero == "1", separator.empty() ? ":" : separator);
  info.am = LocaleString(LOCALE_S1159);
  info.pm = LocaleString(LOCALE_S2359);
  return info;
}

}  // namespace platform
