#include "ansi/local_ansi.h"
#include "door/door.h"
#include "door/program_end.h"
#include "platform/clock.h"
#include "platform/console.h"

namespace door {

int64_t Door::MsOfDay() {
  return env_.clock.MsOfDay();
}

int Door::SecondsOfDay() {
  return static_cast<int>(env_.clock.MsOfDay() / 1000);
}

int64_t Door::MonotonicMs() {
  return env_.clock.MonotonicMs();
}

int Door::VisitSeconds() {
  return static_cast<int>((MonotonicMs() - timers.session_start) / 1000);
}

int Door::IdleSeconds() {
  return static_cast<int>((MonotonicMs() - timers.idle_start) / 1000);
}

int Door::SecondsLeft() {
  return visit.time_left - VisitSeconds();
}

void Door::Tick() {
  // The BBS taking the node down ends the visit like a lost carrier, in both modes. Checked here
  // too, not only where keys are awaited, because a server that never pauses keeps the main loop
  // away from key waiting.
  if (env_.clock.TerminationRequested()) {
    if (!terminating_) {
      terminating_ = true;
      if (on_carrier_drop) on_carrier_drop();
    }
    EndProgram();
  }
  if (!timers.active && !timers.status_only) return;
  if (MonotonicMs() - timers.last_tick <= kTickMs) return;
  if (!timers.active) {
    if (on_status_bar) on_status_bar();
    timers.last_tick = MonotonicMs();
    return;
  }
  // Only a read notices that the caller has gone; while server data keeps the main loop busy
  // nothing else reads the caller's link.
  if (visit.HasCaller()) caller.Poll();
  const bool carrier = !visit.HasCaller() || caller.IsOpen();
  if (!carrier && on_carrier_drop) {
    on_carrier_drop();
    EndProgram();
  }
  if (on_status_bar) on_status_bar();
  if (on_idle_timeout && IdleSeconds() > timers.idle_limit) {
    on_idle_timeout();
    EndProgram();
  }
  if (on_time_expired && SecondsLeft() < 1) {
    on_time_expired();
    EndProgram();
  }
  timers.last_tick = MonotonicMs();
}

void Door::ShowCarrierDropped() {
  // Local console only: the caller is gone.
  env_.local_ansi.SetConsoleAttr(0x0F);
  env_.console.ClrScr();
  env_.console.Write("\r\n   Caller Dropped Carrier.  Returning To BBS...\r\n");
  Delay(1500);
}

void Door::ShowIdleTimeout() {
  DoorSetForeground(15);
  DoorSetBackground(0);
  DoorClearScreen();
  DoorNewLine();
  DoorWriteLn("  Idle Time Limit Exceeded.  Returning To BBS...");
  Delay(1500);
}

void Door::ShowTimeExpired() {
  DoorSetForeground(15);
  DoorSetBackground(0);
  DoorClearScreen();
  DoorNewLine();
  DoorWriteLn("  Your Time Has Expired.  Returning To BBS...");
  Delay(1500);
}

}  // namespace door
