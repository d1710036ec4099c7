#include "idle_phase.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "door_fleet.h"
#include "support/irc_peer.h"
#include "support/ngircd.h"

namespace bench {
namespace {

// Doors of a fleet on their way to the channel at once (below ngircd's listen backlog of 10).
constexpr int kInFlight = 8;

// What is measured in the window: one door or a fleet, with /proc figures before and after.
struct Subject {
  Subject(std::string kind_, bool tls_, std::string channel_)
      : kind(std::move(kind_)), tls(tls_), channel(std::move(channel_)) {}
  std::string kind;  // "idle", "tls idle", "scale 250", "tls scale 250"
  bool tls = false;
  std::string channel;
  bool single = false;
  std::unique_ptr<DoorFleet> fleet;
  double joined_ms = -1;  // fleets: first exec until every caller shows the channel
  ProcStats before, after;

  ProcStats Read() const { return fleet->Total(); }
  double count() const { return static_cast<double>(fleet->size()); }
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

  // One door of each kind, then the fleets, each in a channel of its own.
  std::vector<Subject> subjects;
  for (const bool fleet : {false, true}) {
    for (const bool tls : {false, true}) {
      if ((tls && !options.tls) || (fleet ? options.fleet_size <= 0 : !options.single)) continue;
      const std::string size = std::to_string(options.fleet_size);
      Subject s(fleet ? (tls ? "tls scale " : "scale ") + size : (tls ? "tls idle" : "idle"), tls,
                fleet ? (tls ? "#tlsnodes" : "#nodes") : (tls ? "#tlslobby" : "#lobby"));
      s.single = !fleet;
      s.fleet = std::make_unique<DoorFleet>(IniFor(port_for(tls), tls, "channels=" + s.channel + "\n"));
      const auto start = SteadyClock::now();
      const double last_ms = s.fleet->StartAll(fleet ? options.fleet_size : 1,
                                               fleet ? (tls ? "Tnode" : "Pnode") : (tls ? "Tsolo" : "Psolo"),
                                               "[" + s.channel + "] ", kInFlight, 60000);
      s.joined_ms = MsSince(start);
      if (last_ms < 0) {
        std::fprintf(stderr, "%s: what the callers that never joined received last:\n%s", s.kind.c_str(),
                     s.fleet->MissingTails().c_str());
        rows.push_back({s.kind + ": " + std::to_string(s.fleet->missing()) + " doors did not join in 60 s",
                        "-",
                        "",
                        {}});
        continue;
      }
      if (fleet) {
        rows.push_back({s.kind + ": first exec to last door joined", Format("%.0f ms", s.joined_ms),
                        "<= 10000 ms", s.joined_ms <= 10000});
      }
      subjects.push_back(std::move(s));
    }
  }
  if (subjects.empty()) return;

  // Someone in every channel, to talk to the fleets after the window.
  testsupport::IrcPeer bob;
  const bool bob_ok = bob.Register(ngircd.port(), "Bob");
  for (const Subject& s : subjects) {
    if (bob_ok && !s.single) {
      bob.SendLine("JOIN " + s.channel);
      bob.WaitFor(" 366 ", 5000);
    }
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  for (Subject& s : subjects) {
    s.fleet->Drain();
    s.before = s.Read();
  }
  const auto window = SteadyClock::now();
  std::this_thread::sleep_for(std::chrono::seconds(options.seconds));
  for (Subject& s : subjects) s.after = s.Read();
  const double elapsed_s = MsSince(window) / 1000.0;
  rows.push_back({"idle window (all idle rows at once)", Format("%.1f s", elapsed_s), "", {}});

  for (Subject& s : subjects) {
    if (s.single) {
      AddSingleRows(s, elapsed_s, plain, rows);
      continue;
    }
    AddFleetRows(s, elapsed_s, rows);
    if (!bob_ok) continue;
    s.fleet->Drain();
    const std::string marker = "zzAll" + s.channel.substr(1) + "zz";
    const int64_t cpu_before = s.fleet->Total().cpu_ns;
    bob.SendLine("PRIVMSG " + s.channel + " :" + marker);
    const double ms = s.fleet->WaitAllFor(marker, 10000);
    const double cpu_ms = (s.fleet->Total().cpu_ns - cpu_before) / 1e6;
    rows.push_back({s.kind + ": a channel line until all callers have it (CPU of all doors)",
                    ms < 0 ? std::to_string(s.fleet->missing()) + " missed"
                           : Format("%.1f ms", ms) + Format(" (%.1f)", cpu_ms),
                    "<= 100 ms", ms >= 0 && ms <= 100});
  }
}

}  // namespace bench
