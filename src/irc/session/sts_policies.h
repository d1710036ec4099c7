// Strict Transport Security policies: hosts whose servers said, over TLS, that they are to be
// reached only over TLS for a while, with the TLS port to use. A policy holds for the rest of the
// run and, when a file is named, across runs: the file is read when first needed and written
// whenever a policy changes. A file that cannot be read or written is left alone: the policies
// then hold for this run only.
//
// The file has one policy a line: host, TLS port and the Unix time it ends, separated by blanks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace irc {

class StsPolicies {
 public:
  // Policies kept, and bytes of the file read: far beyond the networks of one door.
  static constexpr size_t kMaxPolicies = 256;
  static constexpr size_t kMaxFileBytes = 64 * 1024;
  // Longest host name kept (DNS allows 253).
  static constexpr size_t kMaxHostLength = 255;

  // The file that keeps the policies from now on; empty for none. The policies already known stay.
  void UseFile(std::string path);

  // The TLS port for host while a policy for it holds at now.
  std::optional<int> Find(std::string_view host, int64_t now);
  // A TLS link to host on port was told to keep to TLS for duration seconds from now; a duration of
  // 0 removes the host's policy.
  void Record(std::string_view host, int port, int64_t duration, int64_t now);

 private:
  struct Policy {
    std::string host;  // lower case
    int port = 0;
    int64_t expires = 0;
  };

  void LoadOnce();
  void Save(int64_t now) const;
  Policy* FindPolicy(std::string_view host);

  std::vector<Policy> policies_;
  std::string path_;
  bool loaded_ = false;
};

// The policy file the INI names in [general] stsfile: a relative name lies beside the INI file;
// the key missing gives the INI's own name with ".sts"; an empty value gives none.
std::string StsFilePath(std::string_view ini_path, std::optional<std::string> setting);

}  // namespace irc
