// Runs the real zelkirc binary with a caller socket, the way a BBS does, and prints one table:
// idle cost against a real ngircd, a burst of channel lines from a scripted server, how the cost
// of a burst grows with its size, the echo of a typed key, and the start-up time. Figures come
// from the clock and /proc; nothing here passes or fails.
//
//   door_bench [--quick] [--idle-seconds=N] [--burst-lines=N] [--only=idle,burst,linear,echo,start,tls]
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

#include "proc_stats.h"
#include "support/certificate.h"
#include "support/door_process.h"
#include "support/irc_peer.h"
#include "support/ngircd.h"
#include "support/sockets.h"
#include "tls_server.h"

namespace {

using testsupport::DoorProcess;
using SteadyClock = std::chrono::steady_clock;

constexpr size_t kLineBytes = 146;  // CR LF included
constexpr double kMb = 1024.0 * 1024.0;

double MsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

std::string IniFor(int port, std::string_view network_extra = "") {
  return "[general]\nusername=Joe Smith\nhandle=Wolf\nserver=1\n[Local]\n127.0.0.1=" + std::to_string(port) +
         "\n" + std::string(network_extra);
}

// The certificate of the TLS rows, made once; the doors trust it by its pinned fingerprint.
const testsupport::TestCertificate& BenchCertificate() {
  static const testsupport::TestCertificate cert("localhost", "DNS:localhost");
  return cert;
}

// A network on a TLS port of 127.0.0.1 (the plain network when tls is false).
std::string IniFor(int port, bool tls, std::string_view network_extra = "") {
  if (!tls) return IniFor(port, network_extra);
  return "[general]\nusername=Joe Smith\nhandle=Wolf\nserver=1\n[Local]\n127.0.0.1=+" + std::to_string(port) +
         "\ntlsfingerprint=" + BenchCertificate().fingerprint() + "\n" + std::string(network_extra);
}

// ---- one table row -------------------------------------------------------------------------------

struct Row {
  std::string name;
  std::string value;
  std::string target;
  std::optional<bool> met;  // empty: no target
};

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

void PrintTable(const std::vector<Row>& rows) {
  std::printf("\n%-44s %16s  %-14s %s\n", "measurement", "value", "target", "");
  std::printf("%s\n", std::string(84, '-').c_str());
  for (const Row& row : rows) {
    const char* verdict = !row.met ? "" : *row.met ? "met" : "MISSED";
    std::printf("%-44s %16s  %-14s %s\n", row.name.c_str(), row.value.c_str(), row.target.c_str(), verdict);
  }
  std::fflush(stdout);
}

// ---- a door registered with a scripted server ----------------------------------------------------

// Reads whatever a descriptor has and looks for a text in it, also across read boundaries.
class StreamWatch {
 public:
  explicit StreamWatch(int fd, bench::TlsServer* tls = nullptr) : fd_(fd), tls_(tls) {}
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
  bool found() const { return found_; }

 private:
  int fd_;
  bench::TlsServer* tls_;
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

class ScriptedDoor {
 public:
  explicit ScriptedDoor(bool tls = false)
      : listener_(testsupport::ListenLoopback(&port_)), door_(IniFor(port_, tls)) {
    if (tls) tls_.emplace(BenchCertificate().cert_file(), BenchCertificate().key_file());
  }
  ~ScriptedDoor() {
    if (server_fd_ >= 0 && !tls_) close(server_fd_);
    close(listener_);
  }

  bool Start() {
    door_.StartWithCaller();
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
  BurstResult Burst(size_t lines) {
    const std::string marker = "zzEnd" + std::to_string(++bursts_) + "zz";
    std::string burst;
    burst.reserve(lines * kLineBytes + 64);
    const std::string words = "the quick brown fox jumps over the lazy dog while the door relays every line ";
    for (size_t i = 0; i < lines; ++i) {
      std::string line = ":nick" + std::to_string(i % 1000) + "!user@host.example.net PRIVMSG #lobby :";
      line += i + 1 == lines ? marker : std::to_string(i);
      line += ' ';
      while (line.size() < kLineBytes - 2) line += words;
      line.resize(kLineBytes - 2);
      burst += line;
      burst += "\r\n";
    }
    const std::string ping_token = "done" + std::to_string(bursts_);
    burst += "PING :" + ping_token + "\r\n";

    server_->Expect("PONG :" + ping_token);
    caller_->Expect(marker);
    BurstResult result;
    const bench::ProcStats before = bench::ReadProcStats(door_.pid());
    // The TLS server encrypts before the clock starts: both doors get bytes written as they are.
    const std::string wire = tls_ ? tls_->Encrypt(burst) : std::string();
    const auto start = SteadyClock::now();
    std::thread writer([&] { WriteRaw(tls_ ? std::string_view(wire) : std::string_view(burst)); });
    result.ok = WaitBoth(*server_, *caller_, start + std::chrono::seconds(120), &result.ms_to_pong,
                         &result.ms_to_caller, start);
    writer.join();
    result.cpu_ns = bench::ReadProcStats(door_.pid()).cpu_ns - before.cpu_ns;
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
  std::optional<bench::TlsServer> tls_;
  DoorProcess door_;
  int server_fd_ = -1;
  std::optional<StreamWatch> server_;
  std::optional<StreamWatch> caller_;
  int bursts_ = 0;
};

// ---- the measurements ------------------------------------------------------------------------------

// Figures of the plain door that the TLS rows are shown beside.
struct PlainFigures {
  int64_t idle_private_kb = 0;
};

void MeasureIdle(int seconds, bool tls, PlainFigures& plain, std::vector<Row>& rows) {
  using testsupport::NgircdServer;
  const std::string kind = tls ? "tls idle" : "idle";
  if (!NgircdServer::Available()) {
    rows.push_back({kind + ": ngircd not installed, skipped", "-", "", {}});
    return;
  }
  NgircdServer ngircd(ZELK_SOURCE_DIR "/tests/data/ngircd.conf");
  if (tls) ngircd.EnableTls(BenchCertificate().cert_file(), BenchCertificate().key_file());
  testsupport::IrcPeer bob;
  if (!ngircd.Start() || !bob.Register(ngircd.port(), "Bob")) {
    rows.push_back({kind + ": ngircd did not start", "-", "", {}});
    return;
  }
  bob.SendLine("JOIN #lobby");
  DoorProcess door(IniFor(tls ? ngircd.tls_port() : ngircd.port(), tls, "channels=#lobby\n"));
  door.StartWithCaller();
  if (!bob.WaitFor(":Wolf!", 5000) || !door.CallerWaitFor("[#lobby] ", 5000)) {
    rows.push_back({kind + ": the door did not join", "-", "", {}});
    return;
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const bench::ProcStats before = bench::ReadProcStats(door.pid());
  const auto start = SteadyClock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const bench::ProcStats after = bench::ReadProcStats(door.pid());
  const double elapsed_s = MsSince(start) / 1000.0;
  const double cpu_ms_per_30s = (after.cpu_ns - before.cpu_ns) / 1e6 * 30.0 / elapsed_s;
  const double wakeups = (after.voluntary_switches - before.voluntary_switches) / elapsed_s;
  const double rss_mb = after.rss_kb / 1024.0;
  rows.push_back({kind + ": CPU per 30 s (" + std::to_string(seconds) + " s measured)",
                  Format("%.3f ms", cpu_ms_per_30s), "<= 2 ms", cpu_ms_per_30s <= 2.0});
  rows.push_back(
      {kind + ": wakeups (voluntary switches) per s", Format("%.2f", wakeups), "<= 1.5", wakeups <= 1.5});
  const double dirty_mb = after.private_dirty_kb / 1024.0;
  const double clean_mb = after.private_clean_kb / 1024.0;
  if (!tls) {
    plain.idle_private_kb = after.private_dirty_kb;
    rows.push_back({kind + ": RSS", Format("%.2f MB", rss_mb), "<= 4 MB", rss_mb <= 4.0});
    rows.push_back({kind + ": private memory (Private_Dirty)", Format("%.2f MB", dirty_mb), "", {}});
  } else {
    rows.push_back({kind + ": RSS", Format("%.2f MB", rss_mb), "", {}});
    if (plain.idle_private_kb > 0) {
      const double more_mb = (after.private_dirty_kb - plain.idle_private_kb) / 1024.0;
      rows.push_back({kind + ": private memory (Private_Dirty)",
                      Format("%.2f MB", dirty_mb) + Format(" (+%.2f)", more_mb), "<= +1 MB", more_mb <= 1.0});
    } else {
      rows.push_back({kind + ": private memory (Private_Dirty)", Format("%.2f MB", dirty_mb), "", {}});
    }
    rows.push_back(
        {kind + ": code mapped by no other process (Private_Clean)", Format("%.2f MB", clean_mb), "", {}});
  }
  door.CallerTypes("/quit\r");
  door.WaitExit(5000);
}

void MeasureBurst(size_t lines, std::vector<Row>& rows) {
  ScriptedDoor door;
  if (!door.Start()) {
    rows.push_back({"burst: the door did not register", "-", "", {}});
    return;
  }
  const BurstResult r = door.Burst(lines);
  const bench::ProcStats stats = bench::ReadProcStats(door.door().pid());
  if (!r.ok) {
    rows.push_back({"burst: did not finish within 120 s", "-", "", {}});
    return;
  }
  const double to_pong = lines / (r.ms_to_pong / 1000.0);
  const double to_caller = lines / (r.ms_to_caller / 1000.0);
  const std::string count = std::to_string(lines / 1000) + "k";
  rows.push_back({"burst " + count + ": lines/s until PONG :done", Format("%.0f", to_pong), ">= 500000",
                  to_pong >= 500000});
  rows.push_back(
      {"burst " + count + ": lines/s until caller has last line", Format("%.0f", to_caller), "", {}});
  rows.push_back({"burst " + count + ": CPU per line", Format("%.3f us", r.cpu_ns / 1000.0 / lines), "", {}});
  rows.push_back({"burst " + count + ": peak RSS (VmHWM)", Format("%.2f MB", stats.peak_rss_kb / 1024.0),
                  "<= 8 MB", stats.peak_rss_kb / 1024.0 <= 8.0});
}

// A plain and a TLS door take the same bursts in turn (the TLS one already encrypted, so the
// server costs both the same); the best of the rounds of each is compared, as one busy moment of a
// shared machine can halve a single burst.
void MeasureTlsBurst(size_t lines, int rounds, std::vector<Row>& rows) {
  ScriptedDoor plain;
  ScriptedDoor tls(/*tls=*/true);
  if (!plain.Start() || !tls.Start()) {
    rows.push_back({"tls burst: a door did not register", "-", "", {}});
    return;
  }
  double plain_ms = 1e300, tls_ms = 1e300, plain_cpu = 1e300, tls_cpu = 1e300;
  for (int i = 0; i < rounds; ++i) {
    const BurstResult p = plain.Burst(lines);
    const BurstResult t = tls.Burst(lines);
    if (!p.ok || !t.ok) {
      rows.push_back({"tls burst: did not finish within 120 s", "-", "", {}});
      return;
    }
    plain_ms = std::min(plain_ms, p.ms_to_caller);
    tls_ms = std::min(tls_ms, t.ms_to_caller);
    plain_cpu = std::min<double>(plain_cpu, p.cpu_ns);
    tls_cpu = std::min<double>(tls_cpu, t.cpu_ns);
  }
  const bench::ProcStats stats = bench::ReadProcStats(tls.door().pid());
  const std::string count = std::to_string(lines / 1000) + "k, best of " + std::to_string(rounds);
  const double tls_rate = lines / (tls_ms / 1000.0);
  const double share = 100.0 * plain_ms / tls_ms;
  rows.push_back({"tls burst " + count + ": lines/s to caller (% of plain)",
                  Format("%.0f", tls_rate) + Format(" (%.0f %%)", share), ">= 70 %", share >= 70.0});
  rows.push_back({"tls burst " + count + ": CPU per line (plain)",
                  Format("%.3f us", tls_cpu / 1000.0 / lines) + Format(" (%.3f)", plain_cpu / 1000.0 / lines),
                  "",
                  {}});
  rows.push_back({"tls burst: peak RSS (VmHWM)", Format("%.2f MB", stats.peak_rss_kb / 1024.0), "", {}});
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
  for (int i = 0; i < runs; ++i) {
    DoorProcess door(IniFor(port, tls));
    std::optional<bench::TlsServer> tls_server;
    if (tls) tls_server.emplace(BenchCertificate().cert_file(), BenchCertificate().key_file());
    const auto start = SteadyClock::now();
    door.StartWithCaller();
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
    if (watch.found()) ms.push_back(MsSince(start));
    if (!tls) close(server);
  }
  close(listener);
  const std::string kind = tls ? "tls start-up" : "start-up";
  if (ms.empty()) {
    rows.push_back({kind + ": the door never connected", "-", "", {}});
    return;
  }
  std::sort(ms.begin(), ms.end());
  const double median = ms[ms.size() / 2];
  rows.push_back({kind + ": exec to NICK at the server, median of " + std::to_string(ms.size()),
                  Format("%.2f ms", median), "<= 20 ms", median <= 20});
}

bool Wanted(const std::string& only, const char* name) {
  return only.empty() || ("," + only + ",").find("," + std::string(name) + ",") != std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
  int idle_seconds = 30;
  size_t burst_lines = 100'000;
  int rounds = 5;
  int echo_keys = 1000;
  int starts = 21;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--quick") {
      idle_seconds = 5;
      rounds = 2;
      starts = 7;
    } else if (arg.starts_with("--idle-seconds=")) {
      idle_seconds = std::max(1, std::atoi(argv[i] + 15));
    } else if (arg.starts_with("--burst-lines=")) {
      burst_lines = std::max<size_t>(1, std::strtoul(argv[i] + 14, nullptr, 10));
    } else if (arg.starts_with("--only=")) {
      only = std::string(arg.substr(7));
    } else {
      std::fprintf(stderr,
                   "usage: door_bench [--quick] [--idle-seconds=N] [--burst-lines=N] "
                   "[--only=idle,burst,linear,echo,start,tls]\n");
      return 2;
    }
  }
  std::vector<Row> rows;
  const bool tls_rows = BenchCertificate().ok();
  PlainFigures plain;
  if (Wanted(only, "idle")) MeasureIdle(idle_seconds, false, plain, rows);
  if (Wanted(only, "tls") && Wanted(only, "idle") && tls_rows) MeasureIdle(idle_seconds, true, plain, rows);
  if (Wanted(only, "burst")) MeasureBurst(burst_lines, rows);
  if (Wanted(only, "tls") && Wanted(only, "burst") && tls_rows)
    MeasureTlsBurst(burst_lines, rounds + 1, rows);
  if (Wanted(only, "linear")) MeasureLinearity(rounds, rows);
  if (Wanted(only, "echo")) MeasureEcho(echo_keys, rows);
  if (Wanted(only, "start")) MeasureStartUp(starts, false, rows);
  if (Wanted(only, "tls") && Wanted(only, "start") && tls_rows) MeasureStartUp(starts, true, rows);
  PrintTable(rows);
  return 0;
}
