// The caller's key stream through the client as the program runs it: start-up from the command
// line (a socket handle, or a DOOR32.SYS drop file), the network menu, the main loop's key handling,
// ProcessInputLine, the authentication prompts of the line editor, and the sysop keys, with server
// traffic arriving in between. The door is rebuilt for every input.
//
// Input: three header bytes, then events.
//   [0] bit 0: start from a drop file, else from -H; bits 1-2: the INI file's networks (one, two,
//       four with a password prompt and failing hosts, none); bit 3: a long handle with blanks;
//       bit 4: /SERVER allowed
//   [1] time of day at start, in 256ths of a day
//   [2] low nibble: minutes left in the drop file; high nibble: idle limit in steps of a minute
// Events: bytes other than NUL are what the caller types, delivered up to 32 at a time whenever the
// door waits. NUL plus one byte c is an event of its own:
//   0x00 the caller types a NUL           0x01-0x1F the clock moves on c * 20 s
//   0x20 the server sends the bytes up to the next NUL
//   0x21-0x3F the server sends canned line c - 0x20 (or closes, or resets the connection)
//   0x40-0x7F the sysop presses the extended key with scan code c - 0x40 (F1 59, Alt-C 46)
//   0x80-0xFF the sysop types the byte c - 0x80
// When the events are used up the caller hangs up, so every run ends: by /QUIT, or by one of the
// door's own endings (carrier, idle, time), which throw door::ProgramEnd. After every pass of the
// main loop the caller's screen, drawn from the bytes the caller received, must be the one the
// sysop sees.
//
// The program's name lookups and connections are wrapped (the target links with --wrap): only
// numeric addresses resolve, and only the stand-in server and a refusing port on 127.0.0.1 can be
// reached, whatever host and port are typed.
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
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
#include "caller_mirror.h"
#include "door/door.h"
#include "door/program_end.h"
#include "irc/client/client.h"
#include "loopback.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "support/fake_clock.h"
#include "text/utf8.h"

namespace {

constexpr size_t kCallerChunk = 32;
// Far more than any input can need; reaching either means the door no longer ends.
constexpr int kMaxWaitsAfterHangUp = 1000;
constexpr int kMaxPasses = 1'000'000;

// Lines the server can send, "%n" standing for the user's current nickname. Index 0 is unused.
constexpr std::string_view kCannedLines[] = {
    "",
    ":irc.test 001 %n :Welcome to the test net\r\n",
    ":irc.test 376 %n :End of /MOTD command.\r\n",
    ":%n!u@h JOIN :#chat\r\n",
    ":%n!u@h JOIN :#help\r\n",
    ":%n!u@h PART #chat :bye\r\n",
    ":op!u@h KICK #help %n :out\r\n",
    ":%n!u@h NICK :Wolfie\r\n",
    ":irc.test 433 * %n :Nickname is already in use\r\n",
    "PING :irc.test\r\n",
    ":bob!u@h PRIVMSG #chat :hello there\r\n",
    ":bob!u@h PRIVMSG %n :\x01PING 12345\x01\r\n",
    ":bob!u@h PRIVMSG #chat :\x01"
    "ACTION waves\x01\r\n",
    ":irc.test 353 %n = #chat :@bob %n +carol\r\n",
    ":irc.test 322 %n #chat 5 :a topic\r\n",
    ":bob!u@h NOTICE %n :\x01VERSION other 1.0\x01\r\n",
    "ERROR :Closing Link\r\n",
    "",  // 17: the server closes the connection
    "",  // 18: the server resets the connection
    "",  // 19: a line longer than the client keeps, without its end yet
    "\r\n",
    ":bob!u@h PRIVMSG #chat :half a li",
    ":irc.test 372 %n :- the message of the day\r\n",
    ":irc.test 311 %n bob u h * :Bob Smith\r\n",
    ":irc.test 324 %n #chat +nt\r\n",
    ":irc.test 329 %n #chat 1700000000\r\n",
    ":irc.test 333 %n #chat bob 1700000000\r\n",
    ":bob!u@h TOPIC #chat :new topic\r\n",
    ":bob!u@h QUIT :gone\r\n",
    ":bob!u@h MODE #chat +o %n\r\n",
    ":%n!u@h JOIN :status\r\n",
    std::string_view(":bob!u@h PRIVMSG #chat :cut\0 here\r\n", 35),
};
constexpr int kCloseLine = 17;
constexpr int kResetLine = 18;
constexpr int kLongLine = 19;
static_assert(std::size(kCannedLines) == 32);

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

  void WriteIni(int networks, bool long_handle, int idle_seconds, bool server_allowed) const {
    const std::string port = std::to_string(server.port());
    std::string ini =
        "[general]\nusername=Joe Smith\nhandle=" + std::string(long_handle ? "Big Bad Wolf Jr" : "Wolf") +
        "\nidletime=" + std::to_string(idle_seconds) +
        "\nctcpdelay=10\nserver=" + (server_allowed ? "1" : "0") + "\n";
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

  bool Reachable(int port) const { return port == server.port() || port == refusing.port(); }
};

World& TheWorld() {
  static World world;
  return world;
}

struct Event {
  enum Kind { kCaller, kClock, kServerText, kServerLine, kExtendedKey, kLocalKey } kind;
  std::string bytes;  // kCaller, kServerText
  int value = 0;      // seconds, canned line, scan code or key byte
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
    } else if (c < 0x20) {
      events.push_back({Event::kClock, {}, c * 20});
    } else if (c == 0x20) {
      const size_t end = std::min(input.find('\0', i + 1), input.size());
      events.push_back({Event::kServerText, std::string(input.substr(i + 1, end - i - 1)), 0});
      i = end;  // the NUL that ends the text is not an event
    } else if (c < 0x40) {
      events.push_back({Event::kServerLine, {}, c - 0x20});
    } else if (c < 0x80) {
      events.push_back({Event::kExtendedKey, {}, c - 0x40});
    } else {
      events.push_back({Event::kLocalKey, {}, c - 0x80});
    }
  }
  return events;
}

std::string CannedLine(int index, std::string_view nick) {
  if (index == kLongLine) return ":bob!u@h PRIVMSG #chat :" + std::string(70'000, 'x');
  std::string line(kCannedLines[index]);
  for (size_t at; (at = line.find("%n")) != std::string::npos;) line.replace(at, 2, nick);
  return line;
}

// A clock that is also the world outside the door: whenever the door waits with nothing ready,
// the next event arrives. Both peers are read empty at every wait, so the door never blocks in a
// send. Once the events are used up the caller hangs up.
class ScriptClock : public testsupport::FakeClock {
 public:
  ScriptClock(int64_t ms_of_day, std::vector<Event> events, platform::Console& console, int caller_fd)
      : FakeClock(ms_of_day), events_(std::move(events)), console_(console), caller_fd_(caller_fd) {}
  ~ScriptClock() override { HangUp(); }

  void SetDoor(const door::Door* door) { door_ = door; }

  // True while the caller is connected; the mirror then holds everything the door sent.
  bool CallerConnected() const { return caller_fd_ >= 0; }
  const fuzzsupport::CallerMirror& mirror() const { return mirror_; }

  void DrainPeers() {
    World& world = TheWorld();
    if (caller_fd_ >= 0) mirror_.ReadFrom(caller_fd_);
    world.server.Drain(world.show ? &world.sent : nullptr);
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
    fuzzsupport::Listener& server = TheWorld().server;
    switch (event.kind) {
      case Event::kCaller:
        fuzzsupport::WriteAll(caller_fd_, event.bytes);
        break;
      case Event::kClock:
        Advance(event.value * 1000LL);
        break;
      case Event::kServerText:
        server.SendToNewest(event.bytes);
        break;
      case Event::kServerLine:
        if (event.value == kCloseLine || event.value == kResetLine) {
          server.CloseNewest(event.value == kResetLine);
        } else {
          server.SendToNewest(CannedLine(event.value, door_ != nullptr ? door_->StatusName() : "Wolf"));
        }
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
  const door::Door* door_ = nullptr;
  int waits_after_hang_up_ = 0;
  fuzzsupport::CallerMirror mirror_;
};

void CheckState(irc::Client& client, const platform::Console& console) {
  if (client.targets.names().empty() || client.targets.names()[0] != "Status")
    Fail("target list lost Status");
  if (client.targets.active() < 0 || client.targets.active() >= static_cast<int>(client.targets.size()))
    Fail("active target out of range");
  if (text::CountChars(client.input_line) > 200) Fail("input line longer than its limit (characters)");
  if (client.server_lines.Buffered() > irc::LineReader::kMaxLineLength)
    Fail("receive buffer beyond the line limit");
  if (console.CursorCol() < console.WindowLeft() || console.CursorCol() > console.WindowRight() ||
      console.CursorRow() < console.WindowTop() || console.CursorRow() > console.WindowBottom())
    Fail("cursor outside the window");
}

}  // namespace

extern "C" {

int __real_connect(int fd, const sockaddr* address, socklen_t length);
int __real_getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result);

int __wrap_getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result) {
  addrinfo numeric = hints != nullptr ? *hints : addrinfo{};
  numeric.ai_flags |= AI_NUMERICHOST;
  return __real_getaddrinfo(node, service, &numeric, result);
}

int __wrap_connect(int fd, const sockaddr* address, socklen_t length) {
  if (address != nullptr && address->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    if (in->sin_addr.s_addr == htonl(INADDR_LOOPBACK) && TheWorld().Reachable(ntohs(in->sin_port)))
      return __real_connect(fd, address, length);
  }
  errno = ECONNREFUSED;
  return -1;
}

int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  World& world = TheWorld();
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
  world.WriteIni(networks, long_handle, 30 + (header[2] >> 4) * 60, (header[0] & 16) != 0);

  auto [door_end, caller_end] = fuzzsupport::SocketPair();
  std::vector<std::string> args;
  if (from_drop_file) {
    world.WriteDropFile(door_end, header[2] & 15, long_handle);
    args = {"-D" + world.drop_path};
  } else {
    args = {"-H" + std::to_string(door_end), "-N1"};
  }

  platform::Console console;
  ScriptClock clock(header[1] * 337'500LL, ParseEvents(input), console, caller_end);
  ansi::LocalAnsi local_ansi(console);
  door::Door door(
      door::DoorEnv{console, clock, local_ansi, nullptr, std::move(args), world.dir.path() + "/zelkirc"});
  clock.SetDoor(&door);
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
        if (clock.CallerConnected()) {
          if (const char* difference = clock.mirror().Difference(console)) Fail(difference);
        }
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

}  // extern "C"
