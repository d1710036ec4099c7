// One SASL login during registration, once the server has granted the sasl capability: the
// AUTHENTICATE exchange of the chosen mechanism (SCRAM-SHA-512, SCRAM-SHA-256 or PLAIN) and the
// numeric replies that end it. It knows no sockets and no screen: each step says which lines to
// send and which status lines to show. Capability negotiation around it is CapNegotiation's.
//
//   SaslLogin login(account, password, SaslMechanism::kScramSha256, nonce);
//   send(login.FirstLine());
//   ... for every server line while !login.done():
//   SaslLogin::Step step = login.OnServerLine(message);
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "irc/protocol/server_message.h"

namespace irc {

class ScramClient;

// The status line for a login that ended without an account.
inline constexpr std::string_view kSaslFailedText = "SASL login failed; continuing without logging in";

enum class SaslMechanism { kPlain, kScramSha256, kScramSha512 };

std::string_view MechanismName(SaslMechanism mechanism);

// The strongest mechanism of the server's list (the value of its sasl capability, "PLAIN,SCRAM-SHA-256"):
// SCRAM-SHA-512, then SCRAM-SHA-256 when scram_available, then PLAIN. A server that names no list
// gets PLAIN; nothing when the list names none of these.
std::optional<SaslMechanism> ChooseMechanism(std::optional<std::string_view> offered, bool scram_available);

// The AUTHENTICATE lines that carry an encoded payload: pieces of at most 400 bytes, and one
// "AUTHENTICATE +" after a last piece of exactly 400 bytes (or for an empty payload), so that
// the server knows the payload has ended.
std::vector<std::string> AuthenticateLines(std::string_view encoded);

class SaslLogin {
 public:
  // Encoded bytes of one server message the door takes; a longer one aborts the login.
  static constexpr size_t kMaxServerPayload = 4096;

  // The nonce is used by the SCRAM mechanisms only (ScramClient::MakeNonce).
  SaslLogin(std::string account, std::string password, SaslMechanism mechanism, std::string nonce = {});
  ~SaslLogin();
  SaslLogin(const SaslLogin&) = delete;
  SaslLogin& operator=(const SaslLogin&) = delete;

  // "AUTHENTICATE" and the mechanism's name: the line that starts the exchange.
  std::string FirstLine() const;

  struct Step {
    std::vector<std::string> send;    // protocol lines, without CR LF, in order
    std::vector<std::string> status;  // status lines for the caller
    bool consumed = false;            // the line belonged to the login: show nothing for it
  };

  // Takes one server line. AUTHENTICATE lines are consumed; numeric replies are shown by the reply
  // table, except a success the door does not believe (a SCRAM server that never proved itself).
  Step OnServerLine(const ServerMessage& message);

  // True once the exchange has ended, however it ended.
  bool done() const { return state_ == State::kDone; }
  bool logged_in() const { return logged_in_; }

 private:
  enum class State { kStarting, kServerFirst, kServerFinal, kAwaitingResult, kAborting, kDone };

  void OnAuthenticate(std::string_view payload, Step& step);
  void OnServerMessage(const std::string& message, Step& step);
  void OnNumeric(int number, Step& step);
  void Abort(std::string_view why, Step& step);
  void ForgetPassword();

  State state_ = State::kStarting;
  SaslMechanism mechanism_;
  std::string account_;
  std::string password_;
  std::unique_ptr<ScramClient> scram_;
  std::string payload_;    // the encoded server message received so far
  bool verified_ = false;  // a SCRAM server proved that it knows the password
  bool logged_in_ = false;
};

}  // namespace irc
