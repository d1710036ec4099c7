// The sysop's console on Windows: the console model drawn into a screen buffer of its own, 80 by
// 25 cells, whose attributes are the PC attributes themselves, and the console's key events read
// raw. The console is put back as it was when the object goes.
#include "platform/terminal.h"

#include <array>
#include <cstdlib>

#include "platform/cp437.h"
#include "platform/windows/console_keys.h"
#include "platform/windows/wait_handles.h"

namespace platform {
namespace {

// Bounds one pump, so that a console that keeps reporting input cannot hold the loop.
constexpr int kMaxEventsPerPump = 4096;
constexpr uint32_t kAllRows = (1u << Console::kRows) - 1;

bool g_open = false;  // one sysop console per process

bool IsConsole(HANDLE h) {
  DWORD mode = 0;
  return h != nullptr && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode);
}

class WindowsConsoleTerminal : public Terminal {
 public:
  WindowsConsoleTerminal(HANDLE input, HANDLE original_output, HANDLE screen)
      : input_(input), original_output_(original_output), screen_(screen) {
    GetConsoleMode(input_, &original_input_mode_);
    // Raw keys: Ctrl-C, Enter and Backspace reach the door as key events, nothing is echoed.
    SetConsoleMode(input_, ENABLE_WINDOW_INPUT);
    SetScreenSize();
    SetConsoleActiveScreenBuffer(screen_);
    CONSOLE_CURSOR_INFO cursor{25, TRUE};
    SetConsoleCursorInfo(screen_, &cursor);
    for (int b = 0; b < 256; ++b) {
      const char32_t c = Cp437ToUnicode(static_cast<uint8_t>(b));
      glyphs_[b] = c <= 0xFFFF ? static_cast<wchar_t>(c) : L'?';
    }
  }

  ~WindowsConsoleTerminal() override {
    SetConsoleActiveScreenBuffer(original_output_);
    SetConsoleMode(input_, original_input_mode_);
    CloseHandle(screen_);
    g_open = false;
  }

  int KeyFd() const override { return windows::kConsoleInputFd; }

  void PumpKeys(Console& console) override {
    std::array<INPUT_RECORD, 64> records;
    for (int total = 0; total < kMaxEventsPerPump;) {
      DWORD waiting = 0;
      if (!GetNumberOfConsoleInputEvents(input_, &waiting) || waiting == 0) break;
      DWORD read = 0;
      if (!ReadConsoleInputW(input_, records.data(), static_cast<DWORD>(records.size()), &read) || read == 0)
        break;
      total += static_cast<int>(read);
      for (DWORD i = 0; i < read; ++i) {
        const INPUT_RECORD& r = records[i];
        if (r.EventType == WINDOW_BUFFER_SIZE_EVENT) redraw_all_ = true;
        if (r.EventType != KEY_EVENT || !r.Event.KeyEvent.bKeyDown) continue;
        const KEY_EVENT_RECORD& k = r.Event.KeyEvent;
        const std::string bytes = windows::ConsoleKeyBytes(
            {k.wVirtualKeyCode, static_cast<char16_t>(k.uChar.UnicodeChar), k.dwControlKeyState});
        for (WORD n = 0; n < (k.wRepeatCount == 0 ? 1 : k.wRepeatCount) && n < 64; ++n)
          console.PushKeys(bytes);
      }
    }
  }

  void Present(Console& console) override {
    if (!console.Dirty() && !redraw_all_) return;
    uint32_t rows = console.TakeDirtyRows();
    console.ClearCursorMoved();
    if (redraw_all_) {
      rows = kAllRows;
      redraw_all_ = false;
    }
    std::array<CHAR_INFO, Console::kCols> cells;
    for (int row = 1; row <= Console::kRows; ++row) {
      if (!(rows & (1u << (row - 1)))) continue;
      for (int col = 0; col < Console::kCols; ++col) {
        const Cell& cell = console.At(col + 1, row);
        cells[col].Char.UnicodeChar = glyphs_[cell.ch];
        cells[col].Attributes = cell.attr;  // the console's attribute bits are the PC's
      }
      SMALL_RECT area{0, static_cast<SHORT>(row - 1), Console::kCols - 1, static_cast<SHORT>(row - 1)};
      WriteConsoleOutputW(screen_, cells.data(), {Console::kCols, 1}, {0, 0}, &area);
    }
    SetConsoleCursorPosition(
        screen_, {static_cast<SHORT>(console.CursorCol() - 1), static_cast<SHORT>(console.CursorRow() - 1)});
  }

  void Beep() override { MessageBeep(MB_OK); }

 private:
  // 80 by 25 with no scroll-back; a console that cannot take the size keeps its own.
  void SetScreenSize() {
    SMALL_RECT small{0, 0, 0, 0};
    SetConsoleWindowInfo(screen_, TRUE, &small);
    SetConsoleScreenBufferSize(screen_, {Console::kCols, Console::kRows});
    SMALL_RECT full{0, 0, Console::kCols - 1, Console::kRows - 1};
    SetConsoleWindowInfo(screen_, TRUE, &full);
  }

  HANDLE input_;
  HANDLE original_output_;
  HANDLE screen_;
  DWORD original_input_mode_ = 0;
  bool redraw_all_ = true;
  std::array<wchar_t, 256> glyphs_{};
};

}  // namespace

std::unique_ptr<Terminal> OpenTerminal() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (g_open || !IsConsole(input) || !IsConsole(output)) return nullptr;
  const HANDLE screen =
      CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                CONSOLE_TEXTMODE_BUFFER, nullptr);
  if (screen == INVALID_HANDLE_VALUE) return nullptr;
  g_open = true;
  return std::make_unique<WindowsConsoleTerminal>(input, output, screen);
}

}  // namespace platform
