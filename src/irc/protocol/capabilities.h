// Capability negotiation on every connection (IRCv3 CAP, version 302): the listing, possibly over
// several lines, the request of every capability the door uses that the server offers, a SASL
// login when the network asks for one, CAP END, and later CAP NEW and DEL. It also reads the
// server's Strict Transport Security policy from the listing. It knows no sockets and no screen:
// each step says which lines to send and which status lines to show.
//
//   CapNegotiation caps(CapNegotiation::Settings{.login = ..., .tls = ...});
//   send(CapNegotiation::kFirstLine);  // before NICK and USER: the server then waits for CAP END
//   ... for every server line:
//   CapNegotiation::Step step = caps.OnServerLine(message);
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "irc/protocol/sasl_login.h"
#include "irc/protocol/server_message.h"

namespace irc {

// The capabilities the door asks for, each for what it shows or keeps right.
enum class Capability : uint8_t {
  kCapNotify,        // NEW and DEL during the session
  kMultiPrefix,      // every prefix of a member in NAMES and WHO
  kUserhostInNames,  // nick!user@host in NAMES
  kServerTime,       // the time a line was sent, for replayed history
  kMessageTags,      // tags on messages (needed by the next)
  kAwayNotify,       // members going away and coming back
  kAccountNotify,    // members logging in and out
  kExtendedJoin,     // account and real name in JOIN
  kChghost,          // a member's new user name and host
  kInviteNotify,     // invitations to a channel the door is on
  kSetname,          // a member's new real name
  kSasl,             // logging in during registration
  kCount,
};

// The name of a capability on the wire ("multi-prefix").
std::string_view CapabilityName(Capability capability);

// What a server's sts capability value ("port=6697,duration=2592000") says.
struct StsAdvice {
  std::optional<int> port;          // a TLS port to move to (acted on only on a plain link)
  std::optional<int64_t> duration;  // seconds to keep to TLS (acted on only on a TLS link)
};
std::optional<StsAdvice> ParseStsValue(std::string_view value);

class CapNegotiation {
 public:
  static constexpr std::string_view kFirstLine = "CAP LS 302";
  // How long the negotiation waits for the server's next answer before it gives up (the client
  // keeps the time).
  static constexpr int kAnswerWaitMs = 5000;
  // Bytes kept of the sasl and sts values of a listing: real ones are a few dozen.
  static constexpr size_t kMaxValueBytes = 512;

  struct Login {
    std::string account;
    std::string password;
  };
  struct Settings {
    std::optional<Login> login;  // log in with SASL
    bool tls = false;            // the link is TLS: an sts duration applies, an sts port does not
    // A fresh SCRAM nonce, nothing when there is no random source (SCRAM is then not offered).
    std::function<std::optional<std::string>()> make_nonce;
    bool scram_available = false;
  };

  explicit CapNegotiation(Settings settings);
  ~CapNegotiation();
  CapNegotiation(const CapNegotiation&) = delete;
  CapNegotiation& operator=(const CapNegotiation&) = delete;

  struct Step {
    std::vector<std::string> send;        // protocol lines, without CR LF, in order
    std::vector<std::string> status;      // status lines for the caller
    bool consumed = false;                // the line belonged to the negotiation: show nothing for it
    std::optional<int> sts_port;          // a plain link must move to TLS on this port now
    std::optional<int64_t> sts_duration;  // a TLS link's host keeps to TLS this many seconds
  };

  // Takes one server line. CAP and AUTHENTICATE lines are consumed; numeric replies are shown by the
  // reply table (apart from a 421 or 410 for CAP on a network without a login, and the few a login
  // does not believe).
  Step OnServerLine(const ServerMessage& message);
  // The server kept the door waiting too long: the negotiation is given up with CAP END.
  Step GiveUp();

  // The registration still waits for the negotiation to end (CAP END not sent).
  bool negotiating() const { return state_ != State::kDone; }
  bool enabled(Capability capability) const { return enabled_[static_cast<size_t>(capability)]; }
  bool logged_in() const { return logged_in_; }

 private:
  enum class State { kListing, kRequesting, kLoggingIn, kDone };

  void OnCap(const ServerMessage& message, Step& step);
  void OnListing(std::string_view list, bool more, Step& step);
  void OnAck(std::string_view list, bool ack, Step& step);
  void OnNew(std::string_view list, Step& step);
  void OnNumeric(int number, const ServerMessage& message, Step& step);
  // The server cannot negotiate: the reply is shown only when a login waited for it.
  void Refused(std::string_view why, bool end_cap, Step& step);
  void ReadSts(std::optional<std::string_view> value, Step& step);
  void RequestAll(Step& step);
  void AfterReplies(Step& step);
  void StartLogin(Step& step);
  void Finish(Step& step, bool end_cap);

  Settings settings_;
  State state_ = State::kListing;
  std::array<bool, static_cast<size_t>(Capability::kCount)> offered_{};
  std::array<bool, static_cast<size_t>(Capability::kCount)> enabled_{};
  std::optional<std::string> sasl_value_;  // the mechanisms of the sasl capability, when it had a value
  int pending_replies_ = 0;                // CAP REQ lines not yet answered with ACK or NAK
  bool sasl_granted_ = false;
  std::unique_ptr<SaslLogin> login_;
  bool logged_in_ = false;
};

}  // namespace irc
