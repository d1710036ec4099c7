// Time zone and regional time formats of the machine, as the C library reports them.
#pragma once

#include <string>

namespace platform {

// Offset of local time from UTC in minutes at this moment, daylight time included when it is in
// effect now: UTC = local time + bias (one hour east of Greenwich gives -60).
int TimeZoneBiasMinutes();

// The LC_TIME locale named by the environment (LC_ALL, then LC_TIME, then LANG; "C" when none is
// set) and its strftime-style formats.
struct LocaleTimeInfo {
  std::string name;
  bool loaded = false;           // false when the named locale is not installed; the strings are then empty
  std::string date_format;       // D_FMT
  std::string time_format;       // T_FMT
  std::string time_format_ampm;  // T_FMT_AMPM
  std::string am;                // AM_STR
  std::string pm;                // PM_STR
};

LocaleTimeInfo ReadLocaleTimeInfo();

}  // namespace platform
