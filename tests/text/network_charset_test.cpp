// A network's legacy charset: received text becomes UTF-8 and typed text goes back the same way,
// with a stand-in for what the charset lacks.
#include "text/network_charset.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace text {
namespace {

TEST(NetworkCharset, LegacyTextBecomesUtf8AndBack) {
  struct Row {
    NetworkCharset charset;
    std::string legacy;
    std::string utf8;
  };
  const Row rows[] = {
      {NetworkCharset::kLatin1, "caf\xE9 \xA0", "caf\xC3\xA9 \xC2\xA0"},
      {NetworkCharset::kCp437, "caf\x82 \xC4\xB3", "caf\xC3\xA9 \xE2\x94\x80\xE2\x94\x82"},
      {NetworkCharset::kWindows1252, "\x80\x93", "\xE2\x82\xAC\xE2\x80\x9C"},
  };
  for (const Row& row : rows) {
    std::string utf8;
    AppendNetworkToUtf8(utf8, row.legacy, row.charset);
    EXPECT_EQ(utf8, row.utf8);
    std::string back;
    AppendUtf8ToNetwork(back, utf8, row.charset);
    EXPECT_EQ(back, row.legacy);
  }
  std::string out;
  AppendUtf8ToNetwork(out, "\xC5\x82\xE4\xBD\xA0", NetworkCharset::kLatin1);
  EXPECT_EQ(out, "l?");
  EXPECT_EQ(ParseNetworkCharset("Latin-1"), NetworkCharset::kLatin1);
  EXPECT_EQ(ParseNetworkCharset("cp437"), NetworkCharset::kCp437);
  EXPECT_EQ(ParseNetworkCharset("klingon"), std::nullopt);
}

}  // namespace
}  // namespace text
