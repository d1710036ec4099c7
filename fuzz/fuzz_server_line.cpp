// Server lines through Client::HandleServerLine on a client as the door runs it: a door on a
// headless console whose caller is one end of a socket pair, and a server link connected to a
// listener on 127.0.0.1. Both peers are read empty after every line.
//
// Input: lines separated by CR or LF. The door's server link drops every NUL byte, so no
// line the client sees holds one; here the bytes after a NUL steer the run instead:
//   [0] seconds the clock moves on before the line   [1] time of day, in 256ths of a day
//   [2] bit 0: the message of the day was asked for, bit 1: the auto-join is pending,
//       bits 2-3: the own nickname (Wolf, wolf, a long one, none), bit 4: a negotiation with a SASL
//       login (SCRAM possible, with a fixed nonce) starts
//   [3] regional date and time format (one of four)   [4] time-zone bias, in quarter hours from -32 h
// Checked after each line: the target list keeps "Status" first and the active target in range,
// the cursor stays in the window, the caller's screen is the one the sysop sees, and every line
// sent to the server is one whole line.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "ansi/local_ansi.h"
#include "caller_mirror.h"
#include "door/door.h"
#include "irc/client/client.h"
#include "loopback.h"
#include "platform/console.h"
#include "platform/locale.h"
#include "support/fake_clock.h"

namespace {

constexpr std::string_view kNicks[] = {"Wolf", "wolf", "WolfWolfWolfWolf", ""};

// Formats as the C library reports them for a few locales; the first is the built-in fallback.
irc::DateTimeFormat RegionalFormat(int variant) {
  platform::LocaleTimeInfo info;
  info.loaded = true;
  switch (variant) {
    case 1:
      info = {"en_US.UTF-8", true, "%m/%d/%Y", "%r", "%I:%M:%S %p", "AM", "PM"};
      break;
    case 2:
      info = {"de_DE.UTF-8", true, "%d.%m.%Y", "%T", "", "", ""};
      break;
    case 3:
      info = {"xx_XX", true, "%-e/%C%y %% %D %F", "%_H.%M.%S", "", "vorm.", "nachm."};
      break;
    default:
      return irc::DateTimeFormat{};
  }
  return irc::DateTimeFormat::FromLocale(info);
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

struct World {
  fuzzsupport::TempDir dir;
  fuzzsupport::Listener server;
  std::string ini_path;

  World() {
    ini_path =
        dir.Write("zelkirc.ini", "[general]\nhandle=Wolf\nctcpdelay=10\nserver=0\n[MyNet]\n127.0.0.1=" +
                                     std::to_string(server.port()) + "\nchannels=#chat,#help\n");
  }
};

void CheckClient(irc::Client& client, const platform::Console& console) {
  if (client.targets.names().empty() || client.targets.names()[0] != "Status")
    Fail("target list lost Status");
  if (client.targets.active() < 0 || client.targets.active() >= static_cast<int>(client.targets.size()))
    Fail("active target out of range");
  if (console.CursorCol() < console.WindowLeft() || console.CursorCol() > console.WindowRight() ||
      console.CursorRow() < console.WindowTop() || console.CursorRow() > console.WindowBottom())
    Fail("cursor outside the window");
}

// Every line the client sends ends in CR LF and holds no other CR or LF.
void CheckSent(std::string& sent) {
  size_t start = 0;
  for (size_t end; (end = sent.find("\r\n", start)) != std::string::npos; start = end + 2) {
    if (sent.substr(start, end - start).find_first_of("\r\n") != std::string::npos)
      Fail("line end inside a sent line");
  }
  if (sent.substr(start).find_first_of("\r\n") != std::string::npos) Fail("line end inside a sent line");
  sent.erase(0, start);
}

void Steer(std::string_view controls, testsupport::FakeClock& clock, irc::Client& client) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(controls[i]); };
  if (controls.size() > 0) clock.Advance(byte(0) * 1000LL);
  if (controls.size() > 1) clock.SetMsOfDay(byte(1) * 337'500LL);
  if (controls.size() > 2) {
    client.motd_requested = (byte(2) & 1) != 0;
    client.auto_join_pending = (byte(2) & 2) != 0;
    client.SetNick(std::string(kNicks[(byte(2) >> 2) & 3]));
    if ((byte(2) & 16) != 0) {
      irc::CapNegotiation::Settings settings;
      settings.login = irc::CapNegotiation::Login{client.nick(), "sesame"};
      settings.scram_available = true;
      settings.make_nonce = [] { return std::optional<std::string>("rOprNGfwEbeRWgbNEkqO"); };
      client.capabilities.emplace(std::move(settings));
    }
  }
  if (controls.size() > 3) client.date_time_format = RegionalFormat(byte(3) & 3);
  if (controls.size() > 4) {
    const int bias = (byte(4) - 128) * 15;
    client.date_time_format.time_zone_bias = [bias] { return bias; };
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  std::string_view input(reinterpret_cast<const char*>(data), size);

  platform::Console console;
  testsupport::FakeClock clock(23 * 3600 * 1000LL + 59 * 60 * 1000LL);  // a minute before midnight
  ansi::LocalAnsi local_ansi(console);
  door::Door door(door::DoorEnv{console, clock, local_ansi, nullptr, {}, "/tmp/zelkirc"});
  door.DoorInit();
  auto [door_end, caller_end] = fuzzsupport::SocketPair();
  door.visit.comm_type = door::CommType::kTelnet;
  door.visit.caller_socket = door_end;
  door.caller.Adopt(door_end);
  console.SetWindow(1, 1, 80, 24);
  fuzzsupport::CallerMirror mirror;
  door.visit.user_real_name = "Joe Smith";
  door.visit.time_left = 86'400;
  std::string sent;
  {
    irc::Client client(door, world.ini_path);
    client.date_time_format = irc::DateTimeFormat{};
    client.SetNick("Wolf");
    if (!client.ConnectServer("127.0.0.1", world.server.port(), false))
      Fail("cannot reach the loopback server");
    client.network_name = "MyNet";
    client.auto_join_pending = true;
    world.server.Drain(&sent);
    mirror.ReadFrom(caller_end);

    while (!input.empty()) {
      const size_t end = input.find_first_of("\r\n");
      std::string_view line = input.substr(0, end);
      input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
      if (const size_t nul = line.find('\0'); nul != std::string_view::npos) {
        Steer(line.substr(nul + 1), clock, client);
        line = line.substr(0, nul);
      }
      client.HandleServerLine(line);
      world.server.Drain(&sent);
      mirror.ReadFrom(caller_end);
      if (const char* difference = mirror.Difference(console)) Fail(difference);
      CheckClient(client, console);
      CheckSent(sent);
    }
    world.server.Reset();
  }
  door.caller.Close(false);
  close(door_end);
  close(caller_end);
  return 0;
}
