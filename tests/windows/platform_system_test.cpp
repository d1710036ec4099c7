// The Windows platform layer against Windows itself (under Wine in the test run): Winsock sockets
// on loopback, the one wait, the clock, the regional formats, the ident server's window and the
// first steps of a TLS session.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "irc/client/date_time.h"
#include "platform/clock.h"
#include "platform/connecting.h"
#include "platform/ident_window.h"
#include "platform/locale.h"
#include "platform/tls.h"
#include "platform/transport.h"
#include "support/sockets.h"

namespace platform {
namespace {

// A connected loopback TCP pair: the door's end (as a BBS would hand it over) and the peer's.
class LoopbackPair {
 public:
  LoopbackPair() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 0), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(listener_, 4);
    int len = sizeof addr;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    peer = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    connect(peer, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    door_end = accept(listener_, nullptr, nullptr);
  }
  ~LoopbackPair() {
    if (peer != INVALID_SOCKET) closesocket(peer);
    if (door_end != INVALID_SOCKET) closesocket(door_end);
    closesocket(listener_);
    WSACleanup();
  }
  void PeerSends(const std::string& text) { send(peer, text.data(), static_cast<int>(text.size()), 0); }
  std::string PeerReads(int timeout_ms) {
    std::string out;
    char buf[65536];
    for (;;) {
      fd_set reads;
      FD_ZERO(&reads);
      FD_SET(peer, &reads);
      timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
      if (select(0, &reads, nullptr, nullptr, &tv) <= 0) break;
      const int n = recv(peer, buf, sizeof buf, 0);
      if (n <= 0) break;
      out.append(buf, static_cast<size_t>(n));
      timeout_ms = 0;
    }
    return out;
  }

  int port = 0;
  SOCKET peer = INVALID_SOCKET;
  SOCKET door_end = INVALID_SOCKET;

 private:
  SOCKET listener_ = INVALID_SOCKET;
};

int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since)
      .count();
}

TEST(WindowsTransport, AdoptedSocketCarriesBytesBothWaysAndReportsTheHangUp) {
  LoopbackPair pair;
  auto t = AdoptSocket(static_cast<int>(pair.door_end));
  ASSERT_NE(t, nullptr);
  t->SetBlocking(true);
  EXPECT_EQ(t->WaitReadable(0), Readiness::kTimeout);
  char buf[64];
  EXPECT_EQ(t->RecvNow(buf, sizeof buf).status, IoStatus::kWouldBlock);

  ASSERT_EQ(t->Send("hello", 5).bytes, 5u);
  EXPECT_EQ(pair.PeerReads(2000), "hello");
  pair.PeerSends("typed");
  EXPECT_EQ(t->WaitReadable(2000), Readiness::kReady);
  ASSERT_EQ(t->Recv(buf, sizeof buf).bytes, 5u);
  EXPECT_EQ(std::string(buf, 5), "typed");

  closesocket(pair.peer);
  pair.peer = INVALID_SOCKET;
  EXPECT_EQ(t->WaitReadable(2000), Readiness::kReady);
  EXPECT_EQ(t->Recv(buf, sizeof buf).status, IoStatus::kClosed);  // the caller hung up
  t->Close(false);                                                // the BBS's socket is only forgotten
  EXPECT_EQ(t->WaitReadable(0), Readiness::kError);
}

TEST(WindowsTransport, SendNowStopsWhenTheSocketIsFullAndLeavesItBlocking) {
  LoopbackPair pair;
  auto t = AdoptSocket(static_cast<int>(pair.door_end));
  ASSERT_NE(t, nullptr);
  t->SetBlocking(true);
  const std::string chunk(65536, 'x');
  long total = 0;
  IoResult sent;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 4096 && (sent = t->SendNow(chunk.data(), chunk.size())).ok(); ++i)
    total += static_cast<long>(sent.bytes);
  EXPECT_EQ(sent.status, IoStatus::kWouldBlock) << "a peer that reads nothing must fill the socket";
  EXPECT_GT(total, 0);
  EXPECT_LT(ElapsedMs(start), 10000);
  // Still blocking afterwards: the wait for writability ends only once the peer reads.
  WaitFd w{.fd = static_cast<int>(pair.door_end), .want_read = false, .want_write = true};
  EXPECT_EQ(PollFds(std::span<WaitFd>(&w, 1), 0), 0);
  std::string drained = pair.PeerReads(200);
  while (!drained.empty() && static_cast<long>(drained.size()) < total) {
    std::string more = pair.PeerReads(200);
    if (more.empty()) break;
    drained += more;
  }
  EXPECT_EQ(static_cast<long>(drained.size()), total);
  EXPECT_EQ(PollFds(std::span<WaitFd>(&w, 1), 2000), 1);
  EXPECT_TRUE(w.writable);
}

// Drives a connection being opened through the one wait, as the server link's dialer does.
Progress DriveConnect(TcpConnecting& connecting) {
  const auto start = std::chrono::steady_clock::now();
  Progress p = connecting.Continue();
  while ((p == Progress::kWantRead || p == Progress::kWantWrite) && ElapsedMs(start) < 10000) {
    WaitFd w{.fd = connecting.Fd(),
             .want_read = p == Progress::kWantRead,
             .want_write = p == Progress::kWantWrite};
    PollFds(std::span<WaitFd>(&w, 1), 1000);
    p = connecting.Continue();
  }
  return p;
}

// A name service that knows one name, so that the lookup on the helper thread asks no real one.
bool TestLookup(const std::string& host, unsigned char (&address)[4]) {
  if (host != "irc.example.test") return false;
  const unsigned char loopback[4] = {127, 0, 0, 1};
  std::memcpy(address, loopback, 4);
  return true;
}

TEST(WindowsConnecting, OpensByAddressByLocalhostAndByALookedUpName) {
  LoopbackPair pair;
  for (const char* host : {"127.0.0.1", "LocalHost", "irc.example.test"}) {
    auto connecting = StartTcpConnect(host, pair.port, TestLookup);
    ASSERT_EQ(DriveConnect(*connecting), Progress::kDone) << host;
    EXPECT_EQ(connecting->Fd(), -1);
    auto t = connecting->Take();
    ASSERT_NE(t, nullptr) << host;
    EXPECT_EQ(t->Send("x", 1).bytes, 1u) << "blocking and connected";
  }
  auto unknown = StartTcpConnect("unknown.example.test", pair.port, TestLookup);
  EXPECT_EQ(DriveConnect(*unknown), Progress::kFailed);
}

TEST(WindowsConnecting, RefusesBadNamesAndReportsAClosedPort) {
  for (const char* host : {"", "no such host", "tab\there"}) {
    EXPECT_EQ(StartTcpConnect(host, 6667)->Continue(), Progress::kFailed) << host;
  }
  auto connecting = StartTcpConnect("127.0.0.1", testsupport::RefusingPort());
  EXPECT_EQ(DriveConnect(*connecting), Progress::kFailed);
  EXPECT_EQ(connecting->Take(), nullptr);
}

// The SChannel session without a TLS server: what its first step sends, and how it ends when the
// peer is no TLS server. Whole handshakes run in the Wine smoke test against ngircd.
TEST(WindowsTls, TheClientHelloNamesTheServerOnlyForAName) {
  const struct {
    const char* host;
    bool named;
  } cases[] = {{"irc.example.net", true}, {"127.0.0.1", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host);
    LoopbackPair pair;
    auto tls =
        StartTls(OwnSocket(static_cast<int>(pair.door_end)), TlsSettings{.host = c.host, .verify = false});
    pair.door_end = INVALID_SOCKET;  // the session owns it now
    ASSERT_NE(tls, nullptr);
    EXPECT_EQ(tls->Handshake(), Progress::kWantRead);
    const std::string hello = pair.PeerReads(2000);
    ASSERT_GE(hello.size(), 6u);
    EXPECT_EQ(hello[0], '\x16');  // a handshake record
    EXPECT_EQ(hello[5], '\x01');  // holding a ClientHello
    EXPECT_EQ(hello.find("irc.example.net") != std::string::npos, c.named);
    // Nothing more to do until the server answers.
    EXPECT_EQ(tls->Handshake(), Progress::kWantRead);
    EXPECT_EQ(tls->failure(), TlsFailure::kNone);
    tls->Close(true);
  }
}

TEST(WindowsTls, APlainServerOrAHangUpFailsTheHandshake) {
  for (const bool hang_up : {false, true}) {
    SCOPED_TRACE(hang_up ? "hang-up" : "plain server");
    LoopbackPair pair;
    auto tls = StartTls(OwnSocket(static_cast<int>(pair.door_end)), TlsSettings{.host = "localhost"});
    pair.door_end = INVALID_SOCKET;
    ASSERT_EQ(tls->Handshake(), Progress::kWantRead);
    pair.PeerReads(2000);
    if (hang_up) {
      closesocket(pair.peer);
      pair.peer = INVALID_SOCKET;
    } else {
      pair.PeerSends(":irc.test NOTICE * :*** Looking up your hostname\r\n");
    }
    Progress progress = Progress::kWantRead;
    for (int i = 0; i < 200 && progress == Progress::kWantRead; ++i) {
      progress = tls->Handshake();
      if (progress == Progress::kWantRead) Sleep(10);
    }
    EXPECT_EQ(progress, Progress::kFailed);
    EXPECT_EQ(tls->failure(), TlsFailure::kHandshake);
    // A failed session reads and writes nothing.
    char c;
    EXPECT_EQ(tls->RecvNow(&c, 1).status, IoStatus::kError);
    EXPECT_EQ(tls->SendNow("x", 1).status, IoStatus::kError);
  }
}

TEST(WindowsWait, WakesForDataAndOtherwiseSleepsTheTimeout) {
  LoopbackPair pair;
  SystemClock clock;
  WaitFd w{.fd = static_cast<int>(pair.door_end)};
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(clock.Wait(std::span<WaitFd>(&w, 1), 150), 0);
  EXPECT_FALSE(w.readable);
  EXPECT_GE(ElapsedMs(start), 100);

  pair.PeerSends("x");
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(clock.Wait(std::span<WaitFd>(&w, 1), 5000), 1);
  EXPECT_TRUE(w.readable);
  EXPECT_LT(ElapsedMs(start), 4000);

  // The socket is back in blocking mode after the wait: a blocking receive returns the byte.
  char c = 0;
  EXPECT_EQ(recv(pair.door_end, &c, 1, 0), 1);
  u_long non_blocking = 0;
  EXPECT_EQ(ioctlsocket(pair.door_end, FIONBIO, &non_blocking), 0);
}

TEST(WindowsClock, AgreesWithTheCLibrary) {
  SystemClock clock;
  EXPECT_LE(std::abs(clock.UnixSeconds() - static_cast<int64_t>(std::time(nullptr))), 2);
  const int64_t ms = clock.MsOfDay();
  EXPECT_GE(ms, 0);
  EXPECT_LT(ms, 86'400'000);
  SYSTEMTIME t{};
  GetLocalTime(&t);
  const int64_t local_s = t.wHour * 3600 + t.wMinute * 60 + t.wSecond;
  EXPECT_LE(std::abs(local_s - ms / 1000), 2) << "or midnight passed during the test";
}

// Windows' own formatting of a date and a time in the user's regional settings.
std::string WindowsDateTime(const SYSTEMTIME& t) {
  char date[128], time[128];
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, date, sizeof date);
  GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &t, nullptr, time, sizeof time);
  return std::string(date) + " " + time;
}

TEST(WindowsLocale, DateTimeTextMatchesWindowsOwnFormatting) {
  const LocaleTimeInfo info = ReadLocaleTimeInfo();
  ASSERT_TRUE(info.loaded);
  char picture[128] = {0};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT, picture, sizeof picture);
  const std::string time_picture = picture;
  // The time text is built from the clock, leading-zero and separator settings; Windows' own
  // formatting follows the time picture, which agrees with them in the usual pictures.
  if (time_picture != "h:mm:ss tt" && time_picture != "hh:mm:ss tt" && time_picture != "H:mm:ss" &&
      time_picture != "HH:mm:ss") {
    GTEST_SKIP() << "time picture " << time_picture;
  }
  const irc::DateTimeFormat format = irc::DateTimeFormat::FromLocale(info);
  const SYSTEMTIME times[] = {
      {2024, 3, 0, 9, 13, 5, 7, 0},
      {1999, 12, 0, 31, 0, 0, 1, 0},
      {2030, 1, 0, 2, 9, 59, 59, 0},
  };
  for (const SYSTEMTIME& t : times) {
    FILETIME ft;
    SystemTimeToFileTime(&t, &ft);
    const int64_t ticks = (static_cast<int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    const double unix_seconds = static_cast<double>(ticks / 10'000'000 - 11'644'473'600LL);
    EXPECT_EQ(irc::DateTimeText(irc::UnixToLocal(unix_seconds, 0), format), WindowsDateTime(t));
  }
}

TEST(WindowsLocale, TimeZoneBiasIsTheOffsetOfLocalTimeNow) {
  SYSTEMTIME utc{}, local{};
  GetSystemTime(&utc);
  GetLocalTime(&local);
  FILETIME fu, fl;
  SystemTimeToFileTime(&utc, &fu);
  SystemTimeToFileTime(&local, &fl);
  auto minutes = [](const FILETIME& f) {
    return ((static_cast<int64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 600'000'000;
  };
  const int64_t utc_minus_local = minutes(fu) - minutes(fl);
  EXPECT_LE(std::abs(TimeZoneBiasMinutes() - utc_minus_local), 1);
}

// A stand-in ident server: a window of the class the door looks for, recording its messages.
struct IdentMessage {
  UINT message = 0;
  std::string system, user;
};
IdentMessage g_received;

LRESULT CALLBACK IdentWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_USER + 101) {
    char system[256] = {0}, user[256] = {0};
    GlobalGetAtomNameA(static_cast<ATOM>(wparam), system, sizeof system);
    GlobalGetAtomNameA(static_cast<ATOM>(lparam), user, sizeof user);
    g_received = {message, system, user};
    GlobalDeleteAtom(static_cast<ATOM>(wparam));
    GlobalDeleteAtom(static_cast<ATOM>(lparam));
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

TEST(WindowsIdent, NoWindowMeansNoNotification) {
  EXPECT_EQ(FindIdentWindow(), 0);
  NotifyIdentWindow(0, "Wolf", "Win32");  // nothing to send to, nothing happens
}

TEST(WindowsIdent, TheServerWindowReceivesBothAtoms) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = IdentWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TfrmZelkIdentD";
  RegisterClassA(&wc);
  HWND window =
      CreateWindowA("TfrmZelkIdentD", "ident", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
  if (window == nullptr) GTEST_SKIP() << "no window station to create a window in";
  const int found = FindIdentWindow();
  EXPECT_NE(found, 0);
  NotifyIdentWindow(found, "Wolf", "Win32");
  EXPECT_EQ(g_received.message, static_cast<UINT>(0x465));
  EXPECT_EQ(g_received.system, "Win32");
  EXPECT_EQ(g_received.user, "Wolf");
  DestroyWindow(window);
  UnregisterClassA("TfrmZelkIdentD", wc.hInstance);
}

}  // namespace
}  // namespace platform
