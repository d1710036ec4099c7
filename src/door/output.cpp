#include <algorithm>

#include "ansi/local_ansi.h"
#include "ansi/sequences.h"
#include "door/door.h"
#include "platform/console.h"

namespace door {
namespace {

constexpr char kColourCodeByte = '\x7F';
constexpr size_t kMaxCellText = 256;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string ConvertColourCodes(std::string_view text) {
  std::string out;
  // Each code grows from 2 to 7 bytes; a little room avoids most regrowth for coloured lines.
  out.reserve(text.size() + 32);
  size_t i = 0;
  while (i < text.size()) {
    const size_t code = text.find(kColourCodeByte, i);
    if (code == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, code - i));
    const int colour = code + 1 < text.size() ? HexValue(text[code + 1]) : -1;
    if (colour < 0) {
      out.push_back(kColourCodeByte);
      i = code + 1;
      continue;
    }
    // The same bytes as ansi::AnsiForeground(colour), built in place.
    out.append(colour < 8 ? "\x1b[0;3" : "\x1b[1;3");
    out.push_back(static_cast<char>('0' + ansi::kColourMap[colour & 7]));
    out.push_back('m');
    i = code + 2;
  }
  return out;
}

void Door::DoorWrite(std::string_view text) {
  std::string converted;
  if (text.find(kColourCodeByte) != std::string_view::npos) {
    converted = ConvertColourCodes(text);
    text = converted;
  }
  env_.local_ansi.LocalAnsiWrite(text);
  if (comm_type != 0) caller.Send(text);
}

void Door::DoorWriteLn(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text);
  line.append("\r\n");
  DoorWrite(line);
}

void Door::DoorNewLine() {
  DoorWrite("\r\n");
}

void Door::DoorClearScreen() {
  DoorWrite(ansi::AnsiClearScreen());
}

void Door::DoorSetForeground(int colour) {
  DoorWrite(ansi::AnsiForeground(colour));
}

void Door::DoorSetBackground(int colour) {
  DoorWrite(ansi::AnsiBackground(colour));
}

void Door::DoorSetAttr(uint8_t attr) {
  DoorWrite(ansi::AnsiAttr(attr));
}

void Door::DoorCursorToColumn(int column) {
  const std::string move = ansi::AnsiCursorToColumn(env_.console, column);
  if (!move.empty()) DoorWrite(move);
}

void Door::PutStringAt(std::string_view text, int column, int row, uint8_t attr) {
  env_.console.WriteCells(column, row, text.substr(0, std::min(text.size(), kMaxCellText)), attr);
}

}  // namespace door
