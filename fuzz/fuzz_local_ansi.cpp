// Any bytes through the local ANSI interpreter on the 80x25 console model, once in one write and
// once split in two writes at a point the input chooses. Afterwards the cursor must lie inside the
// window, no attribute may have bit 7 set, and both runs must have drawn the same screen.
//
// Input: flags byte (bit 0: the next five bytes set a window and a starting attribute), the split
// point as a fraction of the text (one byte), then the text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "ansi/local_ansi.h"
#include "platform/console.h"

namespace {

using platform::Console;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

void CheckScreen(const Console& console, const ansi::LocalAnsi& interpreter) {
  const int left = console.WindowLeft(), top = console.WindowTop();
  const int right = console.WindowRight(), bottom = console.WindowBottom();
  if (left < 1 || top < 1 || right > Console::kCols || bottom > Console::kRows || left > right ||
      top > bottom)
    Fail("window outside the screen");
  if (console.CursorCol() < left || console.CursorCol() > right || console.CursorRow() < top ||
      console.CursorRow() > bottom)
    Fail("cursor outside the window");
  if (console.WhereX() < 1 || console.WhereX() > console.WindowWidth() || console.WhereY() < 1 ||
      console.WhereY() > console.WindowHeight())
    Fail("window-relative cursor out of range");
  if (interpreter.ConsoleAttr() & 0x80) Fail("console attribute with bit 7");
  // Each row's cells lie side by side. Or-ing them keeps the check to one compare: under the
  // fuzzer's instrumentation a compare per cell would cost more than the interpreter itself.
  uint8_t attrs = 0;
  for (int row = 1; row <= Console::kRows; ++row) {
    const platform::Cell* cells = &console.At(1, row);
    for (int col = 0; col < Console::kCols; ++col) attrs |= cells[col].attr;
  }
  if (attrs & 0x80) Fail("cell attribute with bit 7");
}

bool SameScreen(const Console& a, const Console& b) {
  if (a.CursorCol() != b.CursorCol() || a.CursorRow() != b.CursorRow() || a.TextAttr() != b.TextAttr() ||
      a.Beeps() != b.Beeps())
    return false;
  static_assert(sizeof(platform::Cell) == 2);
  for (int row = 1; row <= Console::kRows; ++row) {
    if (std::memcmp(&a.At(1, row), &b.At(1, row), Console::kCols * sizeof(platform::Cell)) != 0) return false;
  }
  return true;
}

struct Setup {
  bool window = false;
  int left = 1, top = 1, right = Console::kCols, bottom = Console::kRows;
  uint8_t attr = 0x07;
};

void Prepare(Console& console, ansi::LocalAnsi& interpreter, const Setup& setup) {
  if (setup.window) console.SetWindow(setup.left, setup.top, setup.right, setup.bottom);
  interpreter.SetConsoleAttr(setup.attr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  Setup setup;
  uint8_t split_fraction = 128;
  if (input.size() >= 2) {
    const auto flags = static_cast<uint8_t>(input[0]);
    split_fraction = static_cast<uint8_t>(input[1]);
    input.remove_prefix(2);
    if ((flags & 1) != 0 && input.size() >= 5) {
      setup.window = true;
      // A little beyond the screen on each side, so that clamping is exercised too.
      setup.left = static_cast<uint8_t>(input[0]) % 84 - 1;
      setup.top = static_cast<uint8_t>(input[1]) % 29 - 1;
      setup.right = static_cast<uint8_t>(input[2]) % 84 - 1;
      setup.bottom = static_cast<uint8_t>(input[3]) % 29 - 1;
      setup.attr = static_cast<uint8_t>(input[4]) & 0x7F;
      input.remove_prefix(5);
    }
  }
  const size_t split = input.size() * split_fraction / 255;

  Console whole;
  ansi::LocalAnsi whole_interpreter(whole);
  Prepare(whole, whole_interpreter, setup);
  whole_interpreter.LocalAnsiWrite(input);
  CheckScreen(whole, whole_interpreter);

  Console parts;
  ansi::LocalAnsi parts_interpreter(parts);
  Prepare(parts, parts_interpreter, setup);
  parts_interpreter.LocalAnsiWrite(input.substr(0, split));
  CheckScreen(parts, parts_interpreter);
  parts_interpreter.LocalAnsiWrite(input.substr(split));
  CheckScreen(parts, parts_interpreter);

  if (!SameScreen(whole, parts)) Fail("a split write drew a different screen");
  return 0;
}
