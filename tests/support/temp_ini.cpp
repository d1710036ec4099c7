#include "support/temp_ini.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace testsupport {

TempIni::TempIni(std::string_view contents) {
  std::string pattern = "/tmp/zelk_ini_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  dir_ = pattern;
  path_ = dir_ + "/zelkirc.ini";
  Write(contents);
}

TempIni::~TempIni() {
  std::remove(path_.c_str());
  rmdir(dir_.c_str());
}

void TempIni::Write(std::string_view contents) {
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

}  // namespace testsupport
