// Ending the program from anywhere: EndProgram() throws ProgramEnd, which only the program's
// entry catches; it then runs the exit procedures and returns exit code 0.
#pragma once

namespace door {

struct ProgramEnd {};

[[noreturn]] inline void EndProgram() {
  throw ProgramEnd{};
}

}  // namespace door
