#include "support/door_folder.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace testsupport {
namespace fs = std::filesystem;

#ifndef ZELK_BINARY
#define ZELK_BINARY "zelkirc"
#endif

DoorFolder::DoorFolder(std::string_view prefix, std::optional<std::string_view> ini_contents) {
  std::string pattern = "/tmp/" + std::string(prefix) + ".XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  path_ = pattern;
  binary_ = path_ + "/zelkirc";
  fs::copy_file(ZELK_BINARY, binary_);
  fs::permissions(binary_, fs::perms::owner_all);
  if (ini_contents) WriteFile("zelkirc.ini", *ini_contents);
}

DoorFolder::~DoorFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string DoorFolder::WriteFile(std::string_view name, std::string_view contents) const {
  std::string path = path_ + "/" + std::string(name);
  std::ofstream(path, std::ios::binary) << contents;
  return path;
}

}  // namespace testsupport
