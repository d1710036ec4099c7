// zelkbbs: a small stand-in for a Linux BBS. It listens for telnet callers on a loopback port and
// starts the door for each one in the style a real BBS uses:
//
//   socket  the caller's own TCP socket is inherited, named with -H<fd> (raw telnet passes through,
//           as WWIV and Magicka hand it over); with --dropfile in a DOOR32.SYS (comm type 2)
//   stdio   the door runs on a pseudo-terminal left in cooked mode, as Mystic, WWIV and Maximus NG
//           do; the BBS answers telnet itself and relays decoded keys; -S, or with --dropfile a
//           DOOR32.SYS naming handle 0 (standard input), as Mystic writes it
//   pipes   standard input and output are pipes, relayed like stdio; -S
//   port    the door connects back to a loopback TCP port the BBS listens on (-P<port>), as
//           ENiGMA and WWIV do; the relay passes the caller's raw telnet through
//   unix    the same over a Unix-domain socket path (-U<path>)
//
// Each caller gets node number N and, without a drop file, the handle "Guest N" (-A). Every
// connect, hang-up and door ending is logged on standard output with the time since the hang-up;
// in the stdio style the log also says whether the door left the terminal's modes as it found them.
//
//   zelkbbs [--port 2323] [--door build/zelkirc] [--style socket|stdio|pipes|port|unix]
//           [--dropfile] [--minutes 60]
//
// --port 0 picks a free port; the first line of the log names it. Then: telnet 127.0.0.1 2323
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "net/telnet.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

enum class Style { kSocket, kStdio, kPipes, kPort, kUnix };

struct StyleName {
  const char* name;
  Style style;
};
constexpr StyleName kStyles[] = {{"socket", Style::kSocket},
                                 {"stdio", Style::kStdio},
                                 {"pipes", Style::kPipes},
                                 {"port", Style::kPort},
                                 {"unix", Style::kUnix}};

struct Options {
  int port = 2323;
  std::string door = "build/zelkirc";
  Style style = Style::kSocket;
  bool drop_file = false;
  int minutes = 60;
};

[[noreturn]] void Usage() {
  std::fprintf(stderr,
               "usage: zelkbbs [--port N] [--door PATH] [--style socket|stdio|pipes|port|unix] [--dropfile] "
               "[--minutes N]\n");
  std::exit(2);
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--port") {
      o.port = std::atoi(value().c_str());
    } else if (a == "--door") {
      o.door = value();
    } else if (a == "--style") {
      const std::string name = value();
      bool known = false;
      for (const StyleName& s : kStyles) {
        if (name == s.name) {
          o.style = s.style;
          known = true;
        }
      }
      if (!known) Usage();
    } else if (a == "--dropfile") {
      o.drop_file = true;
    } else if (a == "--minutes") {
      o.minutes = std::atoi(value().c_str());
    } else {
      Usage();
    }
  }
  return o;
}

void Log(int node, const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::printf("zelkbbs: node %d: %s\n", node, text);
  std::fflush(stdout);
}

void WriteAll(int fd, const char* data, size_t len) {
  while (len > 0) {
    ssize_t n = write(fd, data, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data += n;
    len -= static_cast<size_t>(n);
  }
}

// One node: the caller, the door's process and what connects them.
class Node {
 public:
  Node(const Options& o, int caller, int number) : o_(o), caller_(caller), number_(number) {}

  void Run() {
    // Only the socket style hands the caller's own socket to the door.
    if (o_.style != Style::kSocket) fcntl(caller_, F_SETFD, FD_CLOEXEC);
    switch (o_.style) {
      case Style::kSocket:
        RunSocket();
        break;
      case Style::kStdio:
        RunPty();
        break;
      case Style::kPipes:
        RunPipes();
        break;
      case Style::kPort:
      case Style::kUnix:
        RunConnectBack();
        break;
    }
    // The node's drop file goes with it.
    if (!drop_dir_.empty()) {
      unlink((drop_dir_ + "/door32.sys").c_str());
      rmdir(drop_dir_.c_str());
    }
  }

 private:
  // Arguments naming the caller's details: a drop file, or the node and a handle.
  std::vector<std::string> DetailArgs(int handle_in_drop_file) {
    if (o_.drop_file) {
      const std::string dir = "/tmp/zelkbbs-" + std::to_string(getppid()) + "-node" + std::to_string(number_);
      mkdir(dir.c_str(), 0700);
      drop_dir_ = dir;
      const std::string path = dir + "/door32.sys";
      std::ofstream(path) << "2\n"
                          << handle_in_drop_file << "\n115200\nzelkbbs\n"
                          << number_ << "\nCaller " << number_ << "\nCaller" << number_ << "\n10\n"
                          << o_.minutes << "\n1\n"
                          << number_ << "\n";
      return {"-D" + path};
    }
    return {"-N" + std::to_string(number_), "-AGuest " + std::to_string(number_)};
  }

  // Starts the door with args; in the child, stdin_fd and stdout_fd become descriptors 0 and 1
  // (-1: /dev/null), keep_fd stays open across exec, and with pty_path the door gets a session of
  // its own whose controlling terminal is that pseudo-terminal.
  void StartDoor(std::vector<std::string> args, int stdin_fd, int stdout_fd, int keep_fd = -1,
                 const std::string& pty_path = "") {
    std::string door = o_.door;
    std::vector<char*> argv;
    argv.push_back(door.data());
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    door_ = fork();
    if (door_ != 0) return;
    const int null_fd = open("/dev/null", O_RDWR);
    if (!pty_path.empty()) {
      setsid();
      const int tty = open(pty_path.c_str(), O_RDWR);  // becomes the controlling terminal
      if (tty < 0) _exit(126);
      stdin_fd = stdout_fd = tty;
      dup2(tty, 2);
    }
    dup2(stdin_fd >= 0 ? stdin_fd : null_fd, 0);
    dup2(stdout_fd >= 0 ? stdout_fd : null_fd, 1);
    if (keep_fd >= 0) fcntl(keep_fd, F_SETFD, 0);
    execv(argv[0], argv.data());
    std::perror("exec");
    _exit(127);
  }

  // Inherited socket: the door owns the caller now; the node only watches for the hang-up
  // (without reading) and for the door's end.
  void RunSocket() {
    std::vector<std::string> args = DetailArgs(caller_);
    if (!o_.drop_file) args.insert(args.begin(), "-H" + std::to_string(caller_));
    StartDoor(args, -1, -1, caller_);
    bool hung_up = false;
    while (!DoorEnded(50)) {
      pollfd p{caller_, POLLRDHUP, 0};
      if (!hung_up && poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) {
        hung_up = true;
        LogHangUp();
      }
    }
    close(caller_);
  }

  void RunPty() {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return Fail("no pseudo-terminal");
    const std::string slave = ptsname(master);
    termios before{};
    tcgetattr(master, &before);  // the kernel's cooked defaults, left as they are
    std::vector<std::string> args = DetailArgs(0);
    if (!o_.drop_file) args.insert(args.begin(), "-S");
    NegotiateWithCaller();
    StartDoor(args, -1, -1, -1, slave);
    const bool hung_up = Relay(master, master, /*decode=*/true);
    if (!hung_up) {
      termios after{};
      tcgetattr(master, &after);
      const bool same = after.c_lflag == before.c_lflag && after.c_iflag == before.c_iflag &&
                        after.c_oflag == before.c_oflag;
      WaitDoor();
      Log(number_, "terminal modes %s", same ? "restored" : "NOT restored");
    }
    close(master);  // the door's terminal hangs up: SIGHUP
    WaitDoor();
    close(caller_);
  }

  void RunPipes() {
    int keys[2], screen[2];
    if (pipe2(keys, O_CLOEXEC) != 0 || pipe2(screen, O_CLOEXEC) != 0) return Fail("no pipes");
    std::vector<std::string> args = DetailArgs(-1);
    args.insert(args.begin(), "-S");
    NegotiateWithCaller();
    StartDoor(args, keys[0], screen[1]);
    close(keys[0]);
    close(screen[1]);
    Relay(screen[0], keys[1], /*decode=*/true);
    close(keys[1]);  // end of input for the door
    WaitDoor();
    close(screen[0]);
    close(caller_);
  }

  void RunConnectBack() {
    int listener;
    std::string option;
    std::string path;
    if (o_.style == Style::kPort) {
      listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      socklen_t length = sizeof address;
      if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener, 1) != 0)
        return Fail("cannot listen for the door");
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
      option = "-P" + std::to_string(ntohs(address.sin_port));
    } else {
      path = "/tmp/zelkbbs-" + std::to_string(getpid()) + ".sock";
      unlink(path.c_str());
      listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
      if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
          listen(listener, 1) != 0)
        return Fail("cannot listen for the door");
      option = "-U" + path;
    }
    std::vector<std::string> args = DetailArgs(-1);
    args.insert(args.begin(), option);
    StartDoor(args, -1, -1);
    pollfd p{listener, POLLIN, 0};
    const int door_link = poll(&p, 1, 10000) == 1 ? accept4(listener, nullptr, nullptr, SOCK_CLOEXEC) : -1;
    close(listener);
    if (!path.empty()) unlink(path.c_str());
    if (door_link < 0) {
      Log(number_, "the door did not connect back");
    } else {
      Log(number_, "door connected back");
      Relay(door_link, door_link, /*decode=*/false);
      close(door_link);  // end of stream for the door
    }
    WaitDoor();
    close(caller_);
  }

  // The BBS's own telnet offers, for the styles where it talks telnet with the caller itself.
  void NegotiateWithCaller() { WriteAll(caller_, "\xFF\xFB\x01\xFF\xFB\x03", 6); }

  // Copies the caller's keys to door_in and the door's screen from door_out to the caller until
  // one side ends. With decode, telnet is taken off the keys and 0xFF doubled on the screen.
  // Returns true when the caller hung up first.
  bool Relay(int door_out, int door_in, bool decode) {
    net::TelnetDecoder decoder;
    std::string data;
    char buf[16384];
    for (;;) {
      pollfd p[2] = {{caller_, POLLIN, 0}, {door_out, POLLIN, 0}};
      if (poll(p, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      if (p[0].revents) {
        const ssize_t n = read(caller_, buf, sizeof buf);
        if (n <= 0) {
          LogHangUp();
          return true;
        }
        data.clear();
        if (decode) {
          decoder.Decode(std::string_view(buf, static_cast<size_t>(n)), data);
        } else {
          data.assign(buf, static_cast<size_t>(n));
        }
        WriteAll(door_in, data.data(), data.size());
      }
      if (p[1].revents) {
        const ssize_t n = read(door_out, buf, sizeof buf);
        if (n <= 0) return false;  // the door has gone (EIO on a pseudo-terminal)
        data.clear();
        if (decode) {
          net::TelnetEscape(std::string_view(buf, static_cast<size_t>(n)), data);
        } else {
          data.assign(buf, static_cast<size_t>(n));
        }
        WriteAll(caller_, data.data(), data.size());
      }
    }
  }

  void LogHangUp() {
    hang_up_ = SteadyClock::now();
    hung_up_ = true;
    Log(number_, "caller hung up");
  }

  bool DoorEnded(int wait_ms) {
    const auto until = SteadyClock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
      int status = 0;
      const pid_t got = waitpid(door_, &status, WNOHANG);
      if (got == door_ || got < 0) {
        door_ = -1;
        if (WIFEXITED(status) && hung_up_) {
          const double after = std::chrono::duration<double>(SteadyClock::now() - hang_up_).count();
          Log(number_, "door ended with exit code %d (%.3f s after the hang-up)", WEXITSTATUS(status), after);
        } else if (WIFEXITED(status)) {
          Log(number_, "door ended with exit code %d", WEXITSTATUS(status));
        } else {
          Log(number_, "door ended by signal %d", WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        }
        return true;
      }
      if (SteadyClock::now() >= until) return false;
      usleep(5000);
    }
  }

  void WaitDoor() {
    while (door_ > 0 && !DoorEnded(1000)) {
    }
  }

  void Fail(const char* what) { Log(number_, "%s", what); }

  const Options& o_;
  int caller_;
  int number_;
  pid_t door_ = -1;
  bool hung_up_ = false;
  SteadyClock::time_point hang_up_;
  std::string drop_dir_;  // the node's own folder for its drop file, if it made one
};

}  // namespace

int main(int argc, char** argv) {
  Options o = ParseOptions(argc, argv);
  signal(SIGCHLD, SIG_IGN);  // nodes are reaped automatically
  signal(SIGPIPE, SIG_IGN);
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(o.port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t addr_length = sizeof addr;
  if (bind(listener, reinterpret_cast<sockaddr*>(&addr), addr_length) != 0 || listen(listener, 8) != 0) {
    std::perror("listen");
    return 1;
  }
  getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &addr_length);
  std::printf("zelkbbs: waiting for telnet callers on 127.0.0.1:%d (door %s)\n", ntohs(addr.sin_port),
              o.door.c_str());
  std::fflush(stdout);
  for (int number = 1;; ++number) {
    sockaddr_in from{};
    socklen_t from_length = sizeof from;
    // Inherited by the door in the socket style: no close-on-exec.
    const int caller = accept(listener, reinterpret_cast<sockaddr*>(&from), &from_length);
    if (caller < 0) continue;
    Log(number, "caller connected from %s:%d", inet_ntoa(from.sin_addr), ntohs(from.sin_port));
    if (fork() == 0) {
      close(listener);
      signal(SIGCHLD, SIG_DFL);  // the node waits for its door
      Node(o, caller, number).Run();
      _exit(0);
    }
    close(caller);  // the node has its own copy
  }
}
