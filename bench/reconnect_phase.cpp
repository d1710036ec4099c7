#include "reconnect_phase.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>

#include "bench_setup.h"
#include "door_fleet.h"
#include "support/door_process.h"
#include "support/ngircd.h"

namespace bench {
namespace {

using testsupport::DoorProcess;
using testsupport::NgircdServer;

constexpr int kInFlight = 8;  // doors of a fleet on their way at once (ngircd listens with a backlog of 10)

// Waits until the caller has received needle after the first `from` bytes; its position or npos.
size_t CallerSeesAfter(DoorProcess& door, size_t from, std::string_view needle, int timeout_ms) {
  const auto start = SteadyClock::now();
  for (;;) {
    const size_t at = door.CallerReceived().find(needle, from);
    if (at != std::string::npos || MsSince(start) > timeout_ms) return at;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void MeasureOneDoor(NgircdServer& ngircd, std::vector<Row>& rows) {
  DoorProcess door(IniFor(ngircd.port(), false, "channels=#lobby\n"));
  door.StartWithCaller();
  if (!door.CallerWaitFor("[#lobby] ", 5000)) {
    rows.push_back({"reconnect: the door did not join", "-", "", {}});
    return;
  }
  const size_t mark = door.CallerReceived().size();
  ngircd.Stop();
  const std::string_view announced = "Reconnecting in ";
  const size_t at = CallerSeesAfter(door, mark, announced, 5000);
  if (at == std::string::npos || !ngircd.Restart()) {
    rows.push_back({"reconnect: no reconnect announced, or ngircd did not start again", "-", "", {}});
    return;
  }
  const auto back = SteadyClock::now();
  const int wait_s = std::atoi(door.CallerReceived().c_str() + at + announced.size());
  if (CallerSeesAfter(door, mark, "has joined #lobby", 30000) == std::string::npos) {
    rows.push_back({"reconnect: the door did not rejoin within 30 s", "-", "", {}});
    return;
  }
  const double ms = MsSince(back);
  rows.push_back({"reconnect: server back until the caller sees the channel (announced wait " +
                      std::to_string(wait_s) + " s)",
                  Format("%.0f ms", ms), "<= wait + 1000 ms", ms <= wait_s * 1000.0 + 1000});
  door.CallerTypes("/quit\r");
  door.WaitExit(5000);
}

void MeasureFleet(NgircdServer& ngircd, int fleet_size, std::vector<Row>& rows) {
  const std::string kind = "reconnect " + std::to_string(fleet_size);
  DoorFleet fleet(IniFor(ngircd.port(), false, "channels=#nodes\n"));
  if (fleet.StartAll(fleet_size, "Rnode", "[#nodes] ", kInFlight, 60000) < 0) {
    rows.push_back(
        {kind + ": " + std::to_string(fleet.missing()) + " doors did not join in 60 s", "-", "", {}});
    return;
  }
  fleet.Drain();
  ngircd.Stop();
  if (!ngircd.Restart()) {
    rows.push_back({kind + ": ngircd did not start again", "-", "", {}});
    return;
  }
  // Each caller's own join is followed by the channel's names, which only the one joining gets.
  // ("[Users(#nodes:250)]" in its colours: dark grey, light green, dark grey, green).
  const double ms = fleet.WaitAllFor("Users\x1B[1;30m(\x1B[0;32m#nodes", 120000);
  if (ms < 0) {
    std::fprintf(stderr, "%s: what the callers that never rejoined received last:\n%s", kind.c_str(),
                 fleet.MissingTails().c_str());
    rows.push_back({kind + ": " + std::to_string(fleet.missing()) + " doors not back within 2 minutes", "-",
                    "<= 120000 ms", false});
  } else {
    rows.push_back({kind + ": server restarted until the last caller sees the channel", Format("%.0f ms", ms),
                    "<= 120000 ms", ms <= 120000});
  }
  fleet.Stop(5000);
}

}  // namespace

void MeasureReconnect(bool single, int fleet_size, std::vector<Row>& rows) {
  if (!NgircdServer::Available()) {
    rows.push_back({"reconnect: ngircd not installed, skipped", "-", "", {}});
    return;
  }
  RaiseDescriptorLimit();  // before the server starts: it inherits the limit
  NgircdServer ngircd(ZELK_SOURCE_DIR "/bench/ngircd-scale.conf");
  if (!ngircd.Start()) {
    rows.push_back({"reconnect: ngircd did not start", "-", "", {}});
    return;
  }
  if (single) MeasureOneDoor(ngircd, rows);
  if (fleet_size > 0) MeasureFleet(ngircd, fleet_size, rows);
}

}  // namespace bench
