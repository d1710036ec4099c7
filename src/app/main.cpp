#include <string>
#include <vector>

#include "app/program.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const char* argv0 = argc > 0 ? argv[0] : nullptr;
  return app::RunProgram(std::move(args), platform::ProgramPath(argv0), platform::InvokedPath(argv0));
}
