#include "door/door.h"

#include <algorithm>
#include <utility>

#include "door/text_helpers.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/terminal.h"

namespace door {

Door::Door(DoorEnv env) : env_(std::move(env)) {}

void Door::DoorInit() {
  caller.Init();
  comm_type = 0;
  caller_socket = -1;
  baud = 0;
  bbs_name.clear();
  user_record = 1;
  user_real_name.clear();
  user_handle.clear();
  security_level = 0;
  time_left = 0;
  emulation = 1;
  node = 0;
  last_key = 0;
  last_key_extended = false;
  last_key_source = 0;
  idle_start = 0;
  chat_active = false;
  idle_limit = 300;
  timers_active = false;
  last_tick = 0;
  session_start = 0;
  status_mode_count = 2;
  status_mode = 1;

  on_chat = [this] { DefaultChat(); };
  on_carrier_drop = [this] { ShowCarrierDropped(); };
  on_local_login = [this] { DefaultLocalLogin(); };
  on_status_bar = [this] { DrawDefaultStatusLine(); };
  on_idle_timeout = [this] { ShowIdleTimeout(); };
  on_time_expired = [this] { ShowTimeExpired(); };
}

void Door::Present() {
  if (env_.terminal != nullptr) env_.terminal->Present(env_.console);
}

void Door::Delay(int ms) {
  Present();
  env_.clock.Sleep(ms);
}

void Door::WaitForEvent(std::span<platform::WaitFd> extra) {
  Present();
  wait_fds_.clear();
  int key_index = -1;
  // Input already buffered must not be slept on; normally the key test has returned it before.
  const bool pending = env_.console.KeyPressed() || (comm_type != 0 && !caller.Buffer().empty());
  // A closed link is left out: its end of stream has been seen, and the tick reports the loss.
  if (comm_type != 0 && caller.IsOpen() && caller.Buffer().empty()) wait_fds_.push_back({.fd = caller.Fd()});
  if (env_.terminal != nullptr) {
    key_index = static_cast<int>(wait_fds_.size());
    wait_fds_.push_back({.fd = env_.terminal->KeyFd()});
  }
  const size_t extra_start = wait_fds_.size();
  wait_fds_.insert(wait_fds_.end(), extra.begin(), extra.end());

  int timeout_ms = -1;
  if (timers_active) {
    // The tick fires once more than kTickMs have passed.
    const int64_t elapsed = MsSince(last_tick, MsOfDay());
    timeout_ms = static_cast<int>(std::clamp<int64_t>(kTickMs + 1 - elapsed, 0, kTickMs + 1));
  }
  if (pending) timeout_ms = 0;

  env_.clock.Wait(wait_fds_, timeout_ms);

  std::copy(wait_fds_.begin() + static_cast<std::ptrdiff_t>(extra_start), wait_fds_.end(), extra.begin());
  if (key_index >= 0 && wait_fds_[key_index].readable) env_.terminal->PumpKeys(env_.console);
}

void Door::AddExitProc(Hook proc) {
  exit_procs_.push_back(std::move(proc));
}

void Door::RunExitProcs() {
  // Taken off the list before it runs, so that each runs once even if one ends the program again.
  while (!exit_procs_.empty()) {
    Hook proc = std::move(exit_procs_.back());
    exit_procs_.pop_back();
    if (proc) proc();
  }
}

}  // namespace door
