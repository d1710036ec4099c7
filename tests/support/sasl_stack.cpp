#include "support/sasl_stack.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "support/irc_peer.h"
#include "support/sockets.h"

namespace testsupport {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::string_view kIrcdName = "irc.sasl.test";
constexpr std::string_view kServicesName = "services.sasl.test";
constexpr std::string_view kLinkPassword = "linkpw";
constexpr std::string_view kServicesModules = "/usr/lib/x86_64-linux-gnu/atheme/";

// The modules of a modern network: every IRCv3 capability the server has, names with every prefix
// and address, and channel history (mode +H) replayed with its times.
constexpr std::string_view kIrcv3Modules[] = {
    "ircv3",           "ircv3_servertime",
    "ircv3_capnotify", "ircv3_accounttag",
    "ircv3_chghost",   "ircv3_invitenotify",
    "ircv3_ctctags",   "ircv3_msgid",
    "ircv3_batch",     "namesx",
    "uhnames",         "setname",
    "chanhistory",
};

// Only what a SASL login and a WEBIRC gateway need: CAP and SASL, the services link, WEBIRC from
// loopback, no DNS beyond loopback, no ident, no throttling of a test's connections.
std::string IrcdConf(const std::string& dir, int client_port, int link_port, int tls_port,
                     const SaslStack::Options& options) {
  std::ostringstream c;
  c << "<server name=\"" << kIrcdName << "\" description=\"SASL test server\" network=\"SaslTest\">\n"
    << "<admin name=\"test\" nick=\"test\" email=\"test@localhost\">\n"
    << "<bind address=\"127.0.0.1\" port=\"" << client_port << "\" type=\"clients\">\n"
    << "<bind address=\"127.0.0.1\" port=\"" << link_port << "\" type=\"servers\">\n"
    << "<connect allow=\"*\" resolvehostnames=\"no\" useident=\"no\" localmax=\"1000\" "
       "globalmax=\"1000\" maxlocal=\"1000\" maxglobal=\"1000\" threshold=\"1000\" commandrate=\"100000\" "
       "fakelag=\"no\" pingfreq=\"600\" timeout=\"30\">\n"
    << "<dns server=\"127.0.0.1\" timeout=\"1\">\n"
    << "<path configdir=\"" << dir << "\" datadir=\"" << dir << "\" logdir=\"" << dir
    << "\" moduledir=\"/usr/lib/inspircd/modules\">\n"
    << "<pid file=\"" << dir << "/inspircd.pid\">\n"
    << "<files motd=\"" << dir << "/motd.txt\">\n"
    << "<module name=\"cap\">\n<module name=\"sasl\">\n<module name=\"services_account\">\n"
    << "<module name=\"spanningtree\">\n"
    << "<sasl target=\"" << kServicesName << "\" requiressl=\"no\">\n"
    << "<link name=\"" << kServicesName << "\" ipaddr=\"127.0.0.1\" port=\"" << link_port
    << "\" allowmask=\"127.0.0.1\" sendpass=\"" << kLinkPassword << "\" recvpass=\"" << kLinkPassword
    << "\">\n"
    << "<uline server=\"" << kServicesName << "\" silent=\"yes\">\n"
    << "<module name=\"cgiirc\">\n"
    << "<cgihost type=\"webirc\" password=\"" << SaslStack::kWebircPassword
    << "\" hash=\"plaintext\" mask=\"127.0.0.1\">\n";
  if (options.ircv3) {
    for (std::string_view name : kIrcv3Modules) c << "<module name=\"" << name << "\">\n";
    c << "<chanhistory maxlines=\"50\" notice=\"no\" prefixmsg=\"no\">\n"
      << "<security announceinvites=\"all\">\n"
      << "<class name=\"all\" commands=\"*\" privs=\"*\" usermodes=\"*\" chanmodes=\"*\">\n"
      << "<type name=\"admin\" classes=\"all\">\n"
      << "<oper name=\"" << SaslStack::kOperName << "\" password=\"" << SaslStack::kOperPassword
      << "\" host=\"*@127.0.0.1\" type=\"admin\">\n";
  }
  if (tls_port != 0) {
    c << "<module name=\"ssl_gnutls\">\n<module name=\"sslinfo\">\n"
      << "<sslprofile name=\"clients\" provider=\"gnutls\" certfile=\"" << options.tls_cert_file
      << "\" keyfile=\"" << options.tls_key_file << "\" requestclientcert=\"no\">\n"
      << "<bind address=\"127.0.0.1\" port=\"" << tls_port << "\" type=\"clients\" sslprofile=\"clients\">\n"
      << "<module name=\"ircv3_sts\">\n"
      << "<sts host=\"*\" port=\"" << tls_port << "\" duration=\"300\" preload=\"no\">\n";
  }
  return c.str();
}

// NickServ registration without e-mail checks and without its rate limit, SaslServ with PLAIN.
std::string ServicesConf(int link_port, bool scram) {
  std::ostringstream c;
  c << "loadmodule \"modules/protocol/inspircd\";\n"
    << "loadmodule \"modules/backend/opensex\";\n"
    << "loadmodule \"modules/crypto/pbkdf2v2\";\n"
    << "loadmodule \"modules/nickserv/main\";\n"
    << "loadmodule \"modules/nickserv/register\";\n"
    << "loadmodule \"modules/saslserv/main\";\n"
    << "loadmodule \"modules/saslserv/plain\";\n";
  // Passwords kept as SCRAM hashes, which both PLAIN and SCRAM logins check.
  if (scram) {
    c << "loadmodule \"" << SaslStack::kScramModule << "\";\n"
      << "crypto {\n  pbkdf2v2_digest = \"SCRAM-SHA-256\";\n  pbkdf2v2_rounds = 10000;\n};\n";
  }
  c << "serverinfo {\n  name = \"" << kServicesName << "\";\n  desc = \"SASL test services\";\n"
    << "  numeric = \"00A\";\n  recontime = 1;\n  netname = \"SaslTest\";\n"
    << "  hidehostsuffix = \"users.sasl.test\";\n  adminname = \"test\";\n  adminemail = "
       "\"test@localhost\";\n"
    << "  registeremail = \"test@localhost\";\n  loglevel = { error; };\n  maxlogins = 5;\n"
    << "  maxusers = 1000;\n  mdlimit = 30;\n  emaillimit = 1000;\n  emailtime = 300;\n  auth = none;\n"
    << "  casemapping = rfc1459;\n};\n"
    << "uplink \"" << kIrcdName << "\" {\n  host = \"127.0.0.1\";\n  port = " << link_port << ";\n"
    << "  send_password = \"" << kLinkPassword << "\";\n  receive_password = \"" << kLinkPassword
    << "\";\n};\n"
    << "nickserv {\n  nick = \"NickServ\";\n  user = \"NickServ\";\n  host = \"" << kServicesName << "\";\n"
    << "  real = \"Nickname Services\";\n  maxnicks = 5;\n  expire = 30;\n};\n"
    << "saslserv {\n  nick = \"SaslServ\";\n  user = \"SaslServ\";\n  host = \"" << kServicesName << "\";\n"
    << "  real = \"SASL Authentication Agent\";\n};\n"
    << "general {\n  ratelimit_uses = 1000;\n  ratelimit_period = 60;\n  commit_interval = 5;\n};\n";
  return c.str();
}

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

}  // namespace

bool SaslStack::Available() {
  return access(kIrcd, X_OK) == 0 && access(kServices, X_OK) == 0;
}

bool SaslStack::ScramAvailable() {
  return access((std::string(kServicesModules) + kScramModule + ".so").c_str(), R_OK) == 0;
}

SaslStack::~SaslStack() {
  Stop();
  if (!dir_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
}

bool SaslStack::Launch(ChildProcess& process, std::vector<std::string> args, const std::string& log_name,
                       bool faked_clock) {
  ChildProcess::Options options;
  options.argv = std::move(args);
  // With a faked clock, the offset is read from its file at every look at the clock, and timers
  // keep the real one.
  if (faked_clock) {
    options.env["LD_PRELOAD"] = kFakeTime;
    options.env["FAKETIME_TIMESTAMP_FILE"] = dir_ + "/clock.txt";
    options.env["FAKETIME_NO_CACHE"] = "1";
    options.env["FAKETIME_DONT_FAKE_MONOTONIC"] = "1";
  }
  options.working_dir = dir_;
  options.out = options.err = ChildProcess::Stream::WriteTo(dir_ + "/" + log_name);
  // InspIRCd with some modules crashes as it exits: no core file, and none in the test's folder.
  options.no_core_file = true;
  return process.Start(std::move(options));
}

bool SaslStack::OffersSasl() {
  IrcPeer peer;
  if (!peer.Connect(client_port_)) return false;
  peer.SendLine("CAP LS 302");
  // A long list comes in lines "CAP * LS * :..." before the last one.
  for (int line = 0; line < 8; ++line) {
    std::optional<std::string> listing = peer.WaitFor(" LS ", 1000);
    if (!listing) return false;
    // "sasl" alone, or "sasl=PLAIN,EXTERNAL", as a word of the list after " :".
    const size_t list = listing->find(" :");
    if (list == std::string::npos) return false;
    std::istringstream words(listing->substr(list + 2));
    for (std::string word; words >> word;) {
      if (word == "sasl") return true;
      if (word.starts_with("sasl=")) {
        mechanisms_ = word.substr(5);
        return true;
      }
    }
    if (listing->find(" LS * :") == std::string::npos) return false;
  }
  return false;
}

bool SaslStack::Start() {
  if (ircd_.Running() || !Available()) return false;
  std::string pattern = "/tmp/zelk_sasl_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return false;
  dir_ = pattern;
  chmod(dir_.c_str(), 0755);
  close(ListenLoopback(&client_port_));
  close(ListenLoopback(&link_port_));
  if (!options_.tls_cert_file.empty() && !options_.tls_key_file.empty()) close(ListenLoopback(&tls_port_));
  if (!WriteText(dir_ + "/inspircd.conf", IrcdConf(dir_, client_port_, link_port_, tls_port_, options_)) ||
      !WriteText(dir_ + "/atheme.conf", ServicesConf(link_port_, options_.scram && ScramAvailable())) ||
      !WriteText(dir_ + "/motd.txt", "Welcome\n")) {
    return false;
  }
  std::vector<std::string> ircd_args = {kIrcd, "--config", dir_ + "/inspircd.conf", "--nofork"};
  if (geteuid() == 0) ircd_args.emplace_back("--runasroot");
  const bool faked_clock = options_.movable_clock && access(kFakeTime, R_OK) == 0;
  if (faked_clock && !SetClockOffset("+0")) return false;
  if (!Launch(ircd_, std::move(ircd_args), "inspircd.out", faked_clock)) return false;
  if (!StartServices()) {
    Stop();
    return false;
  }
  // sasl is listed once the services have linked: about 0.1 s, or a second when they retried.
  auto deadline = SteadyClock::now() + std::chrono::seconds(10);
  while (SteadyClock::now() < deadline) {
    if (OffersSasl()) return true;
    if (!ircd_.Running() || !services_.Running()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Stop();
  return false;
}

bool SaslStack::StartServices() {
  if (services_.Running()) return false;
  return Launch(services_,
                {kServices, "-n", "-c", dir_ + "/atheme.conf", "-D", dir_, "-l", dir_ + "/atheme.log", "-p",
                 dir_ + "/atheme.pid"},
                "atheme.out");
}

void SaslStack::Stop() {
  services_.Stop(3000);
  ircd_.Stop(3000);
}

bool SaslStack::SetClockOffset(std::string_view offset) {
  // Written whole and renamed, so that the server never reads half a line.
  if (!WriteText(dir_ + "/clock.new", std::string(offset) + "\n")) return false;
  return std::rename((dir_ + "/clock.new").c_str(), (dir_ + "/clock.txt").c_str()) == 0;
}

bool SaslStack::RegisterAccount(std::string_view account, std::string_view password) {
  IrcPeer peer;
  if (!peer.Register(client_port_, account)) return false;
  peer.SendLine("PRIVMSG NickServ :REGISTER " + std::string(password) + " " + std::string(account) +
                "@example.com");
  const bool registered = peer.WaitFor(" is now registered to ", 5000).has_value();
  peer.SendLine("QUIT");
  return registered;
}

std::string SaslStack::Log() const {
  std::ostringstream out;
  for (const char* name : {"inspircd.out", "inspircd.log", "atheme.out", "atheme.log"}) {
    std::ifstream in(dir_ + "/" + name);
    if (in) out << "--- " << name << "\n" << in.rdbuf();
  }
  return out.str();
}

}  // namespace testsupport
