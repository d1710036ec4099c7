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
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

class SaslStack {
 public:
  static constexpr const char* kIrcd = "/usr/sbin/inspircd";
  static constexpr const char* kServices = "/usr/bin/atheme-services";
  static constexpr const char* kMissing =
      "inspircd and atheme-services are not installed (tools/setup-deps.sh installs them)";
  static bool Available();
  // The WEBIRC password of gateways on 127.0.0.1.
  static constexpr const char* kWebircPassword = "gatewaypw";

  SaslStack() = default;
  ~SaslStack();
  SaslStack(const SaslStack&) = delete;
  SaslStack& operator=(const SaslStack&) = delete;

  bool Start();
  void Stop();
  int port() const { return client_port_; }

  // Registers an account through NickServ from a connection of its own, which it closes again;
  // true once NickServ confirmed. The nickname used is the account name.
  bool RegisterAccount(std::string_view account, std::string_view password);

  // Both servers' logs, for failure messages.
  std::string Log() const;

 private:
  bool Launch(pid_t* pid, const std::vector<std::string>& args, const std::string& log_name);
  bool OffersSasl();

  std::string dir_;
  int client_port_ = 0;
  int link_port_ = 0;
  pid_t ircd_pid_ = -1;
  pid_t services_pid_ = -1;
};

}  // namespace testsupport
