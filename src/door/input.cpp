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
  while (!ready_key_) {
    std::optional<StreamKey> key = TakeStreamKey();
    if (!key) break;
    // The chat takes every key while it runs; the one wait goes on serving the rest meanwhile.
    if (sysop.chat_active) {
      ChatKey(*key);
    } else {
      ready_key_ = key;
    }
  }
  return ready_key_.has_value();
}

void Door::DecodeCallerKeys() {
  if (pending_key_pos_ >= pending_keys_.size()) {
    pending_keys_.clear();
    pending_key_pos_ = 0;
  }
  // A byte that only starts a character leaves nothing pending; the rest of it may follow later.
  while (visit.HasCaller() && pending_keys_.empty()) {
    if (!caller.DataWaiting()) {
      // A byte that may start a UTF-8 character on a code page 437 visit: its rest comes in the
      // same write, or after a short wait on a slow link; without it the byte is code page 437.
      if (!caller_keys_.WaitsForRest()) break;
      if (WaitForCallerBytes(caller, env_.clock, 0, kEscWaitMs)) continue;
      caller_keys_.Flush(pending_keys_);
      break;
    }
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

std::optional<Door::StreamKey> Door::TakeStreamKey() {
  platform::Console& console = env_.console;
  for (;;) {
    // The rest of a character's bytes come before any other key.
    if (pending_key_pos_ < pending_keys_.size()) {
      return StreamKey{.key = pending_keys_[pending_key_pos_++],
                       .extended = pending_key_extended_,
                       .source = pending_key_source_};
    }
    if (!console.KeyPressed()) {
      DecodeCallerKeys();
      if (pending_key_pos_ < pending_keys_.size()) continue;
      return std::nullopt;
    }
    const uint8_t byte = console.ReadKey();
    if (byte >= 0x80) {  // a code page 437 character: its UTF-8 bytes follow as keys
      pending_keys_.clear();
      pending_key_pos_ = 0;
      local_keys_.Feed(byte, pending_keys_);
      pending_key_source_ = KeySource::kLocal;
      pending_key_extended_ = false;
      continue;
    }
    if (byte != 0) return StreamKey{.key = static_cast<char>(byte), .source = KeySource::kLocal};
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
    return StreamKey{.key = static_cast<char>(scan), .extended = true, .source = KeySource::kLocal};
  }
}

char Door::DoorReadKey() {
  keys.last_key_source = KeySource::kNone;
  while (!DoorKeyPressed()) WaitForEvent();
  const StreamKey key = *ready_key_;
  ready_key_.reset();
  keys.last_key = key.key;
  keys.last_key_extended = key.extended;
  keys.last_key_source = key.source;
  timers.idle_start = MonotonicMs();
  return key.key;
}

}  // namespace door
