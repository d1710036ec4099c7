#include "ansi/local_ansi.h"
#include "door/door.h"
#include "door/key_table.h"
#include "text/caller_charset.h"

namespace door {
namespace {

constexpr char kNul = 0;

}  // namespace

void Door::DefaultChat() {
  sysop.chat_active = true;
  chat_ = ChatState{};
  chat_.saved_attr = env_.local_ansi.ConsoleAttr();
  DoorSetAttr(0x07);
  DoorClearScreen();
  DoorWriteLn("Chat Mode Initiated");
  DoorNewLine();
}

void Door::ChatKey(const StreamKey& key) {
  timers.idle_start = MonotonicMs();  // typing in the chat is no idling
  if (chat_.after_nul) {
    chat_.after_nul = false;
    if (key.key == kEsc) EndChat();
    return;
  }
  if (key.extended) return;  // the sysop's cursor and function keys type nothing
  const auto byte = static_cast<unsigned char>(key.key);
  if (key.key == kNul) {
    chat_.after_nul = true;
  } else if (key.key == kBackspace) {
    DoorWrite("\x08 \x08");
  } else if (key.key == kEnter) {
    DoorNewLine();
  } else if (key.key == kEsc) {
    EndChat();
  } else if (byte >= 0x80 || (byte >= 32 && byte <= 126)) {
    // A character beyond ASCII comes as its UTF-8 bytes and is written once they are all in: each
    // side sees it in its own charset.
    if (!chat_.typed_char.Feed(byte)) return;
    if (key.source != chat_.last_typist) {
      chat_.last_typist = key.source;
      DoorSetForeground(chat_.last_typist == KeySource::kLocal ? 15 : 7);
    }
    std::string shown;
    text::AppendShownUtf8(shown, chat_.typed_char.chars());
    DoorWrite(shown);
  }
}

void Door::EndChat() {
  DoorNewLine();
  DoorNewLine();
  DoorWriteLn("Chat Mode Terminated");
  DoorNewLine();
  DoorSetAttr(chat_.saved_attr);
  sysop.chat_active = false;
  if (on_chat_end) on_chat_end();
  if (edited_field_) {
    DoorSetAttr(edited_field_->attr);
    DrawInputField(*edited_field_->text, edited_field_->mask, edited_field_->width,
                   edited_field_->start_column);
  }
}

}  // namespace door
