#include "door/door.h"
#include "door/key_sequence.h"
#include "door/program_end.h"
#include "platform/console.h"
#include "platform/terminal.h"

namespace door {
namespace {

// Scan codes of the sysop keys on the local keyboard.
constexpr uint8_t kScanF1 = 59;
constexpr uint8_t kScanAltC = 46;
constexpr uint8_t kScanAltH = 35;
constexpr uint8_t kScanAltK = 37;

constexpr char kEsc = 27;
constexpr char kDel = 127;
constexpr char kBackspace = 8;

}  // namespace

bool Door::DoorKeyPressed() {
  Tick();  // also ends the visit when the BBS takes the node down
  if (env_.terminal != nullptr) env_.terminal->PumpKeys(env_.console);
  return env_.console.KeyPressed() || (visit.comm_type != 0 && caller.DataWaiting());
}

char Door::DoorReadKey() {
  keys.last_key_source = KeySource::kNone;
  char key = 0;
  for (;;) {
    while (!DoorKeyPressed()) WaitForEvent();
    platform::Console& console = env_.console;
    if (console.KeyPressed()) {
      const uint8_t byte = console.ReadKey();
      if (byte != 0) {
        key = static_cast<char>(byte);
        keys.last_key_extended = false;
      } else {
        const uint8_t scan = console.ReadKey();
        if (scan == kScanF1) {
          sysop.status_mode = sysop.status_mode >= sysop.status_mode_count ? 1 : sysop.status_mode + 1;
          if (on_status_bar) on_status_bar();
          continue;
        }
        if (scan == kScanAltC) {
          if (!sysop.chat_active && on_chat) on_chat();
          continue;
        }
        if (scan == kScanAltH || scan == kScanAltK) continue;
        key = static_cast<char>(scan);
        keys.last_key_extended = true;
      }
      keys.last_key_source = KeySource::kLocal;
      break;
    }
    if (visit.comm_type != 0 && caller.DataWaiting()) {
      key = caller.ReadChar();
      // A cursor or function key from the caller's terminal is one key that means nothing here.
      if (key == kEsc && SkipKeySequence(caller, env_.clock)) continue;
      if (key == kDel) key = kBackspace;  // what most terminals send for Backspace
      keys.last_key_extended = false;
      keys.last_key_source = KeySource::kCaller;
      break;
    }
  }
  keys.last_key = key;
  timers.idle_start = MonotonicMs();
  return key;
}

}  // namespace door
