#include "ansi/local_ansi.h"
#include "door/door.h"

namespace door {

void Door::DefaultChat() {
  sysop.chat_active = true;
  const uint8_t saved_attr = env_.local_ansi.ConsoleAttr();
  DoorSetAttr(0x07);
  DoorClearScreen();
  DoorWriteLn("Chat Mode Initiated");
  DoorNewLine();

  KeySource last_typist = KeySource::kNone;  // nobody yet
  for (;;) {
    char key = DoorReadKey();
    if (keys.last_key_extended && keys.last_key_source == KeySource::kCaller) continue;  // a cursor key
    if (key == 0) {
      key = DoorReadKey();  // only looked at for the Esc test below
    } else if (key == 8) {
      DoorWrite("\x08 \x08");
    } else if (key == 13) {
      DoorNewLine();
    } else if (key >= 32 && key <= 126) {
      if (keys.last_key_source != last_typist) {
        last_typist = keys.last_key_source;
        DoorSetForeground(last_typist == KeySource::kLocal ? 15 : 7);
      }
      DoorWrite(std::string_view(&key, 1));
    }
    if (key == 27) break;
  }

  DoorNewLine();
  DoorNewLine();
  DoorWriteLn("Chat Mode Terminated");
  DoorNewLine();
  DoorSetAttr(saved_attr);
  sysop.chat_active = false;
}

}  // namespace door
