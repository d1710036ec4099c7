// Lines the caller typed go to the server at a pace that flood limits accept: the pacing queue
// decides when, this file sends them and tells the caller how many lines the queue had to drop.
#include <string>

#include "door/door.h"
#include "irc/client/client.h"

namespace irc {
namespace {

constexpr std::string_view kNotConnected = "Not connected: line not sent";

}  // namespace

void Client::SendTyped(std::string_view line) {
  if (!server_link.IsOpen()) {
    RefuseLine();
    return;
  }
  if (send_pacer.Push(std::string(line), door_.MonotonicMs())) resume_notes_.NoteSent(line);
  SendDueLines();
}

void Client::RefuseLine() {
  ShowStatus(kNotConnected);
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
    // The server has gone: nothing left to pace, no reason to wake. A lost link counts the lines
    // first, to say how many were not sent.
    if (!session.linked()) send_pacer.Reset();
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
