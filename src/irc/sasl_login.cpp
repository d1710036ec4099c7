#include "irc/sasl_login.h"

#include <algorithm>

#include "door/text_helpers.h"
#include "irc/base64.h"
#include "irc/words.h"

namespace irc {
namespace {

constexpr size_t kPieceBytes = 400;

// Status lines for the ways a login can end without an account.
constexpr std::string_view kNoCap = "This server does not support SASL; continuing without logging in";
constexpr std::string_view kNoSasl = "This server does not offer SASL PLAIN; continuing without logging in";
constexpr std::string_view kRefused = "This server refused SASL; continuing without logging in";
constexpr std::string_view kFailed = "SASL login failed; continuing without logging in";

// The capability tokens of a CAP line from word `from` on, the first with its colon removed.
template <typename Visit>
void ForEachCapability(const ServerMessage& words, size_t from, Visit visit) {
  for (size_t i = from; i < words.size(); ++i) {
    std::string_view token = words[i];
    if (i == from && token.starts_with(':')) token.remove_prefix(1);
    if (!token.empty()) visit(token);
  }
}

// "sasl" alone, or "sasl=" with a comma list of mechanisms that names PLAIN.
bool OffersSaslPlain(std::string_view token) {
  if (token == "sasl") return true;
  if (!token.starts_with("sasl=")) return false;
  std::string_view mechanisms = token.substr(5);
  while (!mechanisms.empty()) {
    const size_t comma = mechanisms.find(',');
    if (EqualsIgnoreCase(mechanisms.substr(0, comma), "PLAIN")) return true;
    if (comma == std::string_view::npos) break;
    mechanisms.remove_prefix(comma + 1);
  }
  return false;
}

}  // namespace

std::vector<std::string> AuthenticateLines(std::string_view encoded) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < encoded.size(); at += kPieceBytes) {
    lines.push_back("AUTHENTICATE " + std::string(encoded.substr(at, kPieceBytes)));
  }
  if (encoded.size() % kPieceBytes == 0) lines.emplace_back("AUTHENTICATE +");
  return lines;
}

SaslLogin::SaslLogin(std::string account, std::string password)
    : account_(std::move(account)), password_(std::move(password)) {}

SaslLogin::~SaslLogin() {
  ForgetPassword();
}

void SaslLogin::ForgetPassword() {
  std::fill(password_.begin(), password_.end(), '\0');
  password_.clear();
}

void SaslLogin::Finish(Step& step, bool end_cap) {
  if (end_cap) step.send.emplace_back("CAP END");
  state_ = State::kDone;
  ForgetPassword();
}

SaslLogin::Step SaslLogin::OnServerLine(const ServerMessage& words) {
  Step step;
  if (state_ == State::kDone || words.size() == 0) return step;
  const size_t command = words[0].starts_with(':') ? 1 : 0;
  if (command >= words.size()) return step;
  const std::string_view name = words[command];
  if (const std::optional<int> number = door::ParseDecimal(name)) {
    OnNumeric(*number, words, step);
  } else if (name == "CAP") {
    step.consumed = true;
    OnCap(words, command, step);
  } else if (name == "AUTHENTICATE") {
    step.consumed = true;
    if (state_ != State::kAuthenticating) return step;
    // Some servers send the parameter as a trailing one (":+").
    if (StripColon(words[command + 1]) != "+") {
      // PLAIN expects an empty challenge; anything else ends the exchange (906 follows).
      step.send.emplace_back("AUTHENTICATE *");
      state_ = State::kAwaitingResult;
      return step;
    }
    std::string credentials = account_;
    credentials += '\0';
    credentials += account_;
    credentials += '\0';
    credentials += password_;
    std::string encoded = Base64Encode(credentials);
    step.send = AuthenticateLines(encoded);
    std::fill(credentials.begin(), credentials.end(), '\0');
    std::fill(encoded.begin(), encoded.end(), '\0');
    ForgetPassword();
    state_ = State::kAwaitingResult;
  }
  return step;
}

void SaslLogin::OnCap(const ServerMessage& words, size_t command, Step& step) {
  const std::string_view sub = words[command + 2];
  size_t from = command + 3;
  if (sub == "LS" && state_ == State::kListing) {
    // "CAP * LS * :caps" continues on the next line; the last line has no "*".
    const bool more = words[from] == "*" && from + 1 < words.size();
    if (more) ++from;
    ForEachCapability(words, from,
                      [this](std::string_view token) { sasl_listed_ |= OffersSaslPlain(token); });
    if (more) return;
    if (!sasl_listed_) {
      step.status.emplace_back(kNoSasl);
      Finish(step, true);
      return;
    }
    step.send.emplace_back("CAP REQ :sasl");
    state_ = State::kRequesting;
  } else if (sub == "ACK" && state_ == State::kRequesting) {
    bool acked = false;
    ForEachCapability(words, from, [&acked](std::string_view token) { acked |= token == "sasl"; });
    if (!acked) {
      step.status.emplace_back(kRefused);
      Finish(step, true);
      return;
    }
    step.send.emplace_back("AUTHENTICATE PLAIN");
    state_ = State::kAuthenticating;
  } else if (sub == "NAK" && state_ == State::kRequesting) {
    step.status.emplace_back(kRefused);
    Finish(step, true);
  }
}

void SaslLogin::OnNumeric(int number, const ServerMessage& words, Step& step) {
  const size_t command = words[0].starts_with(':') ? 1 : 0;
  switch (number) {
    case 1:  // registered after all: the server did not wait for CAP END
      Finish(step, false);
      break;
    case 421:  // unknown command: only CAP matters here
      if (EqualsIgnoreCase(words[command + 2], "CAP")) {
        step.status.emplace_back(kNoCap);
        Finish(step, false);
      }
      break;
    case 410:  // invalid CAP subcommand
      step.status.emplace_back(kRefused);
      Finish(step, true);
      break;
    case 900:
      logged_in_ = true;
      break;
    case 903:
    case 907:
      logged_in_ = true;
      Finish(step, true);
      break;
    case 902:
    case 904:
    case 905:
    case 906:
      if (state_ == State::kListing || state_ == State::kRequesting) break;
      step.status.emplace_back(kFailed);
      Finish(step, true);
      break;
    default:
      break;
  }
}

}  // namespace irc
