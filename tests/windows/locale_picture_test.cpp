// Windows date pictures and time settings as the patterns the date formatting reads.
#include "platform/windows/locale_picture.h"

#include <gtest/gtest.h>

namespace platform::windows {
namespace {

TEST(LocalePicture, ShortDatePictures) {
  const struct {
    const char* picture;
    const char* pattern;
  } cases[] = {
      {"M/d/yyyy", "%-m/%-d/%Y"},                // en-US
      {"dd.MM.yyyy", "%d.%m.%Y"},                // de-DE
      {"dd/MM/yy", "%d/%m/%y"},                  // short year
      {"yyyy-MM-dd", "%Y-%m-%d"},                // sv-SE
      {"d/M/y", "%-d/%-m/%-y"},                  // one-digit year element
      {"yyyy'年'M'月'd'日'", "%Y年%-m月%-d日"},  // quoted text stays literal
      {"'It''s' d", "It's %-d"},                 // a doubled quote inside quotes
      {"d%M", "%-d%%%-m"},                       // a percent sign is literal
      {"ddd, M/d/yyyy", "%-m/%-d/%Y"},           // day names with their separator are left out
      {"dd MMMM yyyy", "%d %Y"},                 // month names too
      {"gg yyyy/MM/dd", "%Y/%m/%d"},             // the era
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DatePictureToPattern(c.picture), c.pattern) << c.picture;
}

TEST(LocalePicture, TimePatterns) {
  EXPECT_EQ(TimePattern(false, false, ":"), "%-I:%M:%S %p");
  EXPECT_EQ(TimePattern(false, true, ":"), "%I:%M:%S %p");
  EXPECT_EQ(TimePattern(true, true, ":"), "%H:%M:%S");
  EXPECT_EQ(TimePattern(true, false, "."), "%-H.%M.%S");
  EXPECT_EQ(TimePattern(true, true, "%"), "%H%%%M%%%S");
}

}  // namespace
}  // namespace platform::windows
