#include "platform/locale.h"

#include <langinfo.h>
#include <locale.h>
#include <time.h>

#include <cstdlib>

namespace platform {

int TimeZoneBiasMinutes() {
  tzset();  // a changed TZ or zone file takes effect at once
  time_t now = time(nullptr);
  tm local{};
  if (localtime_r(&now, &local) == nullptr) return 0;
  return static_cast<int>(-local.tm_gmtoff / 60);
}

namespace {

std::string EnvironmentTimeLocale() {
  for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(var);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

}  // namespace

LocaleTimeInfo ReadLocaleTimeInfo() {
  LocaleTimeInfo info;
  info.name = EnvironmentTimeLocale();
  locale_t loc = newlocale(LC_TIME_MASK, info.name.c_str(), static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) return info;
  info.loaded = true;
  info.date_format = nl_langinfo_l(D_FMT, loc);
  info.time_format = nl_langinfo_l(T_FMT, loc);
  info.time_format_ampm = nl_langinfo_l(T_FMT_AMPM, loc);
  info.am = nl_langinfo_l(AM_STR, loc);
  info.pm = nl_langinfo_l(PM_STR, loc);
  freelocale(loc);
  return info;
}

}  // namespace platform
