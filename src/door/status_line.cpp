#include <algorithm>
#include <string>

#include "door/door.h"
#include "door/durations.h"
#include "door/text_helpers.h"

namespace door {
namespace {

constexpr int kStatusRow = 25;
constexpr uint8_t kTextAttr = 0x1F;       // white on blue
constexpr uint8_t kSeparatorAttr = 0x1E;  // yellow on blue
constexpr std::string_view kSeparator = "\xFE";

}  // namespace

void Door::DrawDefaultStatusLine() {
  auto text = [this](int column, std::string_view s) { PutStringAt(s, column, kStatusRow, kTextAttr); };
  auto separator = [this](int column) { PutStringAt(kSeparator, column, kStatusRow, kSeparatorAttr); };

  if (sysop.status_mode == 1) {
    text(1, std::string(80, ' '));
    separator(1);
    text(3, PadRight(visit.user_real_name, ' ', 20));
    separator(24);
    text(26, PadRight(StatusName(), ' ', 10));
    separator(37);
    text(39, "ZelkDoor!");
    separator(49);
    text(51, PadRight("Idle: " + FormatMS(IdleSeconds()), ' ', 11));
    separator(63);
    // In the last moment before the time ending the count may dip below zero; show 00:00:00 then.
    text(65, PadRight("Left: " + FormatHMS(std::max(SecondsLeft(), 0)), ' ', 20));
    separator(80);
  } else if (sysop.status_mode == 2) {
    text(1, std::string(80, ' '));
    separator(1);
    text(3, "F1: Toggle StatusBar");
    separator(24);
    text(26, "Alt-C: Chat");
    separator(38);
    text(40, "Alt-H: Hang-Up");
    separator(55);
    text(57, "Alt-K: Kick");
    separator(69);
  }
}

}  // namespace door
