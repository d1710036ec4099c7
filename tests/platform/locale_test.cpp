// The C library's time zone and LC_TIME formats, as the environment selects them.
#include "platform/locale.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <string>

namespace platform {
namespace {

// Sets environment variables for one test and puts the old values back afterwards.
class EnvironmentGuard {
 public:
  ~EnvironmentGuard() {
    for (auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
    tzset();
  }
  void Set(const std::string& name, const char* value) {
    if (!saved_.contains(name)) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) {
      setenv(name.c_str(), value, 1);
    } else {
      unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST(LocaleTest, TimeZoneBiasIsMinutesToAddToLocalTimeForUtc) {
  EnvironmentGuard env;
  const std::pair<const char*, int> cases[] = {
      {"UTC0", 0}, {"CET-1", -60}, {"EST5", 300}, {"IST-5:30", -330}};
  for (auto [tz, bias] : cases) {
    SCOPED_TRACE(tz);
    env.Set("TZ", tz);
    EXPECT_EQ(TimeZoneBiasMinutes(), bias);
  }
}

TEST(LocaleTest, LocaleNameComesFromLcAllThenLcTimeThenLang) {
  EnvironmentGuard env;
  env.Set("LC_ALL", nullptr);
  env.Set("LC_TIME", nullptr);
  env.Set("LANG", nullptr);
  EXPECT_EQ(ReadLocaleTimeInfo().name, "C");
  env.Set("LANG", "POSIX");
  EXPECT_EQ(ReadLocaleTimeInfo().name, "POSIX");
  env.Set("LC_TIME", "C.UTF-8");
  EXPECT_EQ(ReadLocaleTimeInfo().name, "C.UTF-8");
  env.Set("LC_ALL", "");
  EXPECT_EQ(ReadLocaleTimeInfo().name, "C.UTF-8");
  env.Set("LC_ALL", "C");
  LocaleTimeInfo info = ReadLocaleTimeInfo();
  EXPECT_EQ(info.name, "C");
  EXPECT_TRUE(info.loaded);
  EXPECT_EQ(info.date_format, "%m/%d/%y");
  EXPECT_EQ(info.time_format, "%H:%M:%S");
  EXPECT_EQ(info.am, "AM");
}

TEST(LocaleTest, ALocaleThatIsNotInstalledIsReportedAsNotLoaded) {
  EnvironmentGuard env;
  env.Set("LC_ALL", "zz_NOWHERE.UTF-8");
  LocaleTimeInfo info = ReadLocaleTimeInfo();
  EXPECT_EQ(info.name, "zz_NOWHERE.UTF-8");
  EXPECT_FALSE(info.loaded);
  EXPECT_EQ(info.date_format, "");
}

}  // namespace
}  // namespace platform
