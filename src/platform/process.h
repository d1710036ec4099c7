// The running program itself.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The executable's own path (from /proc/self/exe; argv0 when that is not available).
std::string ProgramPath(const char* argv0);
// The path the program was run by (argv0, perhaps a symbolic link) when it names a folder; empty
// when it is a bare name looked up in PATH, or missing.
std::string InvokedPath(const char* argv0);

// Puts /dev/null on any of the standard descriptors 0-2 that the program was started without,
// before anything else opens a descriptor: a socket made later must never become standard input
// or output, where the caller's keys are read and its screen is written. It is opened read-only,
// so that a screen written there fails like one whose caller has gone.
void HoldStandardDescriptors();

// Writes text to standard output as it is (for the usage text when there is no terminal to show
// it on).
void WriteStandardOutput(std::string_view text);

// A DOOR32.SYS path as a sysop of this system writes one, for the usage screen's example.
std::string_view ExampleDropFilePath();

}  // namespace platform
