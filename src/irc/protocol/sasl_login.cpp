// The SASL login's steps: AUTHENTICATE lines of the chosen mechanism and the replies that end it.
#include "irc/protocol/sasl_login.h"

#include <algorithm>

#include "irc/protocol/base64.h"
#include "irc/protocol/scram.h"
#include "text/ascii.h"

namespace irc {
namespace {

constexpr size_t kPieceBytes = 400;

struct MechanismRow {
  SaslMechanism mechanism;
  std::string_view name;
  bool scram;
};

// Strongest first.
constexpr MechanismRow kMechanisms[] = {
    {SaslMechanism::kScramSha512, "SCRAM-SHA-512", true},
    {SaslMechanism::kScramSha256, "SCRAM-SHA-256", true},
    {SaslMechanism::kPlain, "PLAIN", false},
};

bool ListNames(std::string_view list, std::string_view name) {
  while (!list.empty()) {
    const size_t comma = list.find(',');
    if (text::EqualsIgnoreCase(list.substr(0, comma), name)) return true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

platform::Digest DigestOf(SaslMechanism mechanism) {
  return mechanism == SaslMechanism::kScramSha512 ? platform::Digest::kSha512 : platform::Digest::kSha256;
}

}  // namespace

std::string_view MechanismName(SaslMechanism mechanism) {
  for (const MechanismRow& row : kMechanisms) {
    if (row.mechanism == mechanism) return row.name;
  }
  return "PLAIN";
}

std::optional<SaslMechanism> ChooseMechanism(std::optional<std::string_view> offered, bool scram_available) {
  if (!offered) return SaslMechanism::kPlain;
  for (const MechanismRow& row : kMechanisms) {
    if ((!row.scram || scram_available) && ListNames(*offered, row.name)) return row.mechanism;
  }
  return std::nullopt;
}

std::vector<std::string> AuthenticateLines(std::string_view encoded) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < encoded.size(); at += kPieceBytes) {
    lines.push_back("AUTHENTICATE " + std::string(encoded.substr(at, kPieceBytes)));
  }
  if (encoded.size() % kPieceBytes == 0) lines.emplace_back("AUTHENTICATE +");
  return lines;
}

SaslLogin::SaslLogin(std::string account, std::string password, SaslMechanism mechanism, std::string nonce)
    : mechanism_(mechanism), account_(std::move(account)), password_(std::move(password)) {
  if (mechanism != SaslMechanism::kPlain) {
    scram_ = std::make_unique<ScramClient>(DigestOf(mechanism), account_, password_, std::move(nonce));
    ForgetPassword();
  }
}

SaslLogin::~SaslLogin() {
  ForgetPassword();
}

void SaslLogin::ForgetPassword() {
  std::fill(password_.begin(), password_.end(), '\0');
  password_.clear();
}

std::string SaslLogin::FirstLine() const {
  return "AUTHENTICATE " + std::string(MechanismName(mechanism_));
}

SaslLogin::Step SaslLogin::OnServerLine(const ServerMessage& message) {
  Step step;
  if (state_ == State::kDone) return step;
  const std::string_view command = message.command();
  if (const std::optional<int> number = text::ParseDecimal(command)) {
    OnNumeric(*number, step);
  } else if (command == "AUTHENTICATE") {
    step.consumed = true;
    OnAuthenticate(message.Param(0), step);
  }
  return step;
}

void SaslLogin::Abort(std::string_view why, Step& step) {
  step.send.emplace_back("AUTHENTICATE *");
  if (!why.empty()) step.status.emplace_back(why);
  state_ = State::kAborting;
  payload_.clear();
  ForgetPassword();
  scram_.reset();
}

void SaslLogin::OnAuthenticate(std::string_view piece, Step& step) {
  if (state_ == State::kStarting) {
    if (piece != "+") {
      // Every mechanism here starts with an empty challenge; anything else ends the exchange (906
      // follows).
      step.send.emplace_back("AUTHENTICATE *");
      state_ = State::kAwaitingResult;
      ForgetPassword();
      return;
    }
    if (mechanism_ == SaslMechanism::kPlain) {
      std::string credentials = account_ + '\0' + account_ + '\0' + password_;
      std::string encoded = Base64Encode(credentials);
      step.send = AuthenticateLines(encoded);
      std::fill(credentials.begin(), credentials.end(), '\0');
      std::fill(encoded.begin(), encoded.end(), '\0');
      ForgetPassword();
      state_ = State::kAwaitingResult;
    } else {
      step.send = AuthenticateLines(Base64Encode(scram_->ClientFirst()));
      state_ = State::kServerFirst;
    }
    return;
  }
  if (state_ != State::kServerFirst && state_ != State::kServerFinal) return;
  // A message comes in pieces of 400 bytes; a shorter piece, or "+", ends it.
  if (piece != "+") payload_.append(piece);
  if (payload_.size() > kMaxServerPayload) {
    Abort(ScramFailureText(ScramClient::Failure::kMalformed), step);
    return;
  }
  if (piece.size() == kPieceBytes) return;
  const std::optional<std::string> decoded = Base64Decode(payload_);
  payload_.clear();
  if (!decoded) {
    Abort(ScramFailureText(ScramClient::Failure::kMalformed), step);
    return;
  }
  OnServerMessage(*decoded, step);
}

void SaslLogin::OnServerMessage(const std::string& message, Step& step) {
  if (state_ == State::kServerFirst) {
    const std::optional<std::string> client_final = scram_->OnServerFirst(message);
    if (!client_final) {
      Abort(ScramFailureText(scram_->failure()), step);
      return;
    }
    step.send = AuthenticateLines(Base64Encode(*client_final));
    state_ = State::kServerFinal;
    return;
  }
  if (!scram_->OnServerFinal(message)) {
    Abort(ScramFailureText(scram_->failure()), step);
    return;
  }
  verified_ = true;
  step.send.emplace_back("AUTHENTICATE +");
  state_ = State::kAwaitingResult;
}

void SaslLogin::OnNumeric(int number, Step& step) {
  // A SCRAM server that claims success before proving itself is not believed.
  const bool believed = mechanism_ == SaslMechanism::kPlain || verified_;
  switch (number) {
    case 900:
      if (state_ == State::kAborting || !believed) {
        step.consumed = true;
        break;
      }
      logged_in_ = true;
      break;
    case 903:
    case 907:
      if (state_ == State::kAborting) {
        step.consumed = number == 903;
        state_ = State::kDone;
        break;
      }
      if (!believed) {
        step.consumed = true;
        logged_in_ = false;
        step.status.emplace_back(ScramFailureText(ScramClient::Failure::kSignature));
        state_ = State::kDone;
        break;
      }
      logged_in_ = true;
      state_ = State::kDone;
      break;
    case 902:
    case 904:
    case 905:
    case 906:
      if (state_ != State::kAborting) step.status.emplace_back(kSaslFailedText);
      state_ = State::kDone;
      ForgetPassword();
      break;
    default:
      break;
  }
}

}  // namespace irc
