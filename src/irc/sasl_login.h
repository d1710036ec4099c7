// Logging in with SASL PLAIN during registration: capability negotiation (CAP LS 302, CAP REQ,
// CAP END) and the AUTHENTICATE exchange, as a state machine fed one server line at a time. It
// knows no sockets and no screen: each step says which lines to send and which status lines to
// show.
//
//   SaslLogin login(account, password);
//   send(SaslLogin::kFirstLine);  // before NICK and USER: the server then waits for CAP END
//   ... for every server line while login.active():
//   SaslLogin::Step step = login.OnServerLine(words);
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "irc/server_message.h"

namespace irc {

// The AUTHENTICATE lines that carry an encoded payload: pieces of at most 400 bytes, and one
// "AUTHENTICATE +" after a last piece of exactly 400 bytes (or for an empty payload), so that
// the server knows the payload has ended.
std::vector<std::string> AuthenticateLines(std::string_view encoded);

class SaslLogin {
 public:
  static constexpr std::string_view kFirstLine = "CAP LS 302";

  SaslLogin(std::string account, std::string password);
  ~SaslLogin();
  SaslLogin(const SaslLogin&) = delete;
  SaslLogin& operator=(const SaslLogin&) = delete;

  struct Step {
    std::vector<std::string> send;    // protocol lines, without CR LF, in order
    std::vector<std::string> status;  // status lines for the caller
    bool consumed = false;            // the line belonged to the negotiation: show nothing for it
  };

  // Takes one server line cut into words. Lines that are not part of the negotiation give an
  // empty step; numeric replies are never consumed (the reply table shows them).
  Step OnServerLine(const ServerMessage& words);

  // False once the negotiation has ended, however it ended.
  bool active() const { return state_ != State::kDone; }
  bool logged_in() const { return logged_in_; }

 private:
  enum class State { kListing, kRequesting, kAuthenticating, kAwaitingResult, kDone };

  void OnCap(const ServerMessage& words, size_t command, Step& step);
  void OnNumeric(int number, const ServerMessage& words, Step& step);
  // Ends the negotiation; with end_cap the server is told that registration may go on.
  void Finish(Step& step, bool end_cap);
  void ForgetPassword();

  State state_ = State::kListing;
  std::string account_;
  std::string password_;
  bool sasl_listed_ = false;  // the capability list seen so far offers sasl with PLAIN
  bool logged_in_ = false;
};

}  // namespace irc
