// zelkbbs: a tiny stand-in for a Linux BBS. It listens for telnet callers on a loopback port and
// starts the door for each one the way a BBS does: the connected socket is inherited and named
// with -H<fd> (or written into a DOOR32.SYS drop file named with -D).
//
//   zelkbbs [--port 2323] [--door build/zelkirc] [--dropfile] [--minutes 60]
//
// Then: telnet 127.0.0.1 2323
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

struct Options {
  int port = 2323;
  std::string door = "build/zelkirc";
  bool drop_file = false;
  int minutes = 60;
};

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--port") {
      o.port = std::atoi(value().c_str());
    } else if (a == "--door") {
      o.door = value();
    } else if (a == "--dropfile") {
      o.drop_file = true;
    } else if (a == "--minutes") {
      o.minutes = std::atoi(value().c_str());
    } else {
      std::fprintf(stderr, "usage: zelkbbs [--port N] [--door PATH] [--dropfile] [--minutes N]\n");
      std::exit(2);
    }
  }
  return o;
}

void StartDoor(const Options& o, int fd, int node) {
  pid_t pid = fork();
  if (pid != 0) return;
  int null_fd = open("/dev/null", O_RDWR);
  dup2(null_fd, 0);
  dup2(null_fd, 1);  // the caller is on the socket; the door must not draw on our terminal
  std::string handle = "-H" + std::to_string(fd);
  std::string node_arg = "-N" + std::to_string(node);
  if (o.drop_file) {
    std::string dir = "/tmp/zelkbbs-node" + std::to_string(node);
    mkdir(dir.c_str(), 0700);
    std::string path = dir + "/door32.sys";
    std::ofstream(path) << "2\n"
                        << fd << "\n115200\nzelkbbs\n"
                        << node << "\nCaller " << node << "\nCaller" << node << "\n10\n"
                        << o.minutes << "\n1\n"
                        << node << "\n";
    std::string d = "-D" + path;
    execl(o.door.c_str(), o.door.c_str(), d.c_str(), static_cast<char*>(nullptr));
  } else {
    execl(o.door.c_str(), o.door.c_str(), handle.c_str(), node_arg.c_str(), static_cast<char*>(nullptr));
  }
  std::perror("exec");
  _exit(127);
}

}  // namespace

int main(int argc, char** argv) {
  Options o = ParseOptions(argc, argv);
  signal(SIGCHLD, SIG_IGN);  // doors are reaped automatically
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(o.port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listener, 8) != 0) {
    std::perror("listen");
    return 1;
  }
  std::printf("zelkbbs: waiting for telnet callers on 127.0.0.1:%d (door %s)\n", o.port, o.door.c_str());
  std::fflush(stdout);
  for (int node = 1;; ++node) {
    int fd = accept(listener, nullptr, nullptr);  // inherited by the door: no close-on-exec
    if (fd < 0) continue;
    std::printf("zelkbbs: caller on node %d\n", node);
    std::fflush(stdout);
    StartDoor(o, fd, node);
    close(fd);  // the door has its own copy
  }
}
