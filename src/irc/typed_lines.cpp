// Lines the caller typed go to the server at a pace that flood limits accept: the pacing queue
// decides when, this file sends them and tells the caller when the queue had to drop one.
#include "door/door.h"
#include "irc/client.h"

namespace irc {
namespace {

constexpr std::string_view kDroppedNotice = "Too many lines waiting to be sent; lines dropped";

}  // namespace

void Client::SendTyped(std::string_view line) {
  if (!server_link.IsOpen()) return;  // nowhere to send: dropped as on a closed link
  if (send_pacer.Push(std::string(line), door_.MonotonicMs()) == SendPacer::Pushed::kDropped) {
    ShowStatus(kDroppedNotice);
  }
  SendDueLines();
}

void Client::SendDueLines() {
  if (send_pacer.queued() == 0) return;
  if (!server_link.IsOpen()) {
    send_pacer.Reset();  // the server has gone: nothing left to pace, no reason to wake
    return;
  }
  std::string line;
  const int64_t now = door_.MonotonicMs();
  while (send_pacer.TakeDue(now, &line)) server_link.SendLine(line);
}

int64_t Client::MsUntilNextSend() {
  return send_pacer.MsUntilDue(door_.MonotonicMs());
}

}  // namespace irc
