// One run of the door: the console, the clock, the door runtime and the IRC client wired
// together, started, run until the visit ends, and cleaned up on every way out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {
class Console;
class Clock;
class Terminal;
}  // namespace platform

namespace app {

// Runs the program on the real system (sysop's terminal when stdout is one). Returns the exit code.
// program_path is the executable's own path, invoked_path the path the program was run by (a
// symbolic link, say; empty when it named no folder): the INI file is looked for beside both.
int RunProgram(std::vector<std::string> args, std::string program_path, std::string invoked_path = {});

// Runs the program on the given console, clock and terminal (which may be null).
int RunProgramOn(std::vector<std::string> args, std::string program_path, platform::Console& console,
                 platform::Clock& clock, platform::Terminal* terminal, std::string_view invoked_path = {});

}  // namespace app
