// The Windows door under Wine, visited the way a Windows BBS runs it: zelkbbs.exe accepts a
// loopback telnet caller and starts zelkirc.exe with the inherited socket handle; the door
// connects to a real ngircd on this side, where a second IRC user talks with the caller.
//
// The TLS tests visit the same ngircd's TLS port, whose certificate for "localhost" the openssl
// command made: SChannel (on Wine, Wine's own on GnuTLS) with the pin, with checking off, and
// refusing a wrong pin and a certificate the system does not trust.
//
// Run by tools/test-windows.sh with ZELK_WINDOWS_BUILD (the folder of zelkirc.exe and
// zelkbbs.exe), ZELK_WINE (the wine64 program) and WINEPREFIX set; skipped without them.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/certificate.h"
#include "support/child_process.h"
#include "support/irc_peer.h"
#include "support/ngircd.h"
#include "support/sockets.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kStartMs = 30000;  // Wine starts the launcher and the door: a few seconds at most
constexpr int kStepMs = 15000;

const char* Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? v : nullptr;
}

// zelkbbs.exe --once (or, with door_alone, the door itself) under Wine in a folder of its own
// with a copy of the door and its INI.
class WindowsBbs {
 public:
  WindowsBbs(const std::string& ini, std::vector<std::string> options, bool door_alone = false) {
    std::string pattern = "/tmp/zelk_winbbs_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return;
    dir_ = pattern;
    const fs::path build = Env("ZELK_WINDOWS_BUILD");
    fs::copy_file(build / "zelkirc.exe", dir_ / "zelkirc.exe");
    fs::copy_file(build / "zelkbbs.exe", dir_ / "zelkbbs.exe");
    std::ofstream(dir_ / "zelkirc.ini") << ini;

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    testsupport::ChildProcess::Options launch;
    launch.argv = {Env("ZELK_WINE"), "zelkbbs.exe", "--port", "0",
                   "--door",         "zelkirc.exe", "--once", "--headless"};
    if (door_alone) launch.argv = {Env("ZELK_WINE"), "zelkirc.exe"};
    launch.argv.insert(launch.argv.end(), options.begin(), options.end());
    launch.working_dir = dir_;
    launch.in = testsupport::ChildProcess::Stream::Inherit();
    launch.out = testsupport::ChildProcess::Stream::Descriptor(out[1]);
    process_.Start(std::move(launch));
    close(out[1]);
    out_fd_ = out[0];
  }

  ~WindowsBbs() {
    process_.Kill();
    if (out_fd_ >= 0) close(out_fd_);
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // The port from the launcher's first line; 0 when it did not come.
  int WaitForPort() {
    const std::string line = ReadUntil("\n", kStartMs);
    const size_t colon = line.find("127.0.0.1:");
    return colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 10);
  }

  // The launcher's own exit code (the door's, with --once); -1 when it had to be killed.
  int WaitExit(int timeout_ms) {
    // The pipe is kept drained while waiting.
    return process_.WaitExit(timeout_ms, [this] { ReadUntil("\x01", 20); });
  }

  const std::string& output() const { return output_; }

 private:
  std::string ReadUntil(const std::string& needle, int timeout_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    size_t from = output_.size();
    while (output_.find(needle, from) == std::string::npos) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0 || out_fd_ < 0) break;
      pollfd p{out_fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buf[4096];
      const ssize_t n = read(out_fd_, buf, sizeof buf);
      if (n <= 0) {
        close(out_fd_);
        out_fd_ = -1;
        break;
      }
      output_.append(buf, static_cast<size_t>(n));
    }
    return output_.substr(from);
  }

  fs::path dir_;
  testsupport::ChildProcess process_;
  int out_fd_ = -1;
  std::string output_;
};

// The telnet caller: a plain TCP client of the launcher.
class Caller {
 public:
  explicit Caller(int port) { fd_ = testsupport::ConnectLoopback(port); }
  ~Caller() { HangUp(); }
  bool connected() const { return fd_ >= 0; }
  void Types(std::string_view bytes) { testsupport::WriteAll(fd_, bytes); }
  bool WaitFor(std::string_view needle, int timeout_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (received_.find(needle) == std::string::npos) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0 || fd_ < 0) return false;
      received_ += testsupport::ReadAvailable(fd_, static_cast<int>(std::min<long long>(left, 100)));
    }
    return true;
  }
  const std::string& received() const { return received_; }
  void HangUp() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
  std::string received_;
};

class WineSmoke : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Env("ZELK_WINDOWS_BUILD") || !Env("ZELK_WINE") || !Env("WINEPREFIX")) {
      GTEST_SKIP() << "run by tools/test-windows.sh";
    }
    if (!testsupport::NgircdServer::Available()) GTEST_SKIP() << "ngircd is not installed";
    ASSERT_TRUE(ngircd_.Start()) << ngircd_.Log();
    ASSERT_TRUE(peer_.Register(ngircd_.port(), "peer"));
    peer_.SendLine("JOIN #lobby");
    ASSERT_TRUE(peer_.WaitFor(" 366 ", kStepMs));
  }

  std::string Ini(std::string_view general) const {
    return "[general]\r\n" + std::string(general) +
           "idletime=600\r\n[Local]\r\n127.0.0.1=" + std::to_string(ngircd_.port()) +
           "\r\nchannels=#lobby\r\n";
  }

  testsupport::NgircdServer ngircd_{ZELK_SOURCE_DIR "/tests/data/ngircd.conf"};
  testsupport::IrcPeer peer_;
};

// Standard output of a shell command ("" when it fails).
std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  return pclose(pipe) == 0 ? out : std::string();
}

// Puts a certificate into the Wine prefix's trusted roots (the current user's "Root" store in
// the registry, where Windows keeps a certificate as a serialized element: property 32, the
// encoded certificate, under its SHA-1 hash), as a sysop would import a private network's root.
bool TrustInWindowsStore(const std::string& cert_file) {
  const std::string der =
      Shell("openssl x509 -in " + cert_file + " -outform der | od -An -v -tx1 | tr -d ' \\n'");
  std::string sha1 = Shell("openssl x509 -in " + cert_file + " -noout -fingerprint -sha1");
  if (der.empty() || sha1.find('=') == std::string::npos) return false;
  sha1 = sha1.substr(sha1.find('=') + 1);
  std::erase_if(sha1, [](char c) { return c == ':' || c == '\n'; });
  auto le32 = [](size_t v) {  // a little-endian 32-bit number in hex
    std::string hex;
    for (int shift = 0; shift < 32; shift += 8) {
      const unsigned byte = (v >> shift) & 0xffU;
      hex += "0123456789abcdef"[byte >> 4];
      hex += "0123456789abcdef"[byte & 0xfU];
    }
    return hex;
  };
  const std::string blob = le32(32) + le32(1) + le32(der.size() / 2) + der;
  return Shell(std::string(Env("ZELK_WINE")) +
               " reg add 'HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\" + sha1 +
               "' /v Blob /t REG_BINARY /d " + blob + " /f >/dev/null 2>&1 && echo added")
      .starts_with("added");
}

// A self-signed certificate for elsewhere.test and 127.0.0.1 valid only between two dates
// (openssl ca, "YYYYMMDDhhmmssZ"), in a world-readable folder removed with the object.
class DatedCertificate {
 public:
  DatedCertificate(const std::string& start, const std::string& end) {
    std::string pattern = "/tmp/zelk_dated_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return;
    dir_ = pattern;
    chmod(dir_.c_str(), 0755);
    std::ofstream(dir_ + "/ca.cnf")
        << "[ca]\ndefault_ca = here\n[here]\ndatabase = index.txt\nnew_certs_dir = .\n"
           "serial = serial\ndefault_md = sha256\npolicy = any\nx509_extensions = ext\n"
           "unique_subject = no\n[any]\ncommonName = supplied\n[ext]\n"
           "subjectAltName = DNS:elsewhere.test,IP:127.0.0.1\n";
    ok_ = Shell("cd " + dir_ +
                " && touch index.txt && echo 01 >serial && openssl ecparam -name prime256v1 -genkey -noout "
                "-out key.pem"
                " && openssl req -new -key key.pem -subj /CN=elsewhere.test -out req.pem"
                " && openssl ca -batch -config ca.cnf -selfsign -keyfile key.pem -in req.pem -out cert.pem "
                "-notext"
                " -startdate " +
                start + " -enddate " + end + " >/dev/null 2>&1 && chmod 644 key.pem cert.pem && echo made")
              .starts_with("made");
  }
  ~DatedCertificate() {
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  bool ok() const { return ok_; }
  std::string cert_file() const { return dir_ + "/cert.pem"; }
  std::string key_file() const { return dir_ + "/key.pem"; }

 private:
  std::string dir_;
  bool ok_ = false;
};

// The same with the server's TLS port open as well.
class WineTls : public WineSmoke {
 protected:
  void SetUp() override {
    if (!cert_.ok()) GTEST_SKIP() << "the openssl command failed";
    ngircd_.EnableTls(cert_.cert_file(), cert_.key_file());
    WineSmoke::SetUp();
  }

  // A network of one TLS server under the name the certificate carries, with the given keys.
  std::string TlsIni(std::string_view keys, std::string_view host = "localhost") const {
    return "[general]\r\nhandle=WinTls\r\nidletime=600\r\n[Secure]\r\n" + std::string(host) + "=+" +
           std::to_string(ngircd_.tls_port()) + "\r\nchannels=#lobby\r\n" + std::string(keys);
  }

  // For another name, and for the loopback address: "localhost" is not on it.
  testsupport::TestCertificate cert_{"elsewhere.test", "DNS:elsewhere.test,IP:127.0.0.1"};
};

TEST_F(WineSmoke, VisitOverTheInheritedSocketEndsWithQuitAndExitCodeZero) {
  WindowsBbs bbs(Ini("username=Win Caller\r\nhandle=WinDoor\r\n"), {});
  const int port = bbs.WaitForPort();
  ASSERT_GT(port, 0) << bbs.output();
  Caller caller(port);
  ASSERT_TRUE(caller.connected());

  ASSERT_TRUE(peer_.WaitFor("WinDoor!", kStartMs))
      << "the door never joined; caller saw: " << caller.received();
  ASSERT_TRUE(caller.WaitFor("[#lobby]", kStepMs)) << caller.received();

  peer_.SendLine("PRIVMSG #lobby :hello from linux");
  EXPECT_TRUE(caller.WaitFor("hello from linux", kStepMs)) << caller.received();
  caller.Types("hi from windows\r");
  auto said = peer_.WaitFor("hi from windows", kStepMs);
  ASSERT_TRUE(said.has_value());
  EXPECT_NE(said->find(":WinDoor!"), std::string::npos) << *said;
  EXPECT_NE(said->find("PRIVMSG #lobby :hi from windows"), std::string::npos) << *said;

  caller.Types("/QUIT\r");
  EXPECT_TRUE(peer_.WaitFor("QUIT", kStepMs).has_value());
  EXPECT_EQ(bbs.WaitExit(kStepMs), 0) << bbs.output();
  EXPECT_NE(bbs.output().find("ended with exit code 0"), std::string::npos) << bbs.output();
}

TEST_F(WineSmoke, HangUpSendsTheCarrierQuitFromTheDropFileVisit) {
  WindowsBbs bbs(Ini(""), {"--dropfile", "--minutes", "30"});
  const int port = bbs.WaitForPort();
  ASSERT_GT(port, 0) << bbs.output();
  Caller caller(port);
  ASSERT_TRUE(caller.connected());
  // The drop file's handle (line 7) is the nickname.
  ASSERT_TRUE(peer_.WaitFor("Caller1!", kStartMs))
      << "the door never joined; caller saw: " << caller.received();
  ASSERT_TRUE(caller.WaitFor("[#lobby]", kStepMs)) << caller.received();

  caller.HangUp();
  auto quit = peer_.WaitFor("QUIT", kStepMs);
  ASSERT_TRUE(quit.has_value());
  EXPECT_NE(quit->find("Caller1!"), std::string::npos) << *quit;
  EXPECT_NE(quit->find("ZelkIRC v1.32 (Caller Dropped Carrier)"), std::string::npos) << *quit;
  EXPECT_EQ(bbs.WaitExit(kStepMs), 0) << bbs.output();
}

TEST_F(WineSmoke, TheDoorConnectsBackToTheBbsPort) {
  int port = 0;
  const int listener = testsupport::ListenLoopback(&port);
  WindowsBbs door(Ini(""), {"-P" + std::to_string(port), "-AWinBack"}, /*door_alone=*/true);
  const int accepted = testsupport::AcceptWithin(listener, kStartMs);
  close(listener);
  ASSERT_GE(accepted, 0) << "the door never connected back";
  ASSERT_TRUE(peer_.WaitFor("WinBack!", kStartMs));
  testsupport::WriteAll(accepted, "/QUIT\r");
  EXPECT_TRUE(peer_.WaitFor("QUIT", kStepMs).has_value());
  EXPECT_EQ(door.WaitExit(kStepMs), 0);
  close(accepted);
}

TEST_F(WineTls, VisitOverTlsWithThePinnedCertificate) {
  WindowsBbs bbs(TlsIni("tlsfingerprint=" + cert_.fingerprint() + "\r\n"), {});
  const int port = bbs.WaitForPort();
  ASSERT_GT(port, 0) << bbs.output();
  Caller caller(port);
  ASSERT_TRUE(caller.connected());
  ASSERT_TRUE(peer_.WaitFor("WinTls!", kStartMs))
      << "the door never joined; caller saw: " << caller.received();
  ASSERT_TRUE(caller.WaitFor("[#lobby]", kStepMs)) << caller.received();

  peer_.SendLine("PRIVMSG #lobby :sealed from linux");
  EXPECT_TRUE(caller.WaitFor("sealed from linux", kStepMs)) << caller.received();
  caller.Types("sealed from windows\r");
  EXPECT_TRUE(peer_.WaitFor("PRIVMSG #lobby :sealed from windows", kStepMs).has_value());

  caller.Types("/QUIT\r");
  EXPECT_TRUE(peer_.WaitFor("QUIT", kStepMs).has_value());
  EXPECT_EQ(bbs.WaitExit(kStepMs), 0) << bbs.output();
}

// Each case is one visit: the door either joins or shows the Linux door's reason and connects no
// further.
TEST_F(WineTls, CertificateChecksShowTheReasonToTheCaller) {
  struct Case {
    const char* name;
    std::string keys;
    const char* reason;  // nullptr: the visit goes on in #lobby
  };
  const Case cases[] = {
      {"checking off", "tlsverify=no\r\n", nullptr},
      {"self-signed, checked against the system's store", "tlsverify=yes\r\n",
       "TLS: certificate not trusted"},
      {"another certificate pinned, checking off",
       "tlsverify=no\r\ntlsfingerprint=" + std::string(64, 'A') + "\r\n",
       "TLS: certificate does not match tlsfingerprint"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WindowsBbs bbs(TlsIni(c.keys), {});
    const int port = bbs.WaitForPort();
    ASSERT_GT(port, 0) << bbs.output();
    Caller caller(port);
    ASSERT_TRUE(caller.connected());
    if (c.reason == nullptr) {
      EXPECT_TRUE(caller.WaitFor("[#lobby]", kStartMs)) << caller.received();
    } else {
      EXPECT_TRUE(caller.WaitFor(c.reason, kStartMs)) << caller.received();
      EXPECT_NE(caller.received().find("Unable to connect"), std::string::npos) << caller.received();
    }
    caller.Types("/QUIT\r");
    EXPECT_EQ(bbs.WaitExit(kStepMs), 0) << bbs.output();
  }
}

// With the certificate among the trusted roots of the Windows store, tlsverify = yes accepts it
// for the address on it and refuses it for a name that is not.
TEST_F(WineTls, TheWindowsStoreTrustsAnImportedRootForTheNamesOnIt) {
  ASSERT_TRUE(TrustInWindowsStore(cert_.cert_file()));
  const struct {
    const char* host;
    const char* reason;
  } cases[] = {
      {"127.0.0.1", nullptr},
      {"localhost", "TLS: certificate is for another host name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host);
    WindowsBbs bbs(TlsIni("tlsverify=yes\r\n", c.host), {});
    const int port = bbs.WaitForPort();
    ASSERT_GT(port, 0) << bbs.output();
    Caller caller(port);
    ASSERT_TRUE(caller.connected());
    EXPECT_TRUE(caller.WaitFor(c.reason == nullptr ? "[#lobby]" : c.reason, kStartMs)) << caller.received();
    caller.Types("/QUIT\r");
    EXPECT_EQ(bbs.WaitExit(kStepMs), 0) << bbs.output();
  }
}

// A trusted root outside its dates is refused with the reason that says which way.
TEST_F(WineTls, TheWindowsStoreRefusesARootOutsideItsDates) {
  const struct {
    const char* start;
    const char* end;
    const char* reason;
  } cases[] = {
      {"20200101000000Z", "20200201000000Z", "TLS: certificate expired"},
      {"21000101000000Z", "21000201000000Z", "TLS: certificate not valid yet"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    DatedCertificate dated(c.start, c.end);
    ASSERT_TRUE(dated.ok());
    ASSERT_TRUE(TrustInWindowsStore(dated.cert_file()));
    testsupport::NgircdServer server(ZELK_SOURCE_DIR "/tests/data/ngircd.conf");
    server.EnableTls(dated.cert_file(), dated.key_file());
    ASSERT_TRUE(server.Start()) << server.Log();
    WindowsBbs bbs("[general]\r\nhandle=WinTls\r\n[Dated]\r\n127.0.0.1=+" +
                       std::to_string(server.tls_port()) + "\r\ntlsverify=yes\r\n",
                   {});
    const int port = bbs.WaitForPort();
    ASSERT_GT(port, 0) << bbs.output();
    Caller caller(port);
    ASSERT_TRUE(caller.connected());
    EXPECT_TRUE(caller.WaitFor(c.reason, kStartMs)) << caller.received();
    caller.Types("/QUIT\r");
    EXPECT_EQ(bbs.WaitExit(kStepMs), 0) << bbs.output();
  }
}

// A server that speaks nothing newer than TLS 1.1 (openssl s_server) is refused, even with
// checking off.
TEST_F(WineTls, AServerWithoutTls12IsRefused) {
  const int tls11_port = testsupport::RefusingPort();
  testsupport::ChildProcess server;
  testsupport::ChildProcess::Options options;
  options.argv = {"/usr/bin/openssl",
                  "s_server",
                  "-quiet",
                  "-tls1_1",
                  "-cipher",
                  "DEFAULT@SECLEVEL=0",
                  "-cert",
                  cert_.cert_file(),
                  "-key",
                  cert_.key_file(),
                  "-accept",
                  "127.0.0.1:" + std::to_string(tls11_port)};
  options.out = options.err = testsupport::ChildProcess::Stream::WriteTo("/dev/null");
  ASSERT_TRUE(server.Start(std::move(options)));
  bool listening = false;
  for (int i = 0; i < 500 && !listening; ++i) {
    Caller probe(tls11_port);
    listening = probe.connected();
    if (!listening) usleep(10000);
  }
  if (listening) {
    WindowsBbs bbs("[general]\r\nhandle=WinTls\r\n[Old]\r\n127.0.0.1=+" + std::to_string(tls11_port) +
                       "\r\ntlsverify=no\r\n",
                   {});
    const int port = bbs.WaitForPort();
    ASSERT_GT(port, 0) << bbs.output();
    Caller caller(port);
    ASSERT_TRUE(caller.connected());
    EXPECT_TRUE(caller.WaitFor("TLS: handshake failed", kStartMs)) << caller.received();
    caller.Types("/QUIT\r");
    EXPECT_EQ(bbs.WaitExit(kStepMs), 0) << bbs.output();
  }
  server.Kill();
  ASSERT_TRUE(listening) << "openssl s_server did not start";
}

// A port that takes the connection and never answers the handshake: the door gives up after
// connecttimeout, and a caller who hangs up meanwhile ends the visit at once.
TEST_F(WineTls, ASilentTlsPortIsBoundedAndInterruptible) {
  int silent_port = 0;
  const int listener = testsupport::ListenLoopback(&silent_port);
  const std::string ini = "[general]\r\nhandle=WinTls\r\nconnecttimeout=2\r\n[Silent]\r\n127.0.0.1=+" +
                          std::to_string(silent_port) + "\r\ntlsverify=no\r\n";
  {
    WindowsBbs bbs(ini, {});
    const int port = bbs.WaitForPort();
    ASSERT_GT(port, 0) << bbs.output();
    Caller caller(port);
    ASSERT_TRUE(caller.connected());
    EXPECT_TRUE(caller.WaitFor("No answer within 2 seconds", kStartMs)) << caller.received();
    caller.Types("/QUIT\r");
    EXPECT_EQ(bbs.WaitExit(kStepMs), 0) << bbs.output();
    close(testsupport::AcceptWithin(listener, kStepMs));  // the connection given up
  }
  {
    WindowsBbs bbs(ini.substr(0, ini.find("connecttimeout")) + ini.substr(ini.find("[Silent]")), {});
    const int port = bbs.WaitForPort();
    ASSERT_GT(port, 0) << bbs.output();
    Caller caller(port);
    ASSERT_TRUE(caller.connected());
    // The handshake has begun once the silent port has the connection; connecttimeout is 30 s.
    const int accepted = testsupport::AcceptWithin(listener, kStartMs);
    ASSERT_GE(accepted, 0) << caller.received();
    caller.HangUp();
    EXPECT_EQ(bbs.WaitExit(kStepMs), 0) << bbs.output();
    close(accepted);
  }
  close(listener);
}

}  // namespace
