// Runs the real zelkirc binary with a caller socket, the way a BBS does, and prints one table:
// idle cost against a real ngircd, one door and fleets of doors at BBS scale, a burst of channel
// lines from a scripted server (plain, TLS, and converted for CP437 and UTF-8 callers), how the
// cost of a burst grows with its size, the echo of a typed key, the start-up time, and coming back
// after the server restarted (one door, and a fleet). Figures
// come from the clock and /proc; nothing here passes or fails.
//
//   door_bench [--quick] [--idle-seconds=N] [--burst-lines=N] [--fleet-size=N]
//              [--only=idle,scale,burst,convert,linear,echo,start,reconnect,reconnect-fleet,tls]
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench_setup.h"
#include "door_fleet.h"
#include "idle_phase.h"
#include "reconnect_phase.h"
#include "support/door_process.h"
#include "support/proc_stats.h"
#include "support/sockets.h"
#include "support/tls_server.h"

namespace {

using bench::Format;
using bench::MsSince;
using bench::PlainFigures;
using bench::Row;
using bench::SteadyClock;
using testsupport::DoorProcess;

constexpr size_t kLineBytes = 146;  // CR LF included
constexpr double kMb = 1024.0 * 1024.0;
// ---- a door registered with a scripted server ----------------------------------------------------

// Reads whatever a descriptor has and looks for a text in it, also across read boundaries.
class StreamWatch {
 public:
  explicit StreamWatch(int fd, testsupport::TlsServer* tls = nullptr) : fd_(fd), tls_(tls) {}
  int fd() const { return fd_; }
  size_t bytes() const { return bytes_; }
  // Reads what is there now; true once needle has been seen since the last Expect.
  bool ReadNow() {
    for (;;) {
      const ssize_t n =
          tls_ ? tls_->ReadNow(buffer_, sizeof buffer_) : recv(fd_, buffer_, sizeof buffer_, MSG_DONTWAIT);
      if (n <= 0) return found_;
      bytes_ += static_cast<size_t>(n);
      if (found_ || needle_.empty()) continue;
      tail_.append(buffer_, static_cast<size_t>(n));
      if (tail_.find(needle_) != std::string::npos) found_ = true;
      if (tail_.size() > needle_.size()) tail_.erase(0, tail_.size() - needle_.size());
    }
  }
  void Expect(std::string needle) {
    needle_ = std::move(needle);
    found_ = false;
    tail_.clear();
  }
  // Bytes someone else read from the descriptor already (they count as read here).
  void Seen(std::string_view bytes) {
    bytes_ += bytes.size();
    if (!needle_.empty() && bytes.find(needle_) != std::string_view::npos) found_ = true;
  }
  bool found() const { return found_; }

 private:
  int fd_;
  testsupport::TlsServer* tls_;
  size_t bytes_ = 0;
  std::string needle_;
  std::string tail_;
  bool found_ = false;
  char buffer_[256 * 1024];
};

// Waits on both watches (whichever is not done) up to deadline; true when both found their text.
bool WaitBoth(StreamWatch& a, StreamWatch& b, SteadyClock::time_point deadline, double* a_ms, double* b_ms,
              SteadyClock::time_point start) {
  while (!(a.found() && b.found())) {
    if (SteadyClock::now() > deadline) return false;
    pollfd fds[2] = {{a.fd(), POLLIN, 0}, {b.fd(), POLLIN, 0}};
    poll(fds, 2, 100);
    if (!a.found() && a.ReadNow()) *a_ms = MsSince(start);
    if (!b.found() && b.ReadNow()) *b_ms = MsSince(start);
  }
  return true;
}

struct BurstResult {
  bool ok = false;
  double ms_to_pong = 0;
  double ms_to_caller = 0;
  int64_t cpu_ns = 0;
};

// A UTF-8 sequence cut in two at the end of text becomes blanks.
void BlankCutSequence(std::string& text) {
  size_t lead = text.size();
  while (lead > 0 && (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80) --lead;
  if (lead == 0) return;
  const auto first = static_cast<unsigned char>(text[lead - 1]);
  if (first < 0xC0) return;
  const size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : 2;
  if (text.size() - (lead - 1) < length)
    std::fill(text.begin() + static_cast<long>(lead - 1), text.end(), ' ');
}

// What the lines of a burst say: plain ASCII, or UTF-8 text with IRC formatting codes (bold,
// colours, underline, reset) that a door converts for its caller.
enum class BurstText { kPlain, kFormatted };

class ScriptedDoor {
 public:
  explicit ScriptedDoor(bool tls = false, std::vector<std::string> door_args = {})
      : listener_(testsupport::ListenLoopback(&port_)),
        door_(bench::IniFor(port_, tls)),
        door_args_(std::move(door_args)) {
    if (tls) tls_.emplace(bench::BenchCertificate().cert_file(), bench::BenchCertificate().key_file());
  }
  ~ScriptedDoor() {
    if (server_fd_ >= 0 && !tls_) close(server_fd_);
    close(listener_);
  }

  bool Start() {
    door_.StartWithCaller(false, door_args_);
    if (tls_) {
      if (!tls_->Accept(listener_, 5000)) return false;
      server_fd_ = tls_->fd();
    } else {
      server_fd_ = testsupport::AcceptWithin(listener_, 5000);
    }
    if (server_fd_ < 0) return false;
    server_.emplace(server_fd_, tls_ ? &*tls_ : nullptr);
    caller_.emplace(door_.caller_fd());
    server_->Expect("\nUSER ");
    caller_->Expect("[Status] ");
    // The harness may have read the start of the screen already (answering a charset probe).
    caller_->Seen(door_.CallerReceived());
    double ignored;
    if (!WaitBoth(*server_, *caller_, SteadyClock::now() + std::chrono::seconds(5), &ignored, &ignored,
                  SteadyClock::now())) {
      return false;
    }
    Write(":irc.test 001 Wolf :Welcome\r\n");
    caller_->Expect("Welcome");
    const auto deadline = SteadyClock::now() + std::chrono::seconds(5);
    while (!caller_->found() && SteadyClock::now() < deadline) {
      pollfd p{caller_->fd(), POLLIN, 0};
      poll(&p, 1, 100);
      caller_->ReadNow();
    }
    return caller_->found();
  }

  // lines channel messages of kLineBytes each, then a PING; the door answers after it has handled
  // every line, and the caller has everything once the last line's text arrived.
  BurstResult Burst(size_t lines, BurstText text = BurstText::kPlain) {
    const std::string marker = "zzEnd" + std::to_string(++bursts_) + "zz";
    std::string burst;
    burst.reserve(lines * kLineBytes + 64);
    const std::string words =
        text == BurstText::kPlain
            ? "the quick brown fox jumps over the lazy dog while the door relays every line "
            : "\0034caf\xC3\xA9 \002na\xC3\xAFve\x02 \xE2\x82\xAC \xF0\x9F\x98\x80 \00312,1the quick\x0F "
              "\x1F"
              "brown\x1F \342\200\234fox\xE2\x80\x9D \xE4\xBD\xA0\xE5\xA5\xBD \00352jumps\x03 "
              "\x1D\xC3\xBC"
              "ber\x1D \xE2\x94\x80\xE2\x94\x80 ";
    for (size_t i = 0; i < lines; ++i) {
      std::string line = ":nick" + std::to_string(i % 1000) + "!user@host.example.net PRIVMSG #lobby :";
      line += i + 1 == lines ? marker : std::to_string(i);
      line += ' ';
      while (line.size() < kLineBytes - 2) line += words;
      line.resize(kLineBytes - 2);
      BlankCutSequence(line);
      burst += line;
      burst += "\r\n";
    }
    const std::string ping_token = "done" + std::to_string(bursts_);
    burst += "PING :" + ping_token + "\r\n";

    server_->Expect("PONG :" + ping_token);
    caller_->Expect(marker);
    BurstResult result;
    const testsupport::ProcStats before = testsupport::ReadProcStats(door_.pid());
    // The TLS server encrypts before the clock starts: both doors get bytes written as they are.
    const std::string wire = tls_ ? tls_->Encrypt(burst) : std::string();
    const auto start = SteadyClock::now();
    std::thread writer([&] { WriteRaw(tls_ ? std::string_view(wire) : std::string_view(burst)); });
    result.ok = WaitBoth(*server_, *caller_, start + std::chrono::seconds(120), &result.ms_to_pong,
                         &result.ms_to_caller, start);
    writer.join();
    result.cpu_ns = testsupport::ReadProcStats(door_.pid()).cpu_ns - before.cpu_ns;
    return result;
  }

  DoorProcess& door() { return door_; }

 private:
  void Write(std::string_view data) {
    if (!tls_) return testsupport::WriteAll(server_fd_, data);
    while (!data.empty()) {
      const long n = tls_->WriteNow(data);
      if (n < 0) return;
      if (n == 0) {
        pollfd p{server_fd_, POLLOUT, 0};
        poll(&p, 1, 100);
      }
      data.remove_prefix(static_cast<size_t>(n));
    }
  }

  // Writes bytes as they are; the TLS server's socket does not block, so it waits for room.
  void WriteRaw(std::string_view data) {
    while (!data.empty()) {
      const ssize_t n = send(server_fd_, data.data(), data.size(), MSG_NOSIGNAL);
      if (n > 0) {
        data.remove_prefix(static_cast<size_t>(n));
      } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        pollfd p{server_fd_, POLLOUT, 0};
        poll(&p, 1, 100);
      } else {
        return;
      }
    }
  }

  int port_ = 0;
  int listener_;
  std::optional<testsupport::TlsServer> tls_;
  DoorProcess door_;
  std::vector<std::string> door_args_;
  int server_fd_ = -1;
  std::optional<StreamWatch> server_;
  std::optional<StreamWatch> caller_;
  int bursts_ = 0;
};

// ---- the measurements ------------------------------------------------------------------------------

// The best of several bursts, as one busy moment of a shared machine can halve a single one.
void MeasureBurst(size_t lines, int rounds, std::vector<Row>& rows) {
  ScriptedDoor door;
  if (!door.Start()) {
    rows.push_back({"burst: the door did not register", "-", "", {}});
    return;
  }
  double pong_ms = 1e300, caller_ms = 1e300, cpu_ns = 1e300;
  for (int i = 0; i < rounds; ++i) {
    const BurstResult r = door.Burst(lines);
    if (!r.ok) {
      rows.push_back({"burst: did not finish within 120 s", "-", "", {}});
      return;
    }
    pong_ms = std::min(pong_ms, r.ms_to_pong);
    caller_ms = std::min(caller_ms, r.ms_to_caller);
    cpu_ns = std::min<double>(cpu_ns, r.cpu_ns);
  }
  const testsupport::ProcStats stats = testsupport::ReadProcStats(door.door().pid());
  const double to_pong = lines / (pong_ms / 1000.0);
  const double to_caller = lines / (caller_ms / 1000.0);
  const std::string count = std::to_string(lines / 1000) + "k, best of " + std::to_string(rounds);
  rows.push_back({"burst " + count + ": lines/s until PONG :done", Format("%.0f", to_pong), ">= 500000",
                  to_pong >= 500000});
  rows.push_back({"burst " + count + ": lines/s until caller has last line", Format("%.0f", to_caller),
                  ">= 1000000", to_caller >= 1e6});
  rows.push_back({"burst " + count + ": CPU per line", Format("%.3f us", cpu_ns / 1000.0 / lines), "", {}});
  rows.push_back({"burst: peak RSS (VmHWM)", Format("%.2f MB", stats.peak_rss_kb / 1024.0), "<= 8 MB",
                  stats.peak_rss_kb / 1024.0 <= 8.0});
}

// A door that is compared with the plain one: over TLS, or converting formatted UTF-8 text for its
// caller's charset.
struct BurstKind {
  std::string name;
  bool tls = false;
  std::vector<std::string> door_args;
  BurstText text = BurstText::kPlain;
};

// A plain door and the other kind take bursts of the same size in turn (a TLS one already
// encrypted, so the server costs both the same); the best of the rounds of each is compared, as
// one busy moment of a shared machine can halve a single burst.
void MeasureBurstBeside(size_t lines, int rounds, const BurstKind& kind, std::vector<Row>& rows) {
  ScriptedDoor plain;
  ScriptedDoor other(kind.tls, kind.door_args);
  if (!plain.Start() || !other.Start()) {
    rows.push_back({kind.name + ": a door did not register", "-", "", {}});
    return;
  }
  double plain_ms = 1e300, other_ms = 1e300, plain_cpu = 1e300, other_cpu = 1e300;
  for (int i = 0; i < rounds; ++i) {
    const BurstResult p = plain.Burst(lines);
    const BurstResult o = other.Burst(lines, kind.text);
    if (!p.ok || !o.ok) {
      rows.push_back({kind.name + ": did not finish within 120 s", "-", "", {}});
      return;
    }
    plain_ms = std::min(plain_ms, p.ms_to_caller);
    other_ms = std::min(other_ms, o.ms_to_caller);
    plain_cpu = std::min<double>(plain_cpu, p.cpu_ns);
    other_cpu = std::min<double>(other_cpu, o.cpu_ns);
  }
  const testsupport::ProcStats stats = testsupport::ReadProcStats(other.door().pid());
  const std::string count = std::to_string(lines / 1000) + "k, best of " + std::to_string(rounds);
  const double rate = lines / (other_ms / 1000.0);
  const double share = 100.0 * plain_ms / other_ms;
  rows.push_back({kind.name + " " + count + ": lines/s to caller (% of plain)",
                  Format("%.0f", rate) + Format(" (%.0f %%)", share), ">= 70 %", share >= 70.0});
  rows.push_back(
      {kind.name + " " + count + ": CPU per line (plain)",
       Format("%.3f us", other_cpu / 1000.0 / lines) + Format(" (%.3f)", plain_cpu / 1000.0 / lines),
       "",
       {}});
  rows.push_back({kind.name + ": peak RSS (VmHWM)", Format("%.2f MB", stats.peak_rss_kb / 1024.0), "", {}});
}

void MeasureLinearity(int rounds, std::vector<Row>& rows) {
  ScriptedDoor door;
  if (!door.Start()) {
    rows.push_back({"linearity: the door did not register", "-", "", {}});
    return;
  }
  const size_t small_lines = static_cast<size_t>(kMb / kLineBytes);
  const size_t large_lines = static_cast<size_t>(10 * kMb / kLineBytes);
  door.Burst(small_lines);  // warm-up
  // The best of several rounds: a 1 MB burst is short enough for one busy moment of the machine to
  // double it.
  double small_ms = 1e300, large_ms = 1e300, small_cpu = 1e300, large_cpu = 1e300;
  for (int i = 0; i < rounds; ++i) {
    const BurstResult s = door.Burst(small_lines);
    const BurstResult l = door.Burst(large_lines);
    if (!s.ok || !l.ok) {
      rows.push_back({"linearity: a burst did not finish", "-", "", {}});
      return;
    }
    small_ms = std::min(small_ms, s.ms_to_caller);
    large_ms = std::min(large_ms, l.ms_to_caller);
    small_cpu = std::min(small_cpu, s.cpu_ns / 1e6);
    large_cpu = std::min(large_cpu, l.cpu_ns / 1e6);
  }
  const double ratio = large_ms / small_ms;
  rows.push_back({"linearity: 1 MB burst to caller (CPU)",
                  Format("%.1f ms", small_ms) + Format(" (%.1f)", small_cpu),
                  "",
                  {}});
  rows.push_back({"linearity: 10 MB burst to caller (CPU)",
                  Format("%.1f ms", large_ms) + Format(" (%.1f)", large_cpu),
                  "",
                  {}});
  rows.push_back({"linearity: ratio 10 MB / 1 MB (CPU ratio)",
                  Format("%.2f", ratio) + Format(" (%.2f)", large_cpu / small_cpu), "<= 12", ratio <= 12.0});
}

// Waits until exactly `want` has arrived on fd (the echo); false after a second without it.
bool ReadExactly(int fd, std::string_view want) {
  std::string got;
  const auto deadline = SteadyClock::now() + std::chrono::seconds(1);
  while (got.size() < want.size()) {
    pollfd p{fd, POLLIN, 0};
    if (SteadyClock::now() > deadline) return false;
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[256];
    const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n <= 0) return false;
    got.append(buffer, static_cast<size_t>(n));
  }
  return got == want;
}

void MeasureEcho(int keys, std::vector<Row>& rows) {
  DoorProcess door("[general]\nusername=Joe Smith\nhandle=Wolf\n");
  door.StartWithCaller();
  if (!door.CallerWaitFor("[Status] ", 5000)) {
    rows.push_back({"echo: the door did not start", "-", "", {}});
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  testsupport::ReadAvailable(door.caller_fd(), 0);
  std::vector<double> us;
  us.reserve(static_cast<size_t>(keys));
  for (int i = 0; i < keys; ++i) {
    // A letter and a backspace in turn keep the input line short, so every key is a plain echo.
    const bool letter = i % 2 == 0;
    const auto start = SteadyClock::now();
    testsupport::WriteAll(door.caller_fd(), letter ? "a" : "\b");
    if (!ReadExactly(door.caller_fd(), letter ? "a" : "\b \b")) {
      rows.push_back({"echo: a key was not echoed as expected", "-", "", {}});
      return;
    }
    us.push_back(MsSince(start) * 1000.0);
  }
  std::sort(us.begin(), us.end());
  const double median = us[us.size() / 2];
  const double p99 = us[us.size() * 99 / 100];
  rows.push_back({"echo: median over " + std::to_string(keys) + " keys", Format("%.1f us", median),
                  "<= 200 us", median <= 200});
  rows.push_back({"echo: 99th percentile", Format("%.1f us", p99), "", {}});
  door.CallerTypes("/quit\r");
  door.WaitExit(5000);
}

void MeasureStartUp(int runs, bool tls, std::vector<Row>& rows) {
  int port = 0;
  const int listener = testsupport::ListenLoopback(&port);
  std::vector<double> ms;
  std::vector<double> cpu_ms;  // the door's own CPU time until then: the figure that load does not change
  for (int i = 0; i < runs; ++i) {
    // The charset given, as a BBS that knows it passes it: no probe round trip to the caller.
    bench::DoorFleet door(bench::IniFor(port, tls), {"-CCP437"});
    std::optional<testsupport::TlsServer> tls_server;
    if (tls) tls_server.emplace(bench::BenchCertificate().cert_file(), bench::BenchCertificate().key_file());
    const auto start = SteadyClock::now();
    if (!door.StartOne("Wolf")) break;
    int server = -1;
    if (tls) {
      if (tls_server->Accept(listener, 5000)) server = tls_server->fd();
    } else {
      server = testsupport::AcceptWithin(listener, 5000);
    }
    if (server < 0) break;
    StreamWatch watch(server, tls ? &*tls_server : nullptr);
    watch.Expect("NICK ");
    while (!watch.found() && MsSince(start) < 5000) {
      pollfd p{server, POLLIN, 0};
      poll(&p, 1, 100);
      watch.ReadNow();
    }
    if (watch.found()) {
      ms.push_back(MsSince(start));
      cpu_ms.push_back(testsupport::ReadProcStats(door.pids().front()).cpu_ns / 1e6);
    }
    if (!tls) close(server);
  }
  close(listener);
  const std::string kind = tls ? "tls start-up" : "start-up";
  if (ms.empty()) {
    rows.push_back({kind + ": the door never connected", "-", "", {}});
    return;
  }
  std::sort(ms.begin(), ms.end());
  std::sort(cpu_ms.begin(), cpu_ms.end());
  const double median = ms[ms.size() / 2];
  rows.push_back({kind + ": exec to NICK at the server, median of " + std::to_string(ms.size()),
                  Format("%.2f ms", median), "<= 20 ms", median <= 20});
  rows.push_back(
      {kind + ": the door's CPU until NICK, median", Format("%.2f ms", cpu_ms[cpu_ms.size() / 2]), "", {}});
}

bool Wanted(const std::string& only, const char* name) {
  return only.empty() || ("," + only + ",").find("," + std::string(name) + ",") != std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
  bench::IdleOptions idle;
  size_t burst_lines = 100'000;
  int rounds = 5;
  int echo_keys = 1000;
  int starts = 21;
  std::string only;
  int fleet_size = idle.fleet_size;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--quick") {
      idle.seconds = 5;
      rounds = 2;
      starts = 7;
    } else if (arg.starts_with("--idle-seconds=")) {
      idle.seconds = std::max(1, std::atoi(argv[i] + 15));
    } else if (arg.starts_with("--burst-lines=")) {
      burst_lines = std::max<size_t>(1, std::strtoul(argv[i] + 14, nullptr, 10));
    } else if (arg.starts_with("--fleet-size=")) {
      idle.fleet_size = std::max(1, std::atoi(argv[i] + 13));
      fleet_size = idle.fleet_size;
    } else if (arg.starts_with("--only=")) {
      only = std::string(arg.substr(7));
    } else {
      std::fprintf(stderr,
                   "usage: door_bench [--quick] [--idle-seconds=N] [--burst-lines=N] [--fleet-size=N]\n"
                   "                  "
                   "[--only=idle,scale,burst,convert,linear,echo,start,reconnect,reconnect-fleet,tls]\n");
      return 2;
    }
  }
  std::vector<Row> rows;
  const bool tls_rows = bench::BenchCertificate().ok() && Wanted(only, "tls");
  PlainFigures plain;
  idle.single = Wanted(only, "idle");
  idle.tls = tls_rows;
  if (!Wanted(only, "scale")) idle.fleet_size = 0;
  if (idle.single || idle.fleet_size > 0) bench::MeasureIdlePhase(idle, plain, rows);
  if (Wanted(only, "burst")) MeasureBurst(burst_lines, rounds + 1, rows);
  if (Wanted(only, "burst") && tls_rows)
    MeasureBurstBeside(burst_lines, rounds + 1, {"tls burst", true, {}, BurstText::kPlain}, rows);
  if (Wanted(only, "convert")) {
    MeasureBurstBeside(burst_lines, rounds + 1,
                       {"formatted to CP437", false, {"-CCP437"}, BurstText::kFormatted}, rows);
    MeasureBurstBeside(burst_lines, rounds + 1,
                       {"formatted to UTF-8", false, {"-CUTF-8"}, BurstText::kFormatted}, rows);
  }
  if (Wanted(only, "linear")) MeasureLinearity(rounds, rows);
  if (Wanted(only, "echo")) MeasureEcho(echo_keys, rows);
  if (Wanted(only, "start")) MeasureStartUp(starts, false, rows);
  if (tls_rows && Wanted(only, "start")) MeasureStartUp(starts, true, rows);
  // The fleet's restart takes a minute or two: only when named.
  const bool reconnect_fleet = !only.empty() && Wanted(only, "reconnect-fleet");
  if (Wanted(only, "reconnect") || reconnect_fleet)
    bench::MeasureReconnect(Wanted(only, "reconnect"), reconnect_fleet ? fleet_size : 0, rows);
  bench::PrintTable(rows);
  return 0;
}
