#include "door/door.h"
#include "door/program_end.h"
#include "platform/console.h"
#include "platform/signals.h"
#include "platform/terminal.h"

namespace door {
namespace {

// Scan codes of the sysop keys on the local keyboard.
constexpr uint8_t kScanF1 = 59;
constexpr uint8_t kScanAltC = 46;
constexpr uint8_t kScanAltH = 35;
constexpr uint8_t kScanAltK = 37;

constexpr uint8_t kSourceLocal = 1;
constexpr uint8_t kSourceCaller = 2;

}  // namespace

bool Door::DoorKeyPressed() {
  // The BBS taking the node down ends the visit like a lost carrier, in both modes.
  if (platform::TerminationRequested()) {
    if (!terminating_) {
      terminating_ = true;
      if (on_carrier_drop) on_carrier_drop();
    }
    EndProgram();
  }
  Tick();
  if (env_.terminal != nullptr) env_.terminal->PumpKeys(env_.console);
  return env_.console.KeyPressed() || (comm_type != 0 && caller.DataWaiting());
}

char Door::DoorReadKey() {
  last_key_source = 0;
  char key = 0;
  for (;;) {
    while (!DoorKeyPressed()) WaitForEvent();
    platform::Console& console = env_.console;
    if (console.KeyPressed()) {
      const uint8_t byte = console.ReadKey();
      if (byte != 0) {
        key = static_cast<char>(byte);
        last_key_extended = false;
      } else {
        const uint8_t scan = console.ReadKey();
        if (scan == kScanF1) {
          status_mode = status_mode >= status_mode_count ? 1 : status_mode + 1;
          if (on_status_bar) on_status_bar();
          continue;
        }
        if (scan == kScanAltC) {
          if (!chat_active && on_chat) on_chat();
          continue;
        }
        if (scan == kScanAltH || scan == kScanAltK) continue;
        key = static_cast<char>(scan);
        last_key_extended = true;
      }
      last_key_source = kSourceLocal;
      break;
    }
    if (comm_type != 0 && caller.DataWaiting()) {
      key = caller.ReadChar();
      last_key_extended = false;
      last_key_source = kSourceCaller;
      break;
    }
  }
  last_key = key;
  idle_start = SecondsOfDay();
  return key;
}

}  // namespace door
