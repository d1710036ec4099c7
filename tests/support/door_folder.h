// The folder a BBS installs the door in, made fresh for a test: a new directory under /tmp with a
// copy of the zelkirc binary and, when given, its INI file next to it (the door reads the INI next
// to its own path). The folder goes, with all that was written into it, when the object goes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace testsupport {

class DoorFolder {
 public:
  // prefix names the folder before its random part ("zelkirc-e2e"); ini_contents nullopt: no INI
  // file at all.
  DoorFolder(std::string_view prefix, std::optional<std::string_view> ini_contents);
  ~DoorFolder();
  DoorFolder(const DoorFolder&) = delete;
  DoorFolder& operator=(const DoorFolder&) = delete;

  const std::string& path() const { return path_; }
  // The copy of the binary in path().
  const std::string& binary() const { return binary_; }
  // Writes a file into the folder (e.g. a DOOR32.SYS) and returns its path.
  std::string WriteFile(std::string_view name, std::string_view contents) const;

 private:
  std::string path_;
  std::string binary_;
};

}  // namespace testsupport
