#include "door/caller_plan.h"

#include <utility>

#include "door/drop_file.h"
#include "text/ascii.h"

namespace door {
namespace {

// The drop file's details over the plan's visit; false when it cannot be used, the plan then ending
// with the reason. Only the name test is made on the upper-cased path: the file itself is opened
// as given. A file that is there but cannot be read leaves every default.
bool ReadDropFileInto(const std::string& path, const DropFileText& drop_file, CallerPlan& plan) {
  plan.names_from_drop_file = true;
  std::string_view problem;
  if (!drop_file.exists || text::UpperAscii(path).find("DOOR32.SYS") == std::string::npos) {
    problem = "  DOOR32.SYS File Not Found";
  } else if (drop_file.text) {
    Door32Result result = ParseDoor32(*drop_file.text, plan.visit);
    if (result.visit) {
      plan.visit = std::move(*result.visit);
    } else {
      problem = "  DOOR32.SYS Is Not Valid";
    }
  }
  if (problem.empty()) return true;
  plan.start = CallerStart::kEnd;
  plan.message = problem;
  return false;
}

bool NamesASocket(const CommandLine& line) {
  return line.hand_over == HandOver::kSocket && line.socket_handle >= 0;
}

bool NamesAConnection(const CommandLine& line) {
  return line.hand_over == HandOver::kStdio || line.hand_over == HandOver::kConnectPort ||
         line.hand_over == HandOver::kConnectPath;
}

// A command line with a bad number still reaches the caller it names, so that they are told too;
// any fault of a drop file is left unsaid then.
void PlanBadCommandLine(const CommandLine& line, const DropFileText& drop_file, CallerPlan& plan) {
  plan.start = CallerStart::kBadCommandLine;
  plan.message = "  " + line.bad_number;
  if (NamesASocket(line) || line.hand_over == HandOver::kStdio ||
      (line.hand_over == HandOver::kConnectPort && line.connect_port >= 0) ||
      (line.hand_over == HandOver::kConnectPath && !line.connect_path.empty())) {
    plan.hand_over = line.hand_over;
    plan.visit.caller_socket = line.socket_handle;
  } else if (line.drop_file_named && drop_file.text) {
    const Door32Result result = ParseDoor32(*drop_file.text, plan.visit);
    if (result.visit && static_cast<uint8_t>(result.visit->comm_type) > 1) {
      plan.hand_over = HandOver::kSocket;
      plan.visit.caller_socket = result.visit->caller_socket;
    }
  }
  if (plan.hand_over != HandOver::kNone) plan.visit.comm_type = CommType::kTelnet;
}

}  // namespace

CallerPlan PlanCaller(const CommandLine& line, const DropFileText& drop_file, const Visit& defaults) {
  CallerPlan plan;
  plan.visit = defaults;
  if (line.usage_wanted) {
    plan.start = CallerStart::kUsage;
    return plan;
  }
  if (!line.bad_number.empty()) {
    PlanBadCommandLine(line, drop_file, plan);
    return plan;
  }
  if (line.local_mode) return plan;
  if (NamesASocket(line)) {
    plan.start = CallerStart::kCaller;
    plan.hand_over = HandOver::kSocket;
    plan.visit.comm_type = CommType::kTelnet;
    plan.visit.caller_socket = line.socket_handle;
    plan.visit.node = line.node;
    return plan;
  }
  plan.start = CallerStart::kNoCaller;
  if (NamesAConnection(line)) {
    // The option names the caller; a drop file given too only tells the visit's details.
    plan.hand_over = line.hand_over;
    plan.visit.node = line.node;
    if (!line.drop_file_path.empty() && !ReadDropFileInto(line.drop_file_path, drop_file, plan)) return plan;
    plan.start = CallerStart::kCaller;
    plan.visit.comm_type = CommType::kTelnet;
    return plan;
  }
  if (!line.drop_file_named) return plan;
  // An empty path names no file either.
  if (!ReadDropFileInto(line.drop_file_path, drop_file, plan)) return plan;
  plan.hand_over = HandOver::kSocket;
  if (plan.visit.comm_type == CommType::kSerial) {
    // A serial port is no caller this door can reach.
    plan.start = CallerStart::kEnd;
    plan.message = "  No Carrier Detected";
  } else if (plan.visit.HasCaller()) {
    plan.start = CallerStart::kCaller;
  }
  return plan;
}

bool CallerPlan::OnStandardStreams() const {
  if (hand_over == HandOver::kStdio) return true;
  return hand_over == HandOver::kSocket && visit.HasCaller() && visit.caller_socket >= 0 &&
         visit.caller_socket <= 2;
}

}  // namespace door
