#include "support/temp_ini.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

namespace testsupport {

std::string OneNetworkIni(int port, std::string_view general, std::string_view network_extra) {
  return "[general]\n" + std::string(general) + "[Local]\n127.0.0.1=" + std::to_string(port) + "\n" +
         std::string(network_extra);
}

TempIni::TempIni(std::string_view contents) {
  std::random_device random;  // a fresh directory of our own, on Linux and Windows alike
  for (int tries = 0; tries < 100 && dir_.empty(); ++tries) {
    const std::filesystem::path candidate =
        std::filesystem::temp_directory_path() / ("zelk_ini_" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) dir_ = candidate.string();
  }
  if (dir_.empty()) throw std::runtime_error("no temporary directory");
  path_ = (std::filesystem::path(dir_) / "zelkirc.ini").string();
  Write(contents);
}

TempIni::~TempIni() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void TempIni::Write(std::string_view contents) {
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

}  // namespace testsupport
