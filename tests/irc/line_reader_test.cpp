#include "irc/protocol/line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace irc {
namespace {

constexpr size_t kMax = LineReader::kMaxLineLength;

std::vector<std::string> FeedAll(LineReader& reader, const std::vector<std::string>& chunks) {
  std::vector<std::string> lines;
  for (const std::string& chunk : chunks) {
    reader.Feed(chunk, [&](std::string_view line) { lines.emplace_back(line); });
  }
  return lines;
}

struct FramingCase {
  const char* name;
  std::vector<std::string> chunks;
  std::vector<std::string> lines;
  size_t buffered;  // bytes of the unfinished line left over
};

class Framing : public testing::TestWithParam<FramingCase> {};

TEST_P(Framing, LinesInOrder) {
  const FramingCase& c = GetParam();
  LineReader reader;
  EXPECT_EQ(FeedAll(reader, c.chunks), c.lines);
  EXPECT_EQ(reader.Buffered(), c.buffered);
}

const std::string kLong(kMax + 10, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, Framing,
    testing::Values(FramingCase{"TwoLinesInOneChunk", {"PING :a\rPING :b\r"}, {"PING :a", "PING :b"}, 0},
                    FramingCase{"LineSplitOverChunks", {"PI", "NG :", "a\rPO"}, {"PING :a"}, 2},
                    FramingCase{"EmptyLinesKept", {"\r\ra\r"}, {"", "", "a"}, 0},
                    FramingCase{"NothingComplete", {"abc", "def"}, {}, 6},
                    // One chunk holding a whole over-long line: handed on cut, the next line intact.
                    FramingCase{
                        "LongLineInOneChunkIsCut", {kLong + "\rnext\r"}, {kLong.substr(0, kMax), "next"}, 0},
                    // No line end within the limit: the first kMax bytes go on at once, the rest of
                    // that line is dropped however many chunks it spans, and the next line is whole.
                    FramingCase{"UnendedLineCutThenDropped",
                                {std::string(kMax - 1, 'a'), "bb", "ccc", "dd\rnext\r"},
                                {std::string(kMax - 1, 'a') + "b", "next"},
                                0},
                    FramingCase{"DroppingUntilLineEndInLaterChunk",
                                {kLong, "zz", "z\rok\rpart"},
                                {kLong.substr(0, kMax), "ok"},
                                4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LineReader, ResetForgetsTheUnfinishedLineAndDropping) {
  LineReader reader;
  FeedAll(reader, {"half a line"});
  reader.Reset();
  EXPECT_EQ(FeedAll(reader, {"new\r"}), std::vector<std::string>{"new"});

  FeedAll(reader, {kLong});
  ASSERT_TRUE(reader.Dropping());
  reader.Reset();
  EXPECT_FALSE(reader.Dropping());
  EXPECT_EQ(FeedAll(reader, {"first of the new server\r"}),
            std::vector<std::string>{"first of the new server"});
}

// A line arriving a byte at a time is scanned once, not once per byte: feeding a long unended
// line in small chunks stays linear (this finishes at once rather than after minutes).
TEST(LineReader, ByteByByteFeedStaysBounded) {
  LineReader reader;
  std::vector<std::string> lines;
  for (size_t i = 0; i < 3 * kMax; ++i) reader.Feed("y", [&](std::string_view l) { lines.emplace_back(l); });
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), kMax);
  EXPECT_LE(reader.Buffered(), kMax);
  EXPECT_TRUE(reader.Dropping());
}

}  // namespace
}  // namespace irc
