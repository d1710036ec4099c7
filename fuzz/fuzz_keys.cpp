// The caller's key stream through the client as the program runs it: start-up from the command
// line (a socket handle, or a DOOR32.SYS drop file), the network menu, the main loop's key handling,
// ProcessInputLine, the authentication prompts of the line editor, and the sysop keys. The door is
// rebuilt for every input; every network it can reach is a listener or a refusing port on
// 127.0.0.1 (and one host with a blank in its name, which fails without asking a name server).
//
// Input: three header bytes, then events.
//   [0] bit 0: start from a drop file, else from -H; bits 1-2: the INI file's networks (one, two,
//       four with a password prompt and failing hosts, none); bit 3: a long handle with blanks
//   [1] time of day at start, in 256ths of a day
//   [2] low nibble: minutes left in the drop file; high nibble: idle limit in steps of a minute
// Events: bytes other than NUL are what the caller types, delivered up to 32 at a time whenever the
// door waits. NUL plus one byte c is an event of its own: c = 0 the caller types a NUL, c < 0x40
// the clock moves on c * 10 s, c < 0x80 the sysop presses the extended key with scan code c - 0x40
// (F1 59, Alt-C 46), otherwise the sysop types the byte c - 0x80. When the events are used up the
// caller hangs up, so every run ends: by /QUIT, or by the door's own endings (carrier, idle, time).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ansi/local_ansi.h"
#include "app/client_app.h"
#include "door/door.h"
#include "door/program_end.h"
#include "irc/client.h"
#include "loopback.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "support/fake_clock.h"

namespace {

constexpr size_t kCallerChunk = 32;
// Far more than any input can need; reaching either means the door no longer ends.
constexpr int kMaxWaitsAfterHangUp = 1000;
constexpr int kMaxPasses = 1'000'000;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

struct World {
  fuzzsupport::TempDir dir;
  fuzzsupport::Listener server;
  fuzzsupport::RefusingPort refusing;
  std::string ini_path = dir.path() + "/zelkirc.ini";
  std::string drop_path = dir.path() + "/DOOR32.SYS";
  // With ZELK_FUZZ_SHOW set (running single inputs by hand), the final screen and the lines the
  // server received are printed after each input.
  bool show = std::getenv("ZELK_FUZZ_SHOW") != nullptr;
  std::string sent;

  void WriteIni(int networks, bool long_handle, int idle_seconds) const {
    const std::string port = std::to_string(server.port());
    std::string ini =
        "[general]\nusername=Joe Smith\nhandle=" + std::string(long_handle ? "Big Bad Wolf Jr" : "Wolf") +
        "\nidletime=" + std::to_string(idle_seconds) + "\nctcpdelay=10\nserver=0\n";
    if (networks >= 1) ini += "[Alpha]\n127.0.0.1=" + port + "\nchannels=#chat,#help\n";
    if (networks >= 2) ini += "[Beta]\npass=1\n127.0.0.1=" + port + "\n";
    if (networks >= 4) {
      ini += "[Gamma]\nno such host=6667\n127.0.0.1=" + std::to_string(refusing.port()) + "\n";
      ini += "[Delta]\nchannels=#x\nPASS=0\n";
    }
    dir.Write("zelkirc.ini", ini);
  }

  void WriteDropFile(int socket, int minutes, bool long_handle) const {
    dir.Write("DOOR32.SYS", "2\r\n" + std::to_string(socket) + "\r\n38400\r\nZelk BBS\r\n1\r\nJoe Smith\r\n" +
                                std::string(long_handle ? "Big Bad Wolf Jr" : "Wolf") + "\r\n100\r\n" +
                                std::to_string(minutes) + "\r\n1\r\n1\r\n");
  }
};

struct Event {
  enum Kind { kCaller, kClock, kExtendedKey, kLocalKey } kind;
  std::string bytes;  // kCaller
  int value = 0;      // seconds, scan code or key byte
};

std::vector<Event> ParseEvents(std::string_view input) {
  std::vector<Event> events;
  auto caller = [&](char c) {
    if (events.empty() || events.back().kind != Event::kCaller || events.back().bytes.size() >= kCallerChunk)
      events.push_back({Event::kCaller, {}, 0});
    events.back().bytes.push_back(c);
  };
  for (size_t i = 0; i < input.size(); ++i) {
    if (input[i] != '\0') {
      caller(input[i]);
      continue;
    }
    if (++i == input.size()) break;
    const auto c = static_cast<uint8_t>(input[i]);
    if (c == 0) {
      caller('\0');
    } else if (c < 0x40) {
      events.push_back({Event::kClock, {}, c * 10});
    } else if (c < 0x80) {
      events.push_back({Event::kExtendedKey, {}, c - 0x40});
    } else {
      events.push_back({Event::kLocalKey, {}, c - 0x80});
    }
  }
  return events;
}

// A clock that is also the world outside the door: whenever the door waits with nothing ready,
// the next event arrives. Both peers are read empty at every wait, so the door never blocks in a
// send. Once the events are used up the caller hangs up.
class ScriptClock : public testsupport::FakeClock {
 public:
  ScriptClock(int64_t ms_of_day, std::vector<Event> events, platform::Console& console, int caller_fd,
              World& world)
      : FakeClock(ms_of_day),
        events_(std::move(events)),
        console_(console),
        caller_fd_(caller_fd),
        world_(world) {}
  ~ScriptClock() override { HangUp(); }

  void DrainPeers() {
    if (caller_fd_ >= 0) fuzzsupport::Drain(caller_fd_);
    world_.server.Drain(world_.show ? &world_.sent : nullptr);
  }

  int Wait(std::span<platform::WaitFd> fds, int timeout_ms) override {
    DrainPeers();
    if (int n = platform::PollFds(fds, 0); n > 0) return n;
    if (next_ < events_.size()) {
      Deliver(events_[next_++]);
      return platform::PollFds(fds, 0);
    }
    if (caller_fd_ >= 0) {
      HangUp();
      return platform::PollFds(fds, 0);
    }
    if (++waits_after_hang_up_ > kMaxWaitsAfterHangUp) Fail("the door kept waiting after the caller hung up");
    Advance(timeout_ms > 0 ? timeout_ms : 1000);
    return 0;
  }

 private:
  void Deliver(const Event& event) {
    switch (event.kind) {
      case Event::kCaller:
        fuzzsupport::WriteAll(caller_fd_, event.bytes);
        break;
      case Event::kClock:
        Advance(event.value * 1000LL);
        break;
      case Event::kExtendedKey:
        console_.PushExtendedKey(static_cast<uint8_t>(event.value));
        break;
      case Event::kLocalKey:
        console_.PushKeys(std::string(1, static_cast<char>(event.value)));
        break;
    }
  }

  void HangUp() {
    if (caller_fd_ < 0) return;
    close(caller_fd_);
    caller_fd_ = -1;
  }

  std::vector<Event> events_;
  size_t next_ = 0;
  platform::Console& console_;
  int caller_fd_;
  World& world_;
  int waits_after_hang_up_ = 0;
};

void CheckState(irc::Client& client, const platform::Console& console) {
  if (client.targets.empty() || client.targets[0] != "Status") Fail("target list lost Status");
  if (client.active_target < 0 || client.active_target >= static_cast<int>(client.targets.size()))
    Fail("active target out of range");
  if (client.input_line.size() > 200) Fail("input line longer than its limit");
  if (console.CursorCol() < console.WindowLeft() || console.CursorCol() > console.WindowRight() ||
      console.CursorRow() < console.WindowTop() || console.CursorRow() > console.WindowBottom())
    Fail("cursor outside the window");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  uint8_t header[3] = {0, 128, 0x5A};
  for (size_t i = 0; i < 3 && !input.empty(); ++i) {
    header[i] = static_cast<uint8_t>(input.front());
    input.remove_prefix(1);
  }
  const bool from_drop_file = (header[0] & 1) != 0;
  constexpr int kNetworkCounts[] = {1, 2, 4, 0};
  const int networks = kNetworkCounts[(header[0] >> 1) & 3];
  const bool long_handle = (header[0] & 8) != 0;
  world.WriteIni(networks, long_handle, 30 + (header[2] >> 4) * 60);

  auto [door_end, caller_end] = fuzzsupport::SocketPair();
  std::vector<std::string> args;
  if (from_drop_file) {
    world.WriteDropFile(door_end, header[2] & 15, long_handle);
    args = {"-D" + world.drop_path};
  } else {
    args = {"-H" + std::to_string(door_end), "-N1"};
  }

  platform::Console console;
  ScriptClock clock(header[1] * 337'500LL, ParseEvents(input), console, caller_end, world);
  ansi::LocalAnsi local_ansi(console);
  door::Door door(
      door::DoorEnv{console, clock, local_ansi, nullptr, std::move(args), world.dir.path() + "/zelkirc"});
  door.DoorInit();
  {
    irc::Client client(door, world.ini_path);
    client.date_time_format = irc::DateTimeFormat{};
    app::ClientApp client_app(door, client);
    try {
      client_app.StartUp();
      int passes = 0;
      while (!client.quit_requested) {
        if (++passes > kMaxPasses) Fail("the main loop did not end");
        client_app.RunPass();
        clock.DrainPeers();
        CheckState(client, console);
      }
    } catch (const door::ProgramEnd&) {
    }
    door.RunExitProcs();
  }
  clock.DrainPeers();
  world.server.Reset();
  close(door_end);
  if (world.show) {
    for (int row = 1; row <= platform::Console::kRows; ++row)
      std::fprintf(stderr, "|%s|\n", console.RowText(row).c_str());
    std::fprintf(stderr, "server received:\n%s\n", world.sent.c_str());
    world.sent.clear();
  }
  return 0;
}
