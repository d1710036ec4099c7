#include "app/program.h"

#include <exception>
#include <memory>

#include "ansi/local_ansi.h"
#include "app/client_app.h"
#include "door/door.h"
#include "door/program_end.h"
#include "irc/client.h"
#include "irc/ini_file.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/signals.h"
#include "platform/terminal.h"

namespace app {
namespace {

constexpr int kExitDrainMs = 2000;

}  // namespace

int RunProgram(std::vector<std::string> args, std::string program_path) {
  platform::InstallSignalHandlers();
  platform::Console console;
  platform::SystemClock clock;
  // A caller on standard input or output must never see the sysop's screen.
  std::unique_ptr<platform::Terminal> terminal =
      door::CallerOnStandardStreams(args) ? nullptr : platform::OpenTerminal();
  return RunProgramOn(std::move(args), std::move(program_path), console, clock, terminal.get());
  // terminal's destructor restores the sysop's terminal
}

int RunProgramOn(std::vector<std::string> args, std::string program_path, platform::Console& console,
                 platform::Clock& clock, platform::Terminal* terminal) {
  ansi::LocalAnsi local_ansi(console);
  const std::string ini_path = irc::IniPathForProgram(program_path);
  door::Door door(door::DoorEnv{console, clock, local_ansi, terminal, std::move(args),
                                std::move(program_path),
                                /*sleep_when_unwatched=*/true});
  door.DoorInit();
  int exit_code = 0;
  {
    irc::Client client(door, ini_path);
    ClientApp client_app(door, client);
    try {
      client_app.Run();
    } catch (const door::ProgramEnd&) {
    } catch (const std::exception&) {
      exit_code = 1;  // a fault of ours: still say goodbye to the server and restore the terminal
    }
    door.RunExitProcs();
    // A caller still connected gets the last words (a goodbye, the end of a burst), within limits.
    door.DrainOutput(kExitDrainMs);
  }
  door.Present();
  return exit_code;
}

}  // namespace app
