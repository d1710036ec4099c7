// The lookup guard a test run turns on: names that would need a name server are refused and
// logged, never looked up; addresses and localhost go through.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/connecting.h"
#include "platform/host_names.h"
#include "support/scoped_env.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(LookupGuard, RefusesAndLogsNamesButLetsAddressesAndLocalhostThrough) {
  const std::string log = ::testing::TempDir() + "lookup-guard-test.log";
  std::remove(log.c_str());
  testsupport::ScopedEnv guard(platform::kLookupGuardVariable, &log);

  unsigned char address[4] = {};
  EXPECT_FALSE(platform::SystemNameLookup("irc.example.test", address));
  ASSERT_TRUE(platform::SystemNameLookup("127.0.0.1", address));
  EXPECT_EQ(address[0], 127);
  EXPECT_TRUE(platform::SystemNameLookup("localhost", address));
  EXPECT_EQ(ReadFile(log), "name lookup refused: \"irc.example.test\"\n");
  std::remove(log.c_str());
}

}  // namespace
