#include "platform/terminal.h"

#define NCURSES_WIDECHAR 1
#include <curses.h>
#include <locale.h>
#include <signal.h>
#include <unistd.h>
#include <wchar.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/cp437.h"
#include "platform/key_timing.h"
#include "platform/posix/terminal_keys.h"
#include "platform/signals.h"

namespace platform {
namespace {

// Set while curses owns the terminal; read by the crash handler and the exit hook, which must put
// the terminal back however the program ends.
volatile sig_atomic_t g_curses_active = 0;

// Bounds one pump, so that a terminal that keeps reporting input cannot hold the loop.
constexpr int kMaxKeysPerPump = 4096;

constexpr uint32_t kAllRows = (1u << Console::kRows) - 1;

enum class ColourMode { kMono, kEight, kSixteen };

// PC colour order (black, blue, green, cyan, red, magenta, brown, grey) in curses numbers.
constexpr short kCursesColour[8] = {COLOR_BLACK, COLOR_BLUE,    COLOR_GREEN,  COLOR_CYAN,
                                    COLOR_RED,   COLOR_MAGENTA, COLOR_YELLOW, COLOR_WHITE};

void RestoreTerminal() {
  if (!g_curses_active) return;
  g_curses_active = 0;
  endwin();
}

void OnCrashSignal(int sig) {
  RestoreTerminal();
  signal(sig, SIG_DFL);
  raise(sig);
}

// Wide glyphs need a UTF-8 character type; a bare C or POSIX environment gets C.UTF-8.
void ChooseLocale() {
  const char* name = setlocale(LC_CTYPE, "");
  if (name == nullptr || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0) {
    setlocale(LC_CTYPE, "C.UTF-8");
  }
}

// Key sequences that terminals send without saying so in their terminfo entry: cursor keys in
// normal mode (when the keypad-transmit request is ignored) and the common vt220 and rxvt editing
// and function keys. A sequence the entry already defines is left alone.
constexpr struct {
  const char* sequence;
  int code;
} kExtraKeys[] = {
    {"\x1b[A", KEY_UP},     {"\x1b[B", KEY_DOWN},   {"\x1b[C", KEY_RIGHT},  {"\x1b[D", KEY_LEFT},
    {"\x1bOA", KEY_UP},     {"\x1bOB", KEY_DOWN},   {"\x1bOC", KEY_RIGHT},  {"\x1bOD", KEY_LEFT},
    {"\x1b[H", KEY_HOME},   {"\x1b[F", KEY_END},    {"\x1bOH", KEY_HOME},   {"\x1bOF", KEY_END},
    {"\x1b[1~", KEY_HOME},  {"\x1b[4~", KEY_END},   {"\x1b[7~", KEY_HOME},  {"\x1b[8~", KEY_END},
    {"\x1b[2~", KEY_IC},    {"\x1b[3~", KEY_DC},    {"\x1b[5~", KEY_PPAGE}, {"\x1b[6~", KEY_NPAGE},
    {"\x1bOP", KEY_F(1)},   {"\x1bOQ", KEY_F(2)},   {"\x1bOR", KEY_F(3)},   {"\x1bOS", KEY_F(4)},
    {"\x1b[11~", KEY_F(1)}, {"\x1b[12~", KEY_F(2)}, {"\x1b[13~", KEY_F(3)}, {"\x1b[14~", KEY_F(4)},
    {"\x1b[15~", KEY_F(5)}, {"\x1b[[A", KEY_F(1)},  {"\x1b[[B", KEY_F(2)},  {"\x1b[[C", KEY_F(3)},
    {"\x1b[[D", KEY_F(4)},  {"\x1b[[E", KEY_F(5)},
};

class CursesTerminal : public Terminal {
 public:
  explicit CursesTerminal(SCREEN* screen) : screen_(screen) {
    set_term(screen_);
    g_curses_active = 1;
    static const bool exit_hook = std::atexit(RestoreTerminal) == 0;
    (void)exit_hook;
    InstallCrashHandlers();

    raw();  // Ctrl-C, Ctrl-Z, Ctrl-S and Ctrl-Q reach the door as bytes
    noecho();
    nonl();  // Enter stays CR
    intrflush(stdscr, FALSE);
    keypad(stdscr, TRUE);
    for (const auto& key : kExtraKeys) {
      if (key_defined(key.sequence) == 0) define_key(key.sequence, key.code);
    }
    nodelay(stdscr, TRUE);
    scrollok(stdscr, FALSE);
    set_escdelay(kEscWaitMs);
    curs_set(1);
    SetUpGlyphs();
    SetUpColours();
  }

  ~CursesTerminal() override {
    const bool was_active = g_curses_active != 0;
    RestoreTerminal();
    // The sysop's terminal has switched back to its normal screen: the door's last screen goes
    // there too, so that a final message or the usage text stays readable after the door ends.
    if (was_active && presented_) ReprintLastScreen();
    for (int sig = 1; sig < NSIG; ++sig) {
      if (handled_[sig]) sigaction(sig, &previous_[sig], nullptr);
    }
    delscreen(screen_);
  }

  int KeyFd() const override { return STDIN_FILENO; }

  void PumpKeys(Console& console) override {
    for (int i = 0; i < kMaxKeysPerPump; ++i) {
      wint_t ch = 0;
      int kind = get_wch(&ch);
      if (kind == ERR) break;
      if (kind == KEY_CODE_YES) {
        if (ch == KEY_RESIZE) {
          redraw_all_ = true;
        } else {
          console.PushKeys(decoder_.KeyCode(static_cast<int>(ch)));
        }
      } else {
        console.PushKeys(decoder_.Char(static_cast<uint32_t>(ch)));
      }
    }
    console.PushKeys(decoder_.Flush());
  }

  void Present(Console& console) override {
    // Bells rung since the last look ring once: a burst of them is one bell.
    const bool ring = console.Beeps() != beeps_seen_;
    beeps_seen_ = console.Beeps();
    if (ring) beep();
    if (!console.Dirty() && !redraw_all_) return;
    uint32_t rows = console.TakeDirtyRows();
    console.ClearCursorMoved();
    if (redraw_all_) {
      erase();
      rows = kAllRows;
      redraw_all_ = false;
    }
    // A terminal with fewer rows than the console keeps the status line on its last row and shows
    // the text rows around the cursor above it; one with fewer columns shows the left part. A
    // larger one keeps the console at its top left.
    if (const int top = TextTop(console); top != text_top_) {
      text_top_ = top;
      erase();
      rows = kAllRows;
    }
    const int height = std::min(LINES, Console::kRows);
    const int width = std::min(COLS, Console::kCols);
    for (int line = 0; line < height; ++line) {
      const int row = RowOnLine(line);
      if (rows & (1u << (row - 1))) DrawRow(console, row, line, width);
    }
    move(LineOfRow(console.CursorRow()), std::clamp(console.CursorCol() - 1, 0, std::max(COLS - 1, 0)));
    refresh();
    presented_ = true;
  }

  void Beep() override { beep(); }

 private:
  void InstallCrashHandlers() {
    struct sigaction sa {};
    sa.sa_handler = OnCrashSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND;
    // A crash, a user or timer signal, a CPU limit: the sysop's terminal is put back first. One
    // that was ignored when the door started stays ignored.
    for (const int sig : FatalSignals()) {
      if (sig <= 0 || sig >= NSIG || sigaction(sig, nullptr, &previous_[sig]) != 0) continue;
      if (previous_[sig].sa_handler == SIG_IGN) continue;
      handled_[sig] = sigaction(sig, &sa, nullptr) == 0;
    }
  }

  // A glyph the locale cannot show in exactly one column would shift the rest of the row.
  void SetUpGlyphs() {
    for (int b = 0; b < 256; ++b) {
      wchar_t wc = static_cast<wchar_t>(Cp437ToUnicode(static_cast<uint8_t>(b)));
      if (wcwidth(wc) != 1) wc = static_cast<wchar_t>(Cp437AsciiFallback(static_cast<uint8_t>(b)));
      glyphs_[b] = wc;
    }
  }

  // Sixteen foregrounds on eight backgrounds: as 128 pairs with the bright colours when the
  // terminal has them; else as 64 pairs with bold for bright (pair 0, the terminal's own grey on
  // black, standing for 0x07 because such terminals often have no pair 64); else bold and reverse.
  void SetUpColours() {
    ColourMode mode = ColourMode::kMono;
    if (has_colors() && start_color() == OK) {
      if (COLORS >= 16 && COLOR_PAIRS > 128) {
        mode = ColourMode::kSixteen;
      } else if (COLORS >= 8 && COLOR_PAIRS >= 64) {
        mode = ColourMode::kEight;
      }
    }
    colour_mode_ = mode;
    if (mode == ColourMode::kSixteen) {
      for (int bg = 0; bg < 8; ++bg) {
        for (int fg = 0; fg < 16; ++fg) {
          init_pair(static_cast<short>(1 + bg * 16 + fg),
                    static_cast<short>(kCursesColour[fg & 7] + (fg & 8)), kCursesColour[bg]);
        }
      }
    } else if (mode == ColourMode::kEight) {
      for (int pair = 1; pair < 64; ++pair) {
        int combo = pair == 7 ? 0 : pair;
        init_pair(static_cast<short>(pair), kCursesColour[combo & 7], kCursesColour[combo >> 3]);
      }
    }
    for (int attr = 0; attr < 256; ++attr) {
      const int fg = attr & 15, bg = (attr >> 4) & 7;
      attr_t a = (attr & 0x80) ? A_BLINK : A_NORMAL;
      short pair = 0;
      if (mode == ColourMode::kSixteen) {
        pair = static_cast<short>(1 + bg * 16 + fg);
      } else {
        if (fg & 8) a |= A_BOLD;
        if (mode == ColourMode::kEight) {
          int combo = bg * 8 + (fg & 7);
          pair = static_cast<short>(combo == 7 ? 0 : combo == 0 ? 7 : combo);
        } else if (bg != 0) {
          a |= A_REVERSE;
        }
      }
      attrs_[attr] = a;
      pairs_[attr] = pair;
    }
  }

  // The first text row shown. With fewer than 25 rows the terminal shows the status row on its
  // last line and as many text rows as fit above it: the bottom ones, where text scrolls, unless the
  // cursor is higher up (a cleared screen starts at the top), so the row being typed on is seen.
  static int TextTop(const Console& console) {
    if (LINES >= Console::kRows) return 1;
    const int bottom_top = Console::kRows - std::max(LINES - 1, 0);
    const int cursor = console.CursorRow();
    return cursor < bottom_top ? std::max(cursor, 1) : bottom_top;
  }

  // The console row that a terminal line shows, for the layout last drawn.
  int RowOnLine(int line) const {
    if (LINES >= Console::kRows) return line + 1;
    return line == LINES - 1 ? Console::kRows : text_top_ + line;
  }

  int LineOfRow(int row) const {
    if (LINES >= Console::kRows) return row - 1;
    if (row == Console::kRows) return std::max(LINES - 1, 0);
    return std::clamp(row - text_top_, 0, std::max(LINES - 2, 0));
  }

  void DrawRow(const Console& console, int row, int line, int width) {
    std::array<cchar_t, Console::kCols> cells{};
    Cell* shown = &shown_[(row - 1) * Console::kCols];
    for (int col = 0; col < width; ++col) {
      const Cell& cell = console.At(col + 1, row);
      shown[col] = cell;
      const wchar_t text[2] = {glyphs_[cell.ch], L'\0'};
      setcchar(&cells[col], text, attrs_[cell.attr], pairs_[cell.attr], nullptr);
    }
    std::fill(shown + width, shown + Console::kCols, Cell{});
    mvadd_wchnstr(line, 0, cells.data(), width);
  }

  // After endwin: the rows last shown, as text in the terminal's own colour sequences, each cut at
  // its last visible cell; blank rows at the end are left out.
  void ReprintLastScreen() {
    const int height = std::min(LINES, Console::kRows);
    int end = -1;
    for (int line = 0; line < height; ++line) {
      if (VisibleLength(RowOnLine(line)) > 0) end = line;
    }
    std::string out;
    for (int line = 0; line <= end; ++line) {
      const int row = RowOnLine(line);
      const Cell* cells = &shown_[(row - 1) * Console::kCols];
      int current = -1;
      for (int col = 0, length = VisibleLength(row); col < length; ++col) {
        if (cells[col].attr != current) {
          current = cells[col].attr;
          AppendAttribute(out, static_cast<uint8_t>(current));
        }
        AppendGlyph(out, glyphs_[cells[col].ch]);
      }
      AppendCap(out, Cap("sgr0"));
      out += '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
  }

  // Cells up to the last one that shows something: a blank on black shows nothing.
  int VisibleLength(int row) const {
    const Cell* cells = &shown_[(row - 1) * Console::kCols];
    int length = Console::kCols;
    while (length > 0 && (cells[length - 1].ch == ' ' || cells[length - 1].ch == 0) &&
           (cells[length - 1].attr & 0x70) == 0)
      --length;
    return length;
  }

  // A terminfo string of the terminal; nullptr when it has none.
  static const char* Cap(const char* name) {
    const char* cap = tigetstr(name);
    return cap == reinterpret_cast<const char*>(-1) ? nullptr : cap;
  }

  static void AppendCap(std::string& out, const char* cap) {
    if (cap != nullptr) out += cap;
  }

  static void AppendColour(std::string& out, const char* cap, int colour) {
    if (cap == nullptr) return;
    AppendCap(out, tiparm(cap, colour));
  }

  void AppendAttribute(std::string& out, uint8_t attr) const {
    const int fg = attr & 15, bg = (attr >> 4) & 7;
    AppendCap(out, Cap("sgr0"));
    if (attr == 0x07) return;  // the terminal's own colours, as on the curses screen
    if (attr & 0x80) AppendCap(out, Cap("blink"));
    switch (colour_mode_) {
      case ColourMode::kSixteen:
        AppendColour(out, Cap("setaf"), kCursesColour[fg & 7] + (fg & 8));
        AppendColour(out, Cap("setab"), kCursesColour[bg]);
        break;
      case ColourMode::kEight:
        if (fg & 8) AppendCap(out, Cap("bold"));
        AppendColour(out, Cap("setaf"), kCursesColour[fg & 7]);
        AppendColour(out, Cap("setab"), kCursesColour[bg]);
        break;
      case ColourMode::kMono:
        if (fg & 8) AppendCap(out, Cap("bold"));
        if (bg != 0) AppendCap(out, Cap("rev"));
        break;
    }
  }

  static void AppendGlyph(std::string& out, wchar_t glyph) {
    char bytes[MB_LEN_MAX];
    std::mbstate_t state{};
    const size_t n = std::wcrtomb(bytes, glyph, &state);
    if (n == static_cast<size_t>(-1)) {
      out += '?';
    } else {
      out.append(bytes, n);
    }
  }

  SCREEN* screen_;
  KeyDecoder decoder_;
  bool redraw_all_ = true;
  int text_top_ = 1;  // the first text row shown on a terminal of fewer than 25 rows
  bool presented_ = false;
  int beeps_seen_ = 0;
  ColourMode colour_mode_ = ColourMode::kMono;
  std::array<Cell, Console::kCols * Console::kRows> shown_{};  // what the terminal shows, for the reprint
  std::array<wchar_t, 256> glyphs_{};
  std::array<attr_t, 256> attrs_{};
  std::array<short, 256> pairs_{};
  struct sigaction previous_[NSIG] {};  // by signal number, where handled_ says so
  bool handled_[NSIG] = {};
};

}  // namespace

std::unique_ptr<Terminal> OpenTerminal() {
  if (g_curses_active || !isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return nullptr;
  ChooseLocale();
  std::fflush(stdout);
  SCREEN* screen = newterm(nullptr, stdout, stdin);
  if (screen == nullptr) return nullptr;
  return std::make_unique<CursesTerminal>(screen);
}

}  // namespace platform
