// Capability negotiation: the CAP listing read, the request, CAP END, CAP NEW and DEL.
#include "irc/protocol/capabilities.h"

#include <charconv>

#include "text/ascii.h"

namespace irc {
namespace {

// Status lines for the ways a login can end before it starts.
constexpr std::string_view kNoCap = "This server does not support SASL; continuing without logging in";
constexpr std::string_view kNoSasl = "This server does not offer SASL PLAIN; continuing without logging in";
constexpr std::string_view kRefused = "This server refused SASL; continuing without logging in";

// In the order they are requested.
constexpr std::string_view kNames[] = {
    "cap-notify",     "multi-prefix",  "userhost-in-names", "server-time",   "message-tags", "away-notify",
    "account-notify", "extended-join", "chghost",           "invite-notify", "setname",      "sasl",
};
static_assert(std::size(kNames) == static_cast<size_t>(Capability::kCount));

std::optional<Capability> FindCapability(std::string_view name) {
  for (size_t i = 0; i < std::size(kNames); ++i) {
    if (kNames[i] == name) return static_cast<Capability>(i);
  }
  return std::nullopt;
}

// Calls visit(name, value) for every blank-separated token of a capability list; value is nothing
// for a token without "=".
template <typename Visit>
void ForEachToken(std::string_view list, Visit visit) {
  while (!list.empty()) {
    const size_t blank = list.find(' ');
    const std::string_view token = list.substr(0, blank);
    list = blank == std::string_view::npos ? std::string_view() : list.substr(blank + 1);
    if (token.empty()) continue;
    const size_t equals = token.find('=');
    if (equals == std::string_view::npos) {
      visit(token, std::optional<std::string_view>());
    } else {
      visit(token.substr(0, equals), std::optional<std::string_view>(token.substr(equals + 1)));
    }
  }
}

template <typename Number>
std::optional<Number> ParseNumber(std::string_view text) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

}  // namespace

std::string_view CapabilityName(Capability capability) {
  return kNames[static_cast<size_t>(capability)];
}

std::optional<StsAdvice> ParseStsValue(std::string_view value) {
  StsAdvice advice;
  while (!value.empty()) {
    const size_t comma = value.find(',');
    const std::string_view item = value.substr(0, comma);
    value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
    const size_t equals = item.find('=');
    const std::string_view key = item.substr(0, equals);
    const std::string_view setting =
        equals == std::string_view::npos ? std::string_view() : item.substr(equals + 1);
    if (key == "port") {
      advice.port = ParseNumber<int>(setting);
      if (!advice.port || *advice.port < 1 || *advice.port > 65535) return std::nullopt;
    } else if (key == "duration") {
      advice.duration = ParseNumber<int64_t>(setting);
      if (!advice.duration) return std::nullopt;
    }
  }
  return advice;
}

CapNegotiation::CapNegotiation(Settings settings) : settings_(std::move(settings)) {}

CapNegotiation::~CapNegotiation() {
  if (settings_.login) std::fill(settings_.login->password.begin(), settings_.login->password.end(), '\0');
}

CapNegotiation::Step CapNegotiation::OnServerLine(const ServerMessage& message) {
  Step step;
  const std::string_view command = message.command();
  if (command == "CAP") {
    step.consumed = true;
    OnCap(message, step);
    return step;
  }
  if (state_ == State::kDone) return step;
  const std::optional<int> number = text::ParseDecimal(command);
  if (number == 1) {
    // Registered after all: the server did not wait for CAP END.
    login_.reset();
    Finish(step, false);
  } else if (state_ == State::kLoggingIn && (number || command == "AUTHENTICATE")) {
    SaslLogin::Step login = login_->OnServerLine(message);
    step.send = std::move(login.send);
    step.status = std::move(login.status);
    step.consumed = login.consumed;
    if (login_->done()) {
      logged_in_ = login_->logged_in();
      login_.reset();
      Finish(step, true);
    }
  } else if (command == "AUTHENTICATE") {
    step.consumed = true;  // out of turn
  } else if (number) {
    OnNumeric(*number, message, step);
  }
  return step;
}

void CapNegotiation::OnCap(const ServerMessage& message, Step& step) {
  const std::string_view sub = message.Param(1);
  const size_t count = message.Params().size();
  // "CAP * LS * :caps" continues on the next line; the last line has no "*".
  const bool more = message.Param(2) == "*" && count > 3;
  const std::string_view list = message.Param(more ? 3 : 2);
  if (sub == "LS") {
    if (state_ == State::kListing) OnListing(list, more, step);
  } else if (sub == "ACK" || sub == "NAK") {
    OnAck(list, sub == "ACK", step);
  } else if (sub == "NEW") {
    OnNew(list, step);
  } else if (sub == "DEL") {
    ForEachToken(list, [this](std::string_view name, std::optional<std::string_view>) {
      if (const std::optional<Capability> capability = FindCapability(name))
        enabled_[static_cast<size_t>(*capability)] = false;
    });
  }
}

void CapNegotiation::OnListing(std::string_view list, bool more, Step& step) {
  ForEachToken(list, [this, &step](std::string_view name, std::optional<std::string_view> value) {
    if (state_ == State::kDone) return;
    if (name == "sts") {
      ReadSts(value, step);
      return;
    }
    const std::optional<Capability> capability = FindCapability(name);
    if (!capability) return;
    offered_[static_cast<size_t>(*capability)] = true;
    if (*capability == Capability::kSasl && value)
      sasl_value_ = std::string(value->substr(0, kMaxValueBytes));
  });
  if (more || state_ == State::kDone) return;
  RequestAll(step);
}

void CapNegotiation::ReadSts(std::optional<std::string_view> value, Step& step) {
  if (!value) return;
  const std::optional<StsAdvice> advice = ParseStsValue(*value);
  if (!advice) return;
  if (!settings_.tls && advice->port) {
    // Nothing more is said on this link: it is closed and the server dialled again with TLS.
    step.sts_port = advice->port;
    state_ = State::kDone;
  } else if (settings_.tls && advice->duration) {
    step.sts_duration = advice->duration;
  }
}

void CapNegotiation::RequestAll(Step& step) {
  std::string features;
  for (size_t i = 0; i < offered_.size(); ++i) {
    if (!offered_[i] || static_cast<Capability>(i) == Capability::kSasl) continue;
    features += features.empty() ? "CAP REQ :" : " ";
    features += kNames[i];
  }
  if (!features.empty()) {
    step.send.push_back(std::move(features));
    ++pending_replies_;
  }
  if (settings_.login) {
    const bool scram = settings_.scram_available && settings_.make_nonce;
    if (offered_[static_cast<size_t>(Capability::kSasl)] &&
        ChooseMechanism(sasl_value_ ? std::optional<std::string_view>(*sasl_value_) : std::nullopt, scram)) {
      step.send.emplace_back("CAP REQ :sasl");
      ++pending_replies_;
    } else {
      step.status.emplace_back(kNoSasl);
      settings_.login.reset();
    }
  }
  if (pending_replies_ == 0) {
    Finish(step, true);
    return;
  }
  state_ = State::kRequesting;
}

void CapNegotiation::OnAck(std::string_view list, bool ack, Step& step) {
  bool sasl_named = false;
  ForEachToken(list, [&](std::string_view name, std::optional<std::string_view>) {
    const bool off = name.starts_with('-');
    if (off) name.remove_prefix(1);
    const std::optional<Capability> capability = FindCapability(name);
    if (!capability) return;
    if (ack) enabled_[static_cast<size_t>(*capability)] = !off;
    if (*capability == Capability::kSasl) sasl_named = true;
  });
  if (state_ != State::kRequesting) return;
  if (ack && sasl_named && enabled(Capability::kSasl)) sasl_granted_ = true;
  if (--pending_replies_ > 0) return;
  if (settings_.login && sasl_granted_) {
    StartLogin(step);
    return;
  }
  if (settings_.login) step.status.emplace_back(kRefused);
  Finish(step, true);
}

void CapNegotiation::OnNew(std::string_view list, Step& step) {
  std::string request;
  ForEachToken(list, [&](std::string_view name, std::optional<std::string_view> value) {
    if (name == "sts") {
      ReadSts(value, step);
      return;
    }
    const std::optional<Capability> capability = FindCapability(name);
    if (!capability || *capability == Capability::kSasl) return;
    const size_t i = static_cast<size_t>(*capability);
    offered_[i] = true;
    if (enabled_[i] || request.find(kNames[i]) != std::string::npos) return;
    request += request.empty() ? "CAP REQ :" : " ";
    request += kNames[i];
  });
  // During the negotiation the first request still covers what the listing offered.
  if (!request.empty() && state_ == State::kDone && !step.sts_port) step.send.push_back(std::move(request));
}

void CapNegotiation::StartLogin(Step& step) {
  const bool scram_possible = settings_.scram_available && settings_.make_nonce;
  std::optional<std::string> nonce = scram_possible ? settings_.make_nonce() : std::nullopt;
  const std::optional<SaslMechanism> mechanism = ChooseMechanism(
      sasl_value_ ? std::optional<std::string_view>(*sasl_value_) : std::nullopt, nonce.has_value());
  if (!mechanism) {
    step.status.emplace_back(kNoSasl);
    Finish(step, true);
    return;
  }
  Login login = std::move(*settings_.login);
  settings_.login.reset();
  login_ = std::make_unique<SaslLogin>(login.account, std::move(login.password), *mechanism,
                                       nonce.value_or(std::string()));
  step.send.push_back(login_->FirstLine());
  state_ = State::kLoggingIn;
}

void CapNegotiation::OnNumeric(int number, const ServerMessage& message, Step& step) {
  if (number == 421 && text::EqualsIgnoreCase(message.Param(1), "CAP")) {
    Refused(kNoCap, /*end_cap=*/false, step);  // a server without CAP
  } else if (number == 410) {
    Refused(kRefused, /*end_cap=*/true, step);  // invalid CAP subcommand
  }
}

void CapNegotiation::Refused(std::string_view why, bool end_cap, Step& step) {
  // Without a login the caller learns nothing from it: the registration goes on as without CAP.
  if (settings_.login) {
    step.status.emplace_back(why);
  } else {
    step.consumed = true;
  }
  Finish(step, end_cap);
}

CapNegotiation::Step CapNegotiation::GiveUp() {
  Step step;
  if (state_ == State::kDone) return step;
  if (state_ == State::kLoggingIn) {
    step.send.emplace_back("AUTHENTICATE *");
    step.status.emplace_back(kSaslFailedText);
    login_.reset();
  } else if (settings_.login) {
    step.status.emplace_back(state_ == State::kListing ? kNoCap : kRefused);
  }
  Finish(step, true);
  return step;
}

void CapNegotiation::Finish(Step& step, bool end_cap) {
  if (end_cap) step.send.emplace_back("CAP END");
  state_ = State::kDone;
  if (settings_.login) {
    std::fill(settings_.login->password.begin(), settings_.login->password.end(), '\0');
    settings_.login.reset();
  }
}

}  // namespace irc
