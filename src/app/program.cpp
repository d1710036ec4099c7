#include "app/program.h"

#include <exception>
#include <memory>
#include <new>

#include "ansi/local_ansi.h"
#include "app/client_app.h"
#include "door/door.h"
#include "door/program_end.h"
#include "irc/client/client.h"
#include "irc/session/ini_file.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/process.h"
#include "platform/signals.h"
#include "platform/terminal.h"

namespace app {
namespace {

constexpr int kExitDrainMs = 2000;
// Held from the start and given back when the visit fails, so that saying goodbye, restoring the
// sysop's terminal and draining the caller's output still find memory after it ran out.
constexpr size_t kEndingReserveBytes = 1 << 20;

// One step of the ending: a failure inside it (memory, once more) must not keep the later steps
// from running.
template <class Step>
void EndingStep(Step&& step) {
  try {
    step();
  } catch (...) {
  }
}

}  // namespace

int RunProgram(std::vector<std::string> args, std::string program_path, std::string invoked_path) {
  platform::HoldStandardDescriptors();
  platform::InstallSignalHandlers();
  platform::Console console;
  platform::SystemClock clock;
  // A caller on standard input or output must never see the sysop's screen.
  std::unique_ptr<platform::Terminal> terminal =
      door::CallerOnStandardStreams(args) ? nullptr : platform::OpenTerminal();
  try {
    return RunProgramOn(std::move(args), std::move(program_path), console, clock, terminal.get(),
                        invoked_path);
  } catch (...) {
    // A failure before or after the visit (setting up, cleaning up) ends here too, so that the
    // terminal's destructor still restores the sysop's terminal.
    return 0;
  }
}

int RunProgramOn(std::vector<std::string> args, std::string program_path, platform::Console& console,
                 platform::Clock& clock, platform::Terminal* terminal, std::string_view invoked_path) {
  ansi::LocalAnsi local_ansi(console);
  const std::string ini_path = irc::IniPathForRun(program_path, invoked_path);
  door::Door door(door::DoorEnv{console, clock, local_ansi, terminal, std::move(args),
                                std::move(program_path),
                                /*sleep_when_unwatched=*/true});
  door.DoorInit();
  {
    irc::Client client(door, ini_path);
    ClientApp client_app(door, client);
    std::unique_ptr<char[]> reserve(new char[kEndingReserveBytes]);  // address space, not touched
    try {
      client_app.Run();
    } catch (const door::ProgramEnd&) {
    } catch (const std::bad_alloc&) {
      reserve.reset();
      EndingStep([&] { client.SendFaultQuit(irc::Fault::kOutOfMemory); });
    } catch (...) {
      // A fault of ours: the visit still ends the way every other ending does.
      reserve.reset();
      EndingStep([&] { client.SendFaultQuit(irc::Fault::kInternalError); });
    }
    EndingStep([&] { door.RunExitProcs(); });
    // A caller still connected gets the last words (a goodbye, the end of a burst), within limits.
    EndingStep([&] { door.DrainOutput(kExitDrainMs); });
  }
  EndingStep([&] { door.Present(); });
  return 0;
}

}  // namespace app
