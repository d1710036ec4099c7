// A whole visit on the real ngircd for a code page 437 caller and a UTF-8 caller, each found by
// the start-up probe: typed characters reach the other user as UTF-8, coloured UTF-8 text arrives
// in the caller's charset with colours, and hostile bytes (ESC, 0xFF, BS, SO, C1, DEL, a channel
// name carrying them) are shown, never obeyed.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "support/door_process.h"
#include "support/irc_peer.h"
#include "support/ngircd.h"
#include "support/ngircd_lobby.h"
#include "support/sockets.h"
#include "support/temp_ini.h"

namespace {

using testsupport::DoorProcess;
using testsupport::IrcPeer;
using testsupport::NgircdServer;

// Every hostile byte, raw: ESC sequences, 0xFF (telnet's IAC), backspaces, SO, C1 controls as
// UTF-8 and as a bare byte, DEL before a digit.
constexpr std::string_view kHostile =
    "a\x1b[2Jb\xFF"
    "c\x08\x08"
    "d\x0E"
    "e\xC2\x9B"
    "31mf\x9D"
    "g\x7F"
    "4";
constexpr std::string_view kHostileChannel = "#h\x1b]0;x\x0E\xC2\x9B";
constexpr std::string_view kColoured =
    "\x03"
    "4,1caf\xC3\xA9\x0F \x02na\xC3\xAFve\x02 \xE2\x82\xAC \xF0\x9F\x98\x80 \x1Funder\x1F";

struct CallerKind {
  const char* name;
  std::string probe_answer;
  std::string typed;           // e acute as this terminal sends it
  std::string coloured_shown;  // kColoured as this caller gets it
  std::string hostile_shown;   // kHostile as this caller gets it
  std::string channel_shown;   // kHostileChannel in the prompt
  std::string c1_raw;          // how a raw C1 CSI would look in this charset
};

void PrintTo(const CallerKind& kind, std::ostream* os) {
  *os << kind.name;
}

class CharsetVisit : public testsupport::WithUserInLobby<::testing::TestWithParam<CallerKind>> {};

TEST_P(CharsetVisit, ExactBytesAndNothingHostileRaw) {
  const CallerKind& kind = GetParam();
  DoorProcess door(testsupport::OneNetworkIni(ngircd_.port(), testsupport::kWolfGeneral,
                                              "channels=#lobby," + std::string(kHostileChannel) + "\n"));
  door.probe_answer = kind.probe_answer;
  door.StartWithCaller();
  ASSERT_TRUE(bob_.WaitFor(":Wolf!", 5000)) << door.CallerReceived();
  // The server's echo of our own JOIN puts the channel into the prompt, shown, not obeyed.
  ASSERT_TRUE(door.CallerWaitFor("[" + kind.channel_shown + "] ", 5000)) << door.CallerReceived();

  door.CallerTypes("/msg #lobby h" + kind.typed + "llo\r");
  EXPECT_TRUE(bob_.WaitFor("PRIVMSG #lobby :h\xC3\xA9llo", 3000));

  bob_.SendLine("PRIVMSG #lobby :" + std::string(kColoured));
  const std::string lead = "Bob\x1b[1;30m:\x1b[0;37m#lobby\x1b[1;34m> \x1b[0;37m";
  EXPECT_TRUE(door.CallerWaitFor(lead + kind.coloured_shown + "\r\n", 3000)) << door.CallerReceived();

  bob_.SendLine("PRIVMSG #lobby :" + std::string(kHostile));
  EXPECT_TRUE(door.CallerWaitFor(lead + kind.hostile_shown + "\r\n", 3000)) << door.CallerReceived();

  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(5000), 0);

  // Everything after the telnet offers at the start (which carry the door's own 0xFF bytes).
  const std::string& received = door.CallerReceived();
  const std::string all = received.substr(received.find("\x1b[6n"));
  EXPECT_EQ(all.find("\x1b]"), std::string::npos);
  EXPECT_EQ(all.find("\x1b[31m"), std::string::npos);
  EXPECT_EQ(all.find("\x1b[2Jb"), std::string::npos);
  EXPECT_EQ(all.find(kind.c1_raw), std::string::npos);
  for (const char raw : {'\x08', '\x0E', '\x07', '\x7F', '\xFF', '\x9D'}) {
    EXPECT_EQ(all.find(raw), std::string::npos) << static_cast<int>(static_cast<unsigned char>(raw));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Callers, CharsetVisit,
    ::testing::Values(CallerKind{"Cp437", std::string(testsupport::kCp437ProbeAnswer), "\x82",
                                 "\x1b[1;31mcaf\x82\x1b[0;37m \x1b[1;37mna\x8Bve\x1b[0;37m E ? under",
                                 "a^[[2Jb\x98"
                                 "c^H^Hd^Ne^[[31mf^[]g^?4",
                                 "#h^[]0;x^N^[[", "\x9B"},
                      CallerKind{"Utf8", std::string(testsupport::kUtf8ProbeAnswer), "\xC3\xA9",
                                 "\x1b[1;31mcaf\xC3\xA9\x1b[0;37m \x1b[1;37mna\xC3\xAFve\x1b[0;37m "
                                 "\xE2\x82\xAC \xF0\x9F\x98\x80 under",
                                 "a^[[2Jb\xC3\xBF"
                                 "c^H^Hd^Ne^[[31mf^[]g^?4",
                                 "#h^[]0;x^N^[[", "\xC2\x9B"}),
    [](const ::testing::TestParamInfo<CallerKind>& info) { return std::string(info.param.name); });

}  // namespace
