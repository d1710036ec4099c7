// Lines the caller typed go to the server at a pace that flood limits accept: the pacing queue
// decides when, this file sends them and tells the caller when the queue had to drop one.
#include "door/door.h"
#include "irc/client.h"

namespace irc {
namespace {

constexpr std::string_view kDroppedNotice = "Too many lines waiting to be sent; lines dropped";
constexpr std::string_view kNotConnected = "Not connected: line not sent";

}  // namespace

void Client::SendTyped(std::string_view line) {
  if (!server_link.IsOpen()) {
    RefuseLine();
    return;
  }
  const SendPacer::Pushed pushed = send_pacer.Push(std::string(line), door_.MonotonicMs());
  if (pushed == SendPacer::Pushed::kDropped) ShowStatus(kDroppedNotice);
  if (pushed == SendPacer::Pushed::kQueued) resume_notes.NoteSent(line);
  SendDueLines();
}

void Client::RefuseLine() {
  ShowStatus(kNotConnected);
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
