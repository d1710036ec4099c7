#include "support/door_fixture.h"

#include "support/sockets.h"

namespace testsupport {

DoorFixture::DoorFixture(bool connect_caller, std::vector<std::string> args) {
  door = std::make_unique<door::Door>(
      door::DoorEnv{console, clock, local_ansi, nullptr, std::move(args), "/tmp/zelkirc"});
  door->DoorInit();
  if (!connect_caller) return;
  auto [door_end, caller_end] = SocketPair();
  caller_fd = caller_end;
  door->visit.caller_socket = door_end;
  door->visit.comm_type = door::CommType::kTelnet;
  door->caller.Adopt(door_end);
  console.SetWindow(1, 1, 80, 24);
  door->timers.idle_start = door->MonotonicMs();
  door->timers.active = true;
  door->timers.last_tick = door->MonotonicMs() - 1000;
  door->timers.session_start = door->MonotonicMs();
  CallerReceived();  // the telnet offers
}

DoorFixture::~DoorFixture() {
  if (door && door->visit.caller_socket >= 0) {
    door->caller.Close(false);
    CloseSocket(door->visit.caller_socket);
  }
  if (caller_fd >= 0) CloseSocket(caller_fd);
}

void DoorFixture::CallerTypes(std::string_view bytes) {
  WriteAll(caller_fd, bytes);
}

std::string DoorFixture::CallerReceived() {
  return caller_fd < 0 ? std::string() : ReadAvailable(caller_fd, 0);
}

std::string DoorFixture::CursorRowText() const {
  std::string row = console.RowText(console.CursorRow());
  return row.substr(0, row.find_last_not_of(' ') + 1);
}

void DoorFixture::DropCarrier() {
  if (caller_fd >= 0) CloseSocket(caller_fd);
  caller_fd = -1;
}

}  // namespace testsupport
