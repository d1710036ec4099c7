#include "platform/process.h"

#include <windows.h>

#include <vector>

namespace platform {

std::string ProgramPath(const char* argv0) {
  std::vector<char> buf(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) break;
    if (n < buf.size()) return std::string(buf.data(), n);
    if (buf.size() >= 32768) break;
    buf.resize(buf.size() * 2);
  }
  return argv0 ? argv0 : "zelkirc.exe";
}

std::string InvokedPath(const char* argv0) {
  if (argv0 == nullptr || std::string_view(argv0).find_first_of("/\\") == std::string_view::npos) return {};
  return argv0;
}

// The Windows door never takes its caller from the standard handles.
void HoldStandardDescriptors() {}

void WriteStandardOutput(std::string_view text) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  while (!text.empty()) {
    DWORD written = 0;
    const DWORD chunk = text.size() > 65536 ? 65536 : static_cast<DWORD>(text.size());
    if (!WriteFile(out, text.data(), chunk, &written, nullptr) || written == 0) return;
    text.remove_prefix(written);
  }
}

std::string_view ExampleDropFilePath() {
  return "C:\\VERAZIZ\\NODE1\\DOOR32.SYS";
}

}  // namespace platform
