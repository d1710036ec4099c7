// Unix times to local date-time values, and their text in the fallback and in derived patterns.
#include "irc/client/date_time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace irc {
namespace {

constexpr double kEpoch = 25569.0;

double At(double day, int h, int m, int s) {
  return day + (h * 3600 + m * 60 + s) / 86400.0;
}

TEST(DateTimeTest, UnixToLocalAppliesTheBias) {
  EXPECT_DOUBLE_EQ(UnixToLocal(0, 0), kEpoch);
  EXPECT_DOUBLE_EQ(UnixToLocal(0, -60), kEpoch + 1.0 / 24);
  EXPECT_DOUBLE_EQ(UnixToLocal(86400, 300), kEpoch + 1 - 300.0 / 1440);
}

TEST(DateTimeTest, FallbackPatterns) {
  const DateTimeFormat fallback;
  struct Case {
    double value;
    std::string text;
  };
  const Case cases[] = {
      {kEpoch, "1/1/70"},  // midnight: the date alone
      {UnixToLocal(0, -60), "1/1/70 1:00:00 am"},
      {At(kEpoch, 0, 0, 1), "1/1/70 12:00:01 am"},
      {At(kEpoch, 12, 0, 0), "1/1/70 12:00:00 pm"},
      {At(kEpoch, 13, 5, 9), "1/1/70 1:05:09 pm"},
      {At(kEpoch, 23, 59, 59), "1/1/70 11:59:59 pm"},
      {UnixToLocal(1'700'000'000, 0), "11/14/23 10:13:20 pm"},
      {UnixToLocal(1'109'894'400, 0), "3/4/05"},  // 2005-03-04
      {UnixToLocal(951'782'400, 0), "2/29/00"},   // 2000-02-29
      {2.0, "1/1/00"},                            // 1900-01-01
      {-693'593.0, "1/1/01"},                     // 0001-01-01
      {2'958'465.5, "12/31/99 12:00:00 pm"},      // 9999-12-31
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(DateTimeText(c.value, fallback), c.text);
  }
}

TEST(DateTimeTest, ValuesOutsideTheCalendarGiveNoText) {
  const DateTimeFormat fallback;
  for (double value : {-693'594.0, 2'958'466.0, 1e300, -1e300, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(value);
    EXPECT_EQ(DateTimeText(value, fallback), "");
  }
}

TEST(DateTimeTest, UnixTimeWordsThatAreNotNumbersGiveNoText) {
  DateTimeFormat format;
  format.time_zone_bias = [] { return -60; };
  EXPECT_EQ(UnixTimeText("0", format), "1/1/70 1:00:00 am");
  EXPECT_EQ(UnixTimeText("+0", format), "1/1/70 1:00:00 am");
  EXPECT_EQ(UnixTimeText("3600.0", format), "1/1/70 2:00:00 am");
  EXPECT_EQ(UnixTimeText("-3600", format), "1/1/70");
  for (const char* word : {"", "abc", "12abc", "0x10", "inf", "nan", "1e999", "--1", "+-1", " 1"}) {
    SCOPED_TRACE(word);
    EXPECT_EQ(UnixTimeText(word, format), "");
  }
}

platform::LocaleTimeInfo Locale(std::string name, std::string date, std::string time, std::string ampm = "",
                                std::string am = "", std::string pm = "") {
  return {std::move(name), true,          std::move(date), std::move(time),
          std::move(ampm), std::move(am), std::move(pm)};
}

TEST(DateTimeTest, PatternsDerivedFromTheLocale) {
  const double day = UnixToLocal(1'109'894'400, 0);  // 2005-03-04
  struct Case {
    platform::LocaleTimeInfo info;
    std::string date;
    std::string morning;  // 09:05:07
    std::string night;    // 21:05:07
  };
  const Case cases[] = {
      {Locale("de_DE.UTF-8", "%d.%m.%Y", "%T"), "04.03.2005", "09:05:07", "21:05:07"},
      {Locale("en_US.UTF-8", "%m/%d/%Y", "%r", "%I:%M:%S %p", "AM", "PM"), "03/04/2005", "09:05:07 AM",
       "09:05:07 PM"},
      {Locale("en_GB.UTF-8", "%d/%m/%y", "%H:%M:%S", "%l:%M:%S %P", "am", "pm"), "04/03/05", "09:05:07",
       "21:05:07"},
      {Locale("xx_YY", "%F", "%k.%M.%S"), "2005-03-04", "9.05.07", "21.05.07"},
      {Locale("xx_ZZ", "%-d/%-m/%Y", "%l:%M:%S"), "4/3/2005", "9:05:07 am", "9:05:07 pm"},
      {Locale("xx_WW", "%e.%m.%C%y %A", "%OH:%OM:%OS"), "4.03.2005 ", "09:05:07", "21:05:07"},
      // C and POSIX keep the fallbacks although their own formats differ, as does a locale that
      // is not installed.
      {Locale("C", "%m/%d/%y", "%H:%M:%S"), "3/4/05", "9:05:07 am", "9:05:07 pm"},
      {Locale("POSIX", "%m/%d/%y", "%H:%M:%S"), "3/4/05", "9:05:07 am", "9:05:07 pm"},
      {Locale("C.UTF-8", "%m/%d/%y", "%H:%M:%S"), "3/4/05", "9:05:07 am", "9:05:07 pm"},
      {platform::LocaleTimeInfo{"de_DE.UTF-8", false, "", "", "", "", ""}, "3/4/05", "9:05:07 am",
       "9:05:07 pm"},
      // A locale that gives no clock at all: 12 hours with the fallback designators.
      {Locale("xx_VV", "%d-%m-%Y", ""), "04-03-2005", "9:05:07 am", "9:05:07 pm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.info.name + " " + c.info.date_format + " " + c.info.time_format);
    const DateTimeFormat format = DateTimeFormat::FromLocale(c.info);
    EXPECT_EQ(DateTimeText(day, format), c.date);
    EXPECT_EQ(DateTimeText(At(day, 9, 5, 7), format), c.date + " " + c.morning);
    EXPECT_EQ(DateTimeText(At(day, 21, 5, 7), format), c.date + " " + c.night);
  }
}

}  // namespace
}  // namespace irc
