#include "idle_phase.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "door_fleet.h"
#include "support/door_process.h"
#include "support/irc_peer.h"
#include "support/ngircd.h"

namespace bench {
namespace {

using testsupport::DoorProcess;

// Doors of a fleet on their way to the channel at once (below ngircd's listen backlog of 10).
constexpr int kInFlight = 8;

// What is measured in the window: one door or a fleet, with /proc figures before and after.
struct Subject {
  Subject(std::string kind_, bool tls_, std::string channel_)
      : kind(std::move(kind_)), tls(tls_), channel(std::move(channel_)) {}
  std::string kind;  // "idle", "tls idle", "scale 250", "tls scale 250"
  bool tls = false;
  std::string channel;
  std::unique_ptr<DoorProcess> door;
  std::unique_ptr<DoorFleet> fleet;
  double joined_ms = -1;  // fleets: first exec until every caller shows the channel
  ProcStats before, after;

  ProcStats Read() const { return fleet ? fleet->Total() : ReadProcStats(door->pid()); }
  double count() const { return fleet ? static_cast<double>(fleet->size()) : 1.0; }
};

void AddSingleRows(const Subject& s, double elapsed_s, PlainFigures& plain, std::vector<Row>& rows) {
  const double cpu_ms_per_30s = (s.after.cpu_ns - s.before.cpu_ns) / 1e6 * 30.0 / elapsed_s;
  const double wakeups = (s.after.voluntary_switches - s.before.voluntary_switches) / elapsed_s;
  rows.push_back(
      {s.kind + ": CPU per 30 s", Format("%.3f ms", cpu_ms_per_30s), "<= 2 ms", cpu_ms_per_30s <= 2.0});
  rows.push_back(
      {s.kind + ": wakeups (voluntary switches) per s", Format("%.2f", wakeups), "<= 1.5", wakeups <= 1.5});
  const double rss_mb = s.after.rss_kb / 1024.0;
  const double dirty_mb = s.after.private_dirty_kb / 1024.0;
  const double clean_mb = s.after.private_clean_kb / 1024.0;
  if (!s.tls) {
    plain.idle_private_kb = s.after.private_dirty_kb;
    rows.push_back({s.kind + ": RSS", Format("%.2f MB", rss_mb), "<= 4 MB", rss_mb <= 4.0});
    rows.push_back({s.kind + ": private memory (Private_Dirty)", Format("%.2f MB", dirty_mb), "", {}});
    return;
  }
  rows.push_back({s.kind + ": RSS", Format("%.2f MB", rss_mb), "", {}});
  if (plain.idle_private_kb > 0) {
    const double more_mb = (s.after.private_dirty_kb - plain.idle_private_kb) / 1024.0;
    rows.push_back({s.kind + ": private memory (Private_Dirty)",
                    Format("%.2f MB", dirty_mb) + Format(" (+%.2f)", more_mb), "<= +1 MB", more_mb <= 1.0});
  } else {
    rows.push_back({s.kind + ": private memory (Private_Dirty)", Format("%.2f MB", dirty_mb), "", {}});
  }
  rows.push_back(
      {s.kind + ": code mapped by no other process (Private_Clean)", Format("%.2f MB", clean_mb), "", {}});
}

void AddFleetRows(const Subject& s, double elapsed_s, std::vector<Row>& rows) {
  const double cpu_ms_per_30s = (s.after.cpu_ns - s.before.cpu_ns) / 1e6 * 30.0 / elapsed_s;
  const double wakeups = (s.after.voluntary_switches + s.after.involuntary_switches -
                          s.before.voluntary_switches - s.before.involuntary_switches) /
                         elapsed_s;
  const double pss_mb = s.after.pss_kb / 1024.0 / s.count();
  const double dirty_mb = s.after.private_dirty_kb / 1024.0 / s.count();
  const double pss_target = s.tls ? 1.5 : 1.0;
  rows.push_back({s.kind + ": idle CPU of all per 30 s", Format("%.3f ms", cpu_ms_per_30s), "<= 50 ms",
                  cpu_ms_per_30s <= 50.0});
  rows.push_back(
      {s.kind + ": idle wakeups of all per s (vol+invol)", Format("%.2f", wakeups), "<= 1", wakeups <= 1.0});
  rows.push_back({s.kind + ": PSS per door", Format("%.2f MB", pss_mb), Format("<= %.1f MB", pss_target),
                  pss_mb <= pss_target});
  rows.push_back({s.kind + ": private memory per door (Private_Dirty)", Format("%.2f MB", dirty_mb), "", {}});
}

}  // namespace

void MeasureIdlePhase(const IdleOptions& options, PlainFigures& plain, std::vector<Row>& rows) {
  using testsupport::NgircdServer;
  if (!NgircdServer::Available()) {
    rows.push_back({"idle: ngircd not installed, skipped", "-", "", {}});
    return;
  }
  RaiseDescriptorLimit();  // before the server starts: it inherits the limit
  NgircdServer ngircd(ZELK_SOURCE_DIR "/bench/ngircd-scale.conf");
  if (options.tls) ngircd.EnableTls(BenchCertificate().cert_file(), BenchCertificate().key_file());
  if (!ngircd.Start()) {
    rows.push_back({"idle: ngircd did not start", "-", "", {}});
    return;
  }
  const auto port_for = [&](bool tls) { return tls ? ngircd.tls_port() : ngircd.port(); };

  std::vector<Subject> subjects;
  for (const bool tls : {false, true}) {
    if (tls && !options.tls) continue;
    if (options.single) {
      Subject s(tls ? "tls idle" : "idle", tls, "#lobby");
      s.door = std::make_unique<DoorProcess>(IniFor(port_for(tls), tls, "channels=#lobby\n"));
      s.door->StartWithCaller();
      if (!s.door->CallerWaitFor("[#lobby] ", 10000)) {
        rows.push_back({s.kind + ": the door did not join", "-", "", {}});
        continue;
      }
      subjects.push_back(std::move(s));
    }
  }
  for (const bool tls : {false, true}) {
    if (options.fleet_size <= 0 || (tls && !options.tls)) continue;
    const std::string size = std::to_string(options.fleet_size);
    Subject s((tls ? "tls scale " : "scale ") + size, tls, tls ? "#tlsnodes" : "#nodes");
    s.fleet = std::make_unique<DoorFleet>(IniFor(port_for(tls), tls, "channels=" + s.channel + "\n"));
    const auto start = SteadyClock::now();
    const double last_ms = s.fleet->StartAll(options.fleet_size, tls ? "Tnode" : "Pnode",
                                             "[" + s.channel + "] ", kInFlight, 60000);
    s.joined_ms = MsSince(start);
    if (last_ms < 0) {
      std::fprintf(stderr, "%s: what the callers that never joined received last:\n%s", s.kind.c_str(),
                   s.fleet->MissingTails().c_str());
      rows.push_back(
          {s.kind + ": " + std::to_string(s.fleet->missing()) + " doors did not join in 60 s", "-", "", {}});
      continue;
    }
    rows.push_back({s.kind + ": first exec to last door joined", Format("%.0f ms", s.joined_ms),
                    "<= 10000 ms", s.joined_ms <= 10000});
    subjects.push_back(std::move(s));
  }
  if (subjects.empty()) return;

  // Someone in every channel, to talk to the fleets after the window.
  testsupport::IrcPeer bob;
  const bool bob_ok = bob.Register(ngircd.port(), "Bob");
  for (const Subject& s : subjects) {
    if (bob_ok && s.fleet) {
      bob.SendLine("JOIN " + s.channel);
      bob.WaitFor(" 366 ", 5000);
    }
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  for (Subject& s : subjects) {
    if (s.fleet) s.fleet->Drain();
    s.before = s.Read();
  }
  const auto window = SteadyClock::now();
  std::this_thread::sleep_for(std::chrono::seconds(options.seconds));
  for (Subject& s : subjects) s.after = s.Read();
  const double elapsed_s = MsSince(window) / 1000.0;
  rows.push_back({"idle window (all idle rows at once)", Format("%.1f s", elapsed_s), "", {}});

  for (Subject& s : subjects) {
    if (!s.fleet) {
      AddSingleRows(s, elapsed_s, plain, rows);
      continue;
    }
    AddFleetRows(s, elapsed_s, rows);
    if (!bob_ok) continue;
    s.fleet->Drain();
    const std::string marker = "zzAll" + s.channel.substr(1) + "zz";
    bob.SendLine("PRIVMSG " + s.channel + " :" + marker);
    const double ms = s.fleet->WaitAllFor(marker, 10000);
    rows.push_back({s.kind + ": a channel line until all callers have it",
                    ms < 0 ? std::to_string(s.fleet->missing()) + " missed" : Format("%.1f ms", ms),
                    "<= 100 ms", ms >= 0 && ms <= 100});
  }
  for (Subject& s : subjects) {
    if (s.door) {
      s.door->CallerTypes("/quit\r");
      s.door->WaitExit(5000);
    }
  }
}

}  // namespace bench
