// STS policies: hosts to be reached over TLS only, kept for the run and in the policy file.
#include "irc/session/sts_policies.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace irc {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// A host as the file writes it: no blanks or controls, which would break its lines.
bool UsableHost(std::string_view host) {
  if (host.empty() || host.size() > StsPolicies::kMaxHostLength) return false;
  return std::none_of(host.begin(), host.end(),
                      [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; });
}

template <typename Number>
std::optional<Number> ParseNumber(std::string_view text) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string_view NextField(std::string_view& line) {
  while (line.starts_with(' ')) line.remove_prefix(1);
  const size_t blank = line.find(' ');
  const std::string_view field = line.substr(0, blank);
  line = blank == std::string_view::npos ? std::string_view() : line.substr(blank);
  return field;
}

}  // namespace

void StsPolicies::UseFile(std::string path) {
  if (path == path_) return;
  path_ = std::move(path);
  loaded_ = false;
}

void StsPolicies::LoadOnce() {
  if (loaded_) return;
  loaded_ = true;
  if (path_.empty()) return;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path_, error)) return;
  std::ifstream in(path_, std::ios::binary);
  std::string text(kMaxFileBytes, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  std::string_view rest = text;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    const std::string host = Lower(NextField(line));
    const std::optional<int> port = ParseNumber<int>(NextField(line));
    const std::optional<int64_t> expires = ParseNumber<int64_t>(NextField(line));
    if (!UsableHost(host) || !port || *port < 1 || *port > 65535 || !expires || !NextField(line).empty())
      continue;
    // What this run learnt already stands over the file.
    if (FindPolicy(host) != nullptr || policies_.size() >= kMaxPolicies) continue;
    policies_.push_back(Policy{host, *port, *expires});
  }
}

StsPolicies::Policy* StsPolicies::FindPolicy(std::string_view host) {
  const std::string lower = Lower(host);
  for (Policy& policy : policies_) {
    if (policy.host == lower) return &policy;
  }
  return nullptr;
}

std::optional<int> StsPolicies::Find(std::string_view host, int64_t now) {
  LoadOnce();
  const Policy* policy = FindPolicy(host);
  if (policy == nullptr || policy->expires <= now) return std::nullopt;
  return policy->port;
}

void StsPolicies::Record(std::string_view host, int port, int64_t duration, int64_t now) {
  if (!UsableHost(host) || port < 1 || port > 65535 || duration < 0) return;
  LoadOnce();
  Policy* policy = FindPolicy(host);
  if (duration == 0) {
    if (policy == nullptr) return;
    policies_.erase(policies_.begin() + (policy - policies_.data()));
  } else {
    const int64_t expires = now > INT64_MAX - duration ? INT64_MAX : now + duration;
    if (policy != nullptr) {
      policy->port = port;
      policy->expires = expires;
    } else {
      // The full list makes room by dropping the policy that ends first.
      if (policies_.size() >= kMaxPolicies) {
        policies_.erase(
            std::min_element(policies_.begin(), policies_.end(),
                             [](const Policy& a, const Policy& b) { return a.expires < b.expires; }));
      }
      policies_.push_back(Policy{Lower(host), port, expires});
    }
  }
  Save(now);
}

// Written to a new file that then replaces the old one, so a reader never sees half a file.
void StsPolicies::Save(int64_t now) const {
  if (path_.empty()) return;
  const std::string temporary = path_ + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return;
    for (const Policy& policy : policies_) {
      if (policy.expires <= now) continue;
      out << policy.host << ' ' << policy.port << ' ' << policy.expires << '\n';
    }
    if (!out) return;
  }
  std::error_code error;
  std::filesystem::rename(temporary, path_, error);
  if (error) std::filesystem::remove(temporary, error);
}

std::string StsFilePath(std::string_view ini_path, std::optional<std::string> setting) {
  const std::filesystem::path ini(ini_path);
  if (!setting) return std::filesystem::path(ini).replace_extension(".sts").string();
  if (setting->empty()) return "";
  const std::filesystem::path named(*setting);
  if (named.is_absolute()) return named.string();
  return (ini.parent_path() / named).string();
}

}  // namespace irc
