// A private SASL network for tests: InspIRCd (Debian's inspircd) with Atheme services
// (atheme-services) linked to it, both on loopback in a fresh temporary directory, so every start
// has an empty account database; it also takes WEBIRC from gateways on 127.0.0.1. Start() waits,
// at most 10 s, until the server offers sasl in its capability list, which it does only once the
// services have linked.
//
//   if (!SaslStack::Available()) GTEST_SKIP() << SaslStack::kMissing;
//   SaslStack stack;
//   ASSERT_TRUE(stack.Start()) << stack.Log();
//   ASSERT_TRUE(stack.RegisterAccount("alice", "sesame123"));
//   ... connect to 127.0.0.1:stack.port() and log in with SASL PLAIN ...
//
// The server finishes a registration on its once-a-second pass, so each connection takes up to
// about a second to be welcomed.
//
// Options make it a modern network: the server's IRCv3 modules (server-time, message tags,
// multi-prefix, cap-notify, channel history with mode +H, ...) with an operator who may load and
// unload them and invitations told to every member, a TLS client port with a Strict Transport
// Security policy, and services that offer SCRAM where the installed Atheme has a SCRAM mechanism
// (Debian's 7.2 has none: then they offer PLAIN, as without the option).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/child_process.h"

namespace testsupport {

class SaslStack {
 public:
  static constexpr const char* kIrcd = "/usr/sbin/inspircd";
  static constexpr const char* kServices = "/usr/bin/atheme-services";
  static constexpr const char* kFakeTime = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
  static constexpr const char* kMissing =
      "inspircd and atheme-services are not installed (tools/setup-deps.sh installs them)";
  static bool Available();
  // The WEBIRC password of gateways on 127.0.0.1.
  static constexpr const char* kWebircPassword = "gatewaypw";
  // With the IRCv3 modules: an operator who may load and unload modules ("OPER name password").
  static constexpr const char* kOperName = "admin";
  static constexpr const char* kOperPassword = "operpw";

  struct Options {
    bool ircv3 = false;  // the IRCv3 modules and chanhistory
    bool scram = false;  // SCRAM hashes and the SCRAM mechanism, when Atheme has them
    // Both set: a TLS client port with this certificate, and an sts policy that names it.
    std::string tls_cert_file;
    std::string tls_key_file;
    // The server's clock can be set back (SetClockOffset), through libfaketime.
    bool movable_clock = false;
  };
  // The Atheme module that offers SCRAM over SASL, relative to Atheme's module directory.
  static constexpr const char* kScramModule = "modules/saslserv/scram";
  static constexpr const char* kNoScram =
      "the installed Atheme has no SCRAM mechanism (modules/saslserv/scram); its services offer PLAIN only";
  // True when the installed Atheme has its SCRAM mechanism.
  static bool ScramAvailable();

  SaslStack() = default;
  explicit SaslStack(Options options) : options_(std::move(options)) {}
  ~SaslStack();
  SaslStack(const SaslStack&) = delete;
  SaslStack& operator=(const SaslStack&) = delete;

  bool Start();
  void Stop();
  int port() const { return client_port_; }
  // The TLS client port (0 without a certificate in the options).
  int tls_port() const { return tls_port_; }
  // The mechanisms the server named in its sasl capability once the services had linked
  // ("PLAIN,EXTERNAL"); empty when it named none.
  const std::string& mechanisms() const { return mechanisms_; }

  // With movable_clock: the server's clock runs this far from the real one from now on, in
  // libfaketime's words ("-3m", "+0").
  bool SetClockOffset(std::string_view offset);

  // Registers an account through NickServ from a connection of its own, which it closes again;
  // true once NickServ confirmed. The nickname used is the account name.
  bool RegisterAccount(std::string_view account, std::string_view password);

  // Both servers' logs, for failure messages.
  std::string Log() const;

 private:
  bool Launch(ChildProcess& process, std::vector<std::string> args, const std::string& log_name,
              bool faked_clock = false);
  bool OffersSasl();
  bool StartServices();

  Options options_;
  std::string dir_;
  std::string mechanisms_;
  int client_port_ = 0;
  int tls_port_ = 0;
  int link_port_ = 0;
  ChildProcess ircd_;
  ChildProcess services_;
};

}  // namespace testsupport
