#include <string>
#include <vector>

#include "app/program.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return app::RunProgram(std::move(args), platform::ProgramPath(argc > 0 ? argv[0] : nullptr));
}
