// Broken files handed to the real binary: a DOOR32.SYS drop file that is short, not numeric,
// binary or huge, and an INI file that is binary, has a 10 MB line or no sections. The door either
// ends in an orderly way or starts with defaults; it never crashes and always leaves with 0.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>

#include "support/door_process.h"
#include "support/scripted_server.h"
#include "support/sockets.h"

namespace {

using testsupport::DoorProcess;
using testsupport::ScriptedServer;
using Clock = std::chrono::steady_clock;

int MsSince(Clock::time_point since) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// Deterministic bytes of every value, NUL, CR and LF included.
std::string Garbage(size_t size, uint32_t seed) {
  std::string out(size, '\0');
  for (char& c : out) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return out;
}

std::string ValidDropFile(int fd) {
  return "2\n" + std::to_string(fd) + "\n38400\nTestBBS\n1\nJoe Smith\nWolf\n100\n60\n1\n1\n";
}

struct DropFileCase {
  const char* name;
  // The file's contents for a caller socket fd.
  std::string (*contents)(int fd);
  bool starts;  // a usable file: the visit runs; otherwise it ends before the caller sees anything
};

const DropFileCase kDropFiles[] = {
    {"Empty", [](int) { return std::string(); }, false},
    {"ShortTwoLines", [](int fd) { return "2\n" + std::to_string(fd) + "\n"; }, false},
    {"ShortEightLines",
     [](int fd) {
       const std::string text = ValidDropFile(fd);
       return text.substr(0, text.find("\n60\n") + 1);
     },
     false},
    {"CommTypeNotANumber", [](int fd) { return "telnet" + ValidDropFile(fd).substr(1); }, false},
    {"HandleNotANumber",
     [](int) { return std::string("2\nsock\n38400\nBBS\n1\nJoe\nWolf\n100\n60\n1\n1\n"); }, false},
    {"MinutesNotANumber",
     [](int fd) {
       std::string text = ValidDropFile(fd);
       return text.replace(text.find("\n60\n"), 4, "\nsixty\n");
     },
     false},
    {"Binary", [](int) { return "\xFF" + Garbage(4096, 7); }, false},
    {"HugeWithoutLineEnds", [](int) { return std::string(50u << 20, '7'); }, false},
    // Only the first eleven lines count: 50 MB after them change nothing.
    {"HugeAfterElevenGoodLines", [](int fd) { return ValidDropFile(fd) + Garbage(50u << 20, 11); }, true},
    {"NumbersWithBlanksAndCrLf",
     [](int fd) {
       return " 2 \r\n " + std::to_string(fd) +
              "\r\n38400\r\nBBS\r\n1\r\nJoe\r\nWolf\r\n9\r\n 60\r\n1\r\n1\r\n";
     },
     true},
};

class BadDropFile : public ::testing::TestWithParam<DropFileCase> {};

TEST_P(BadDropFile, EndsOrStartsCleanly) {
  DoorProcess door;
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  const std::string path = door.WriteFile("DOOR32.SYS", GetParam().contents(fds[0]));
  const auto start = Clock::now();
  door.Start({"-D" + path}, fds[0]);
  close(fds[0]);

  std::string got;
  if (GetParam().starts) {
    for (auto wait = Clock::now(); got.find("[Status] ") == std::string::npos && MsSince(wait) < 10'000;) {
      got += testsupport::ReadAvailable(fds[1], 20);
    }
    EXPECT_NE(got.find("[Status] "), std::string::npos) << got;
    testsupport::WriteAll(fds[1], "/quit\r");
  }
  EXPECT_EQ(door.WaitExit(10'000), 0);
  if (!GetParam().starts) {
    // A refused drop file is reported on the local console only, after the usual pause.
    EXPECT_LT(MsSince(start), 5'000);
    EXPECT_EQ(testsupport::ReadAvailable(fds[1], 0), "");
  }
  EXPECT_EQ(door.Stdout(), "");
  close(fds[1]);
}

INSTANTIATE_TEST_SUITE_P(Files, BadDropFile, ::testing::ValuesIn(kDropFiles),
                         [](const auto& info) { return info.param.name; });

// ---- the INI file ----

std::string NetworkSection(int port) {
  return "\n[Local]\n127.0.0.1=" + std::to_string(port) + "\n";
}

// Binary bytes (without "[", so that they hold no section whose keys would be taken for server
// names) before the real settings: the settings after them are still found.
TEST(BadIni, BinaryBeforeTheSettings) {
  ScriptedServer server;
  std::string garbage = Garbage(256 * 1024, 3);
  std::replace(garbage.begin(), garbage.end(), '[', '{');
  DoorProcess door(garbage + "\n[general]\nhandle=Wolf\n" + NetworkSection(server.port()));
  door.StartWithCaller();
  ASSERT_TRUE(server.Accept(20'000));
  EXPECT_TRUE(server.WaitForLine("NICK Wolf", 20'000)) << server.received();
  EXPECT_TRUE(door.CallerWaitFor("[Status] ", 20'000));
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(10'000), 0);
}

// Lines of megabytes neither hide the values before them nor the network after them (within the
// 4 MiB of the file that are read).
TEST(BadIni, MegabyteLines) {
  ScriptedServer server;
  DoorProcess door("[general]\nhandle=Wolf\nusername=Joe Smith\nmotto=" + std::string(3u << 19, 'm') + "\n" +
                   std::string(3u << 19, '[') + NetworkSection(server.port()));
  door.StartWithCaller();
  ASSERT_TRUE(server.Accept(20'000));
  EXPECT_TRUE(server.WaitForLine("USER Wolf localhost localhost :Joe Smith", 20'000)) << server.received();
  EXPECT_TRUE(door.CallerWaitFor("[Status] ", 20'000));
  door.CallerTypes("/quit\r");
  EXPECT_TRUE(server.WaitForLine("QUIT :ZelkIRC v1.32", 20'000));
  EXPECT_EQ(door.WaitExit(10'000), 0);
}

// Keys before any section belong to no section: no handle, no network.
TEST(BadIni, NoSections) {
  ScriptedServer server;
  DoorProcess door("handle=Wolf\nusername=Joe Smith\n127.0.0.1=" + std::to_string(server.port()) + "\n");
  door.StartWithCaller();
  EXPECT_TRUE(door.CallerWaitFor("[Status] ", 10'000)) << door.CallerReceived();
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(10'000), 0);
  EXPECT_FALSE(server.Accept(0));
}

}  // namespace
