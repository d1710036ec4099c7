// Lines the caller typed go to the server at a pace that flood limits accept: the pacing queue
// decides when, this file sends them and tells the caller how many lines the queue had to drop.
#include <string>

#include "door/door.h"
#include "irc/client.h"

namespace irc {

void Client::SendTyped(std::string_view line) {
  if (!server_link.IsOpen()) return;  // nowhere to send: dropped as on a closed link
  send_pacer.Push(std::string(line), door_.MonotonicMs());
  SendDueLines();
}

bool Client::AdmitTyped(size_t count) {
  return !server_link.IsOpen() || send_pacer.Admit(count);
}

void Client::ReportDroppedLines() {
  const size_t dropped = send_pacer.TakeDropped();
  if (dropped == 0) return;
  ShowStatus("Too many lines waiting to be sent; " + std::to_string(dropped) +
             (dropped == 1 ? " line dropped" : " lines dropped"));
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
