#include "door/door.h"
#include "door/key_sequence.h"
#include "door/key_table.h"
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

}  // namespace

bool Door::DoorKeyPressed() {
  Tick();  // also ends the visit when the BBS takes the node down
  if (env_.terminal != nullptr) env_.terminal->PumpKeys(env_.console);
  if (pending_key_pos_ < pending_keys_.size() || env_.console.KeyPressed()) return true;
  DecodeCallerKeys();
  return pending_key_pos_ < pending_keys_.size();
}

void Door::DecodeCallerKeys() {
  if (pending_key_pos_ >= pending_keys_.size()) {
    pending_keys_.clear();
    pending_key_pos_ = 0;
  }
  // A byte that only starts a character leaves nothing pending; the rest of it may follow later.
  while (visit.HasCaller() && pending_keys_.empty() && caller.DataWaiting()) {
    char byte = caller.ReadChar();
    pending_key_source_ = KeySource::kCaller;
    // A cursor or function key from the caller's terminal is one key: the extended key of the
    // same name, or nothing for one the door has no use for.
    if (byte == kEsc && ReadKeySequence(caller, env_.clock, key_sequence_)) {
      const uint8_t key = KeyOfSequence(key_sequence_);
      if (key != 0) pending_keys_.assign(1, static_cast<char>(key));
      pending_key_extended_ = key != 0;
      continue;
    }
    if (byte == kDel) byte = kBackspace;  // what most terminals send for Backspace
    caller_keys_.Feed(static_cast<uint8_t>(byte), pending_keys_);
    pending_key_extended_ = false;
  }
}

char Door::DoorReadKey() {
  keys.last_key_source = KeySource::kNone;
  char key = 0;
  for (;;) {
    while (!DoorKeyPressed()) WaitForEvent();
    // The rest of a character's bytes come before any other key.
    if (pending_key_pos_ < pending_keys_.size()) {
      key = pending_keys_[pending_key_pos_++];
      keys.last_key_extended = pending_key_extended_;
      keys.last_key_source = pending_key_source_;
      break;
    }
    platform::Console& console = env_.console;
    if (console.KeyPressed()) {
      const uint8_t byte = console.ReadKey();
      if (byte >= 0x80) {  // a code page 437 character: its UTF-8 bytes follow as keys
        pending_keys_.clear();
        pending_key_pos_ = 0;
        local_keys_.Feed(byte, pending_keys_);
        pending_key_source_ = KeySource::kLocal;
        pending_key_extended_ = false;
        continue;
      }
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
  }
  keys.last_key = key;
  timers.idle_start = MonotonicMs();
  return key;
}

}  // namespace door
