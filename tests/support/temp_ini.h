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
  // Replaces the file's contents (the code under test reads the file afresh on every use).
  void Write(std::string_view contents);

 private:
  std::string dir_;
  std::string path_;
};

}  // namespace testsupport
