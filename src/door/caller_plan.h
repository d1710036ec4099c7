// How the caller reaches the door, decided once from the command line and the drop file's text.
// The program asks it before anything is opened (a caller on the standard descriptors must never
// see the sysop's terminal) and the door's start-up acts on it; the two can never disagree.
#pragma once

#include <optional>
#include <string>

#include "door/command_line.h"
#include "door/visit.h"

namespace door {

// What the file named by -D held, as start-up reads it.
struct DropFileText {
  bool exists = false;              // something of that name is there
  std::optional<std::string> text;  // its bytes; empty when it is no regular file or unreadable
};

enum class CallerStart : uint8_t {
  kUsage,           // -? or --help: the usage screen
  kBadCommandLine,  // an option that needs a number has none: the message (to the caller too)
  kEnd,             // the drop file cannot be used: the message on the console
  kLocal,           // -L or nothing else: the local login
  kCaller,          // a caller to take over
  kNoCaller,        // a usable drop file of a local visit (comm type 0): no login, no caller
};

struct CallerPlan {
  CallerStart start = CallerStart::kLocal;
  HandOver hand_over = HandOver::kNone;  // how the caller is (or would be) reached; kNone: not at all
  Visit visit;                           // the defaults with what the command line and drop file set
  bool names_from_drop_file = false;
  std::string message;  // for kEnd and kBadCommandLine

  // The caller's bytes come and go on descriptors 0-2.
  bool OnStandardStreams() const;
};

// The plan for a start with this command line; drop_file is what the file named by -D held, and
// defaults the visit before start-up.
CallerPlan PlanCaller(const CommandLine& line, const DropFileText& drop_file, const Visit& defaults);

}  // namespace door
