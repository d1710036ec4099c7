// An INI file with the given contents in a fresh temporary directory, removed again with the
// object. Tests hand path() to the code under test as its configuration file.
#pragma once

#include <string>
#include <string_view>

namespace testsupport {

class TempIni {
 public:
  explicit TempIni(std::string_view contents);
  ~TempIni();
  TempIni(const TempIni&) = delete;
  TempIni& operator=(const TempIni&) = delete;

  const std::string& path() const { return path_; }
  // Replaces the file's contents (the code under test reads a changed file again).
  void Write(std::string_view contents);

 private:
  std::string dir_;
  std::string path_;
};

// The [general] keys of most tests: the caller Wolf, whose real name is Joe Smith.
inline constexpr std::string_view kWolfGeneral = "handle=Wolf\nusername=Joe Smith\n";

// An INI file's text: general's keys in [general], then one network, Local, whose one server is
// 127.0.0.1:port, with network_extra's keys.
std::string OneNetworkIni(int port, std::string_view general = kWolfGeneral,
                          std::string_view network_extra = "");

}  // namespace testsupport
