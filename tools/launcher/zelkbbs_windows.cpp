// zelkbbs.exe: a tiny stand-in for a Windows BBS. It listens for telnet callers on a loopback port
// and starts the door for each one the way a Windows BBS does: the connected socket handle is made
// inheritable, and the door is started with -H<handle> (or with -D and a DOOR32.SYS whose second
// line holds the handle).
//
//   zelkbbs [--port 2323] [--door zelkirc.exe] [--dropfile] [--minutes 60] [--once] [--headless]
//
// --port 0 picks a free port; the line "waiting for telnet callers on 127.0.0.1:PORT" names it.
// --once serves one caller, waits for the door and exits with the door's exit code.
// --headless starts the door without a console of its own (standard handles on NUL), as a
// service-run BBS does; otherwise each door gets a new console window for the sysop.
#include <winsock2.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

struct Options {
  int port = 2323;
  std::string door = "zelkirc.exe";
  bool drop_file = false;
  int minutes = 60;
  bool once = false;
  bool headless = false;
};

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--port") {
      o.port = std::atoi(value().c_str());
    } else if (a == "--door") {
      o.door = value();
    } else if (a == "--dropfile") {
      o.drop_file = true;
    } else if (a == "--minutes") {
      o.minutes = std::atoi(value().c_str());
    } else if (a == "--once") {
      o.once = true;
    } else if (a == "--headless") {
      o.headless = true;
    } else {
      std::fprintf(
          stderr,
          "usage: zelkbbs [--port N] [--door PATH] [--dropfile] [--minutes N] [--once] [--headless]\n");
      std::exit(2);
    }
  }
  return o;
}

std::string WriteDropFile(const Options& o, unsigned long long handle, int node) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  const std::string dir = std::string(temp) + "zelkbbs-node" + std::to_string(node);
  CreateDirectoryA(dir.c_str(), nullptr);
  const std::string path = dir + "\\DOOR32.SYS";
  std::ofstream(path) << "2\n"
                      << handle << "\n115200\nzelkbbs\n"
                      << node << "\nCaller " << node << "\nCaller" << node << "\n10\n"
                      << o.minutes << "\n1\n"
                      << node << "\n";
  return path;
}

// Starts the door for the caller on socket s; returns its process handle (nullptr on failure).
HANDLE StartDoor(const Options& o, SOCKET s, int node) {
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  const unsigned long long handle = static_cast<unsigned long long>(s);
  std::string command = "\"" + o.door + "\"";
  if (o.drop_file) {
    command += " -D" + WriteDropFile(o, handle, node);
  } else {
    command += " -H" + std::to_string(handle) + " -N" + std::to_string(node);
  }
  STARTUPINFOA si{};
  si.cb = sizeof si;
  DWORD flags = CREATE_NEW_CONSOLE;
  HANDLE null_file = INVALID_HANDLE_VALUE;
  if (o.headless) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    null_file = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                            OPEN_EXISTING, 0, nullptr);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = null_file;
    flags = CREATE_NO_WINDOW;
  }
  PROCESS_INFORMATION pi{};
  const BOOL ok =
      CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr, &si, &pi);
  if (null_file != INVALID_HANDLE_VALUE) CloseHandle(null_file);
  if (!ok) {
    std::fprintf(stderr, "zelkbbs: cannot start %s (error %lu)\n", o.door.c_str(), GetLastError());
    return nullptr;
  }
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

// Waits for the door, then lets go of our copy of the caller's socket (the BBS owns it until the
// door has ended). Returns the door's exit code.
DWORD FinishDoor(HANDLE process, SOCKET s, int node) {
  WaitForSingleObject(process, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  closesocket(s);
  std::printf("zelkbbs: door on node %d ended with exit code %lu\n", node, code);
  std::fflush(stdout);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = ParseOptions(argc, argv);
  WSADATA data;
  WSAStartup(MAKEWORD(2, 0), &data);
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  SetHandleInformation(reinterpret_cast<HANDLE>(listener), HANDLE_FLAG_INHERIT,
                       0);  // doors get only their caller
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(o.port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listener, 8) != 0) {
    std::fprintf(stderr, "zelkbbs: cannot listen on 127.0.0.1:%d (error %d)\n", o.port, WSAGetLastError());
    return 1;
  }
  int len = sizeof addr;
  getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  std::printf("zelkbbs: waiting for telnet callers on 127.0.0.1:%d (door %s)\n", ntohs(addr.sin_port),
              o.door.c_str());
  std::fflush(stdout);
  for (int node = 1;; ++node) {
    const SOCKET s = accept(listener, nullptr, nullptr);
    if (s == INVALID_SOCKET) continue;
    std::printf("zelkbbs: caller on node %d\n", node);
    std::fflush(stdout);
    const HANDLE process = StartDoor(o, s, node);
    if (process == nullptr) {
      closesocket(s);
      if (o.once) return 1;
      continue;
    }
    if (o.once) return static_cast<int>(FinishDoor(process, s, node));
    std::thread([process, s, node] { FinishDoor(process, s, node); }).detach();
  }
}
