// A client typed at through the real input path: bytes from the caller's socket, decoded by the
// door's key reader, handed to the client one key at a time. What the caller was sent is played
// on a second screen by the door's own ANSI interpreter, to compare with the local console.
#pragma once

#include <string>
#include <string_view>

#include "ansi/local_ansi.h"
#include "door/door.h"
#include "irc/client/client.h"
#include "platform/console.h"
#include "support/door_fixture.h"
#include "support/temp_ini.h"

namespace irc {

class Typist {
 public:
  Typist() {
    fixture_.door->visit.time_left = 86'400;
    client_.DrawInputLine();
    Sent();
  }

  void Type(std::string_view keys) {
    fixture_.CallerTypes(keys);
    while (fixture_.door->DoorKeyPressed()) client_.HandleKey(fixture_.door->DoorReadKey());
  }
  // Characters as a UTF-8 caller's key stream gives them (the fixture's door decodes code page 437).
  void TypeUtf8(std::string_view bytes) {
    for (const char c : bytes) client_.HandleKey(c);
  }
  // What the caller was sent since the last call; it is played on the caller's screen as well.
  std::string Sent() {
    std::string bytes = fixture_.CallerReceived();
    caller_ansi_.LocalAnsiWrite(bytes);
    return bytes;
  }
  static std::string Trimmed(std::string row) { return row.substr(0, row.find_last_not_of(' ') + 1); }
  std::string Row() const { return Trimmed(fixture_.console.RowText(fixture_.console.CursorRow())); }
  int Column() const { return fixture_.console.WhereX(); }
  std::string CallerRow() const { return Trimmed(caller_screen_.RowText(caller_screen_.CursorRow())); }
  int CallerColumn() const { return caller_screen_.WhereX(); }
  const platform::Console& caller_screen() const { return caller_screen_; }

  testsupport::DoorFixture fixture_;
  testsupport::TempIni ini_{""};
  Client client_{*fixture_.door, ini_.path()};

 private:
  platform::Console caller_screen_;
  ansi::LocalAnsi caller_ansi_{caller_screen_};
};

}  // namespace irc
