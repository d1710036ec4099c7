#include "door/key_table.h"

#include <string>

namespace door {
namespace {

struct SequenceKey {
  std::string_view after_esc;
  ScanCode key;
};

// ANSI/VT100 and xterm (normal and application mode), VT220 and rxvt, and SyncTERM's ANSI-BBS
// forms (ESC [ K for End, ESC [ V and ESC [ U for Page Up and Page Down, ESC [ @ for Insert).
constexpr SequenceKey kSequenceKeys[] = {
    {"[A", kScanUp},      {"OA", kScanUp},      {"[B", kScanDown},      {"OB", kScanDown},
    {"[C", kScanRight},   {"OC", kScanRight},   {"[D", kScanLeft},      {"OD", kScanLeft},
    {"[H", kScanHome},    {"OH", kScanHome},    {"[1~", kScanHome},     {"[7~", kScanHome},
    {"[F", kScanEnd},     {"OF", kScanEnd},     {"[4~", kScanEnd},      {"[8~", kScanEnd},
    {"[K", kScanEnd},     {"[3~", kScanDelete}, {"[2~", kScanInsert},   {"[@", kScanInsert},
    {"[5~", kScanPageUp}, {"[V", kScanPageUp},  {"[6~", kScanPageDown}, {"[U", kScanPageDown},
};

}  // namespace

uint8_t KeyOfSequence(std::string_view sequence) {
  if (sequence.size() < 2 || sequence[0] != '\x1B') return 0;
  std::string key(sequence.substr(1));
  // ESC [ 1 ; m X and ESC [ n ; m ~: the key without its modifier.
  const size_t semicolon = key.find(';');
  if (semicolon != std::string::npos) {
    key.erase(semicolon, key.size() - 1 - semicolon);
    if (key.size() == 3 && key[1] == '1' && key[2] != '~') key.erase(1, 1);
  }
  for (const SequenceKey& entry : kSequenceKeys) {
    if (entry.after_esc == key) return entry.key;
  }
  return 0;
}

}  // namespace door
