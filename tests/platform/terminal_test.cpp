#include "platform/terminal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <locale.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <wchar.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/cp437.h"
#include "platform/posix/terminal_keys.h"

// Last: curses defines macros with common names.
#include <curses.h>

namespace platform {
namespace {

using namespace std::string_literals;

TEST(Cp437, GlyphsOfTheSystemsOwnBytes) {
  const struct {
    uint8_t byte;
    char32_t glyph;
  } cases[] = {
      {0x01, U'☺'}, {0x03, U'♥'}, {0x10, U'►'}, {0x1F, U'▼'}, {'A', U'A'},  {0x7F, U'⌂'},
      {0x80, U'Ç'}, {0xB3, U'│'}, {0xBA, U'║'}, {0xC4, U'─'}, {0xDA, U'┌'}, {0xDB, U'█'},
      {0xE1, U'ß'}, {0xED, U'φ'}, {0xF0, U'≡'}, {0xF9, U'∙'}, {0xFA, U'·'}, {0xFE, U'■'},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Cp437ToUnicode(c.byte), c.glyph) << std::hex << int{c.byte};
  }
}

TEST(Cp437, EveryByteHasItsOwnOneColumnGlyph) {
  const std::string saved = setlocale(LC_CTYPE, nullptr);
  if (setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
  for (int b = 1; b < 256; ++b) {
    const char32_t glyph = Cp437ToUnicode(static_cast<uint8_t>(b));
    EXPECT_EQ(wcwidth(static_cast<wchar_t>(glyph)), 1) << std::hex << b;
    EXPECT_EQ(UnicodeToCp437(glyph), b) << std::hex << b;
  }
  setlocale(LC_CTYPE, saved.c_str());
}

TEST(Cp437, PlainStandInsForTerminalsWithoutTheGlyphs) {
  EXPECT_EQ(std::string(1, Cp437AsciiFallback(0xB3)) + Cp437AsciiFallback(0xC4) + Cp437AsciiFallback(0xDA) +
                Cp437AsciiFallback(0xDB) + Cp437AsciiFallback(0x82) + Cp437AsciiFallback(0xE0) +
                Cp437AsciiFallback('x') + Cp437AsciiFallback(0xFF),
            "|-+#eax ");
  for (int b = 0; b < 256; ++b) {
    const char c = Cp437AsciiFallback(static_cast<uint8_t>(b));
    EXPECT_TRUE(c >= 0x20 && c < 0x7F) << std::hex << b;
  }
}

TEST(KeyDecoder, CharactersBecomeBytes) {
  const struct {
    uint32_t in;
    std::string out;
  } cases[] = {
      {'a', "a"},     {13, "\r"},          {10, "\r"},     {3, "\x03"},    {24, "\x18"},   {127, "\b"},
      {8, "\b"},      {9, "\t"},           {0, "\0\x03"s}, {U'é', "\x82"}, {U'░', "\xB0"}, {U'ß', "\xE1"},
      {U'β', "\xE1"}, {U'\u00A0', "\xFF"}, {U'☺', ""},     {U'⌂', ""},     {U'€', ""},     {0x85, ""},
  };
  for (const auto& c : cases) {
    KeyDecoder decoder;
    EXPECT_EQ(decoder.Char(c.in) + decoder.Flush(), c.out) << std::hex << c.in;
  }
}

TEST(KeyDecoder, FunctionKeysBecomeScanCodes) {
  const struct {
    int code;
    std::string out;
  } cases[] = {
      {KEY_F(1), "\0\x3B"s},  {KEY_F(2), "\0\x3C"s},  {KEY_F(10), "\0\x44"s}, {KEY_F(11), "\0\x85"s},
      {KEY_F(12), "\0\x86"s}, {KEY_F(13), "\0\x54"s}, {KEY_F(49), "\0\x68"s}, {KEY_UP, "\0\x48"s},
      {KEY_DOWN, "\0\x50"s},  {KEY_LEFT, "\0\x4B"s},  {KEY_RIGHT, "\0\x4D"s}, {KEY_HOME, "\0\x47"s},
      {KEY_END, "\0\x4F"s},   {KEY_PPAGE, "\0\x49"s}, {KEY_NPAGE, "\0\x51"s}, {KEY_IC, "\0\x52"s},
      {KEY_DC, "\0\x53"s},    {KEY_BACKSPACE, "\b"},  {KEY_ENTER, "\r"},      {KEY_BTAB, "\0\x0F"s},
      {KEY_MOUSE, ""},        {KEY_F(40), ""},
  };
  for (const auto& c : cases) {
    KeyDecoder decoder;
    EXPECT_EQ(decoder.KeyCode(c.code) + decoder.Flush(), c.out) << c.code;
  }
}

TEST(KeyDecoder, EscFollowedByALetterIsAnAltCombination) {
  const struct {
    std::vector<uint32_t> chars;
    std::string out;
  } cases[] = {
      {{27, 'c'}, "\0\x2E"s},  // Alt-C: sysop chat
      {{27, 'H'}, "\0\x23"s},  // Alt-H
      {{27, 'k'}, "\0\x25"s},  // Alt-K
      {{27, '1'}, "\0\x78"s},  // Alt-1
      {{27}, "\x1b"},          // a lone Esc, once nothing more is waiting
      {{27, 27}, "\x1b\x1b"},  // two Escs
      {{27, 27, 'x'}, "\x1b\0\x2D"s},
      {{27, '['}, "\x1b["},  // not a letter: both keys as they are
      {{27, 13}, "\x1b\r"},
  };
  for (const auto& c : cases) {
    KeyDecoder decoder;
    std::string out;
    for (uint32_t ch : c.chars) out += decoder.Char(ch);
    out += decoder.Flush();
    EXPECT_EQ(out, c.out) << c.chars.size();
  }
  KeyDecoder decoder;
  std::string out = decoder.Char(27);
  out += decoder.KeyCode(KEY_UP);
  EXPECT_EQ(out, "\x1b\0\x48"s);
  EXPECT_EQ(decoder.Flush(), "");
}

// A child process whose standard input and output are a pseudo-terminal: what it draws there, what
// it reports on a pipe, and how it ended.
struct PtyRun {
  std::string screen;
  std::string report;
  int status = -1;
};

struct PtyOptions {
  int cols = 80;
  int rows = 25;
  const char* term = "xterm-256color";
  bool stdout_is_pty = true;
  bool stdin_is_pty = true;
  // Typed once the child reports "R" (its terminal is set up), 300 ms apart.
  std::vector<std::string> input;
};

PtyRun RunOnPty(const PtyOptions& options, const std::function<void(int report_fd)>& child) {
  PtyRun run;
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    ADD_FAILURE() << "no pseudo-terminal";
    return run;
  }
  const std::string slave_name = ptsname(master);
  struct winsize size {};
  size.ws_row = static_cast<unsigned short>(options.rows);
  size.ws_col = static_cast<unsigned short>(options.cols);
  ioctl(master, TIOCSWINSZ, &size);
  int report[2], plain_out[2];
  if (pipe(report) != 0 || pipe(plain_out) != 0) {
    ADD_FAILURE() << "no pipe";
    return run;
  }
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(master);
    close(report[0]);
    close(plain_out[0]);
    setsid();
    const int slave = open(slave_name.c_str(), O_RDWR);
    const int null_fd = open("/dev/null", O_RDONLY);
    dup2(options.stdin_is_pty ? slave : null_fd, STDIN_FILENO);
    dup2(options.stdout_is_pty ? slave : plain_out[1], STDOUT_FILENO);
    setenv("TERM", options.term, 1);
    unsetenv("LINES");
    unsetenv("COLUMNS");
    child(report[1]);
    _exit(0);
  }
  close(report[1]);
  close(plain_out[1]);
  // Holding the slave side open keeps the master readable until everything the child wrote is in.
  const int parent_slave = open(slave_name.c_str(), O_RDWR | O_NOCTTY);

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  auto next_input = Clock::now();
  size_t typed = 0;
  bool report_open = true, plain_open = true, exited = false;
  while (Clock::now() < deadline) {
    if (!run.report.empty() && typed < options.input.size() && Clock::now() >= next_input) {
      const std::string& chunk = options.input[typed++];
      EXPECT_EQ(write(master, chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
      next_input = Clock::now() + std::chrono::milliseconds(300);
    }
    pollfd fds[3] = {{master, POLLIN, 0},
                     {report_open ? report[0] : -1, POLLIN, 0},
                     {plain_open ? plain_out[0] : -1, POLLIN, 0}};
    poll(fds, 3, 20);
    char buf[4096];
    std::string* sinks[3] = {&run.screen, &run.report, &run.screen};
    bool* open_flags[3] = {nullptr, &report_open, &plain_open};
    for (int i = 0; i < 3; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<size_t>(n));
      } else if (open_flags[i] != nullptr) {
        *open_flags[i] = false;
      }
    }
    const bool screen_quiet = !(fds[0].revents & POLLIN);
    if (exited && screen_quiet && !report_open && !plain_open) break;
    if (!exited && waitpid(pid, &run.status, WNOHANG) == pid) exited = true;
  }
  if (!exited) {
    ADD_FAILURE() << "child still running";
    kill(pid, SIGKILL);
    waitpid(pid, &run.status, 0);
  }
  close(parent_slave);
  close(master);
  close(report[0]);
  close(plain_out[0]);
  if (!run.report.empty() && run.report[0] == 'R') run.report.erase(0, 1);
  return run;
}

void Report(int fd, const std::string& text) {
  if (write(fd, text.data(), text.size()) < 0) _exit(3);
}

bool Contains(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

const std::string kLeaveScreen = "\x1b[?1049l";  // rmcup of xterm-256color

TEST(Terminal, HeadlessWhenEitherSideIsNoTerminal) {
  for (bool stdin_is_pty : {true, false}) {
    PtyOptions options;
    options.stdin_is_pty = stdin_is_pty;
    options.stdout_is_pty = !stdin_is_pty;
    PtyRun run = RunOnPty(options, [](int report) { Report(report, OpenTerminal() ? "open" : "none"); });
    EXPECT_EQ(run.report, "none") << stdin_is_pty;
    EXPECT_EQ(run.screen, "") << stdin_is_pty;
  }
}

TEST(Terminal, HeadlessForAnUnknownTerminalType) {
  PtyOptions options;
  options.term = "no-such-terminal";
  PtyRun run = RunOnPty(options, [](int report) { Report(report, OpenTerminal() ? "open" : "none"); });
  EXPECT_EQ(run.report, "none");
  EXPECT_EQ(run.screen, "");
}

TEST(Terminal, HeadlessUnderTheTestRunner) {
  if (isatty(STDOUT_FILENO) && isatty(STDIN_FILENO)) GTEST_SKIP() << "run by hand on a terminal";
  EXPECT_EQ(OpenTerminal(), nullptr);
}

TEST(Terminal, DrawsGlyphsAndColoursAndRestoresTheScreen) {
  PtyRun run = RunOnPty({}, [](int report) {
    auto terminal = OpenTerminal();
    if (!terminal) _exit(2);
    Report(report, OpenTerminal() ? "second" : "one");
    Console console;
    console.WriteCells(1, 1, "\xDA\xC4\xC4\xBF", 0x1E);
    console.GotoXY(1, 2);
    console.SetTextAttr(0x0C);
    console.Write("\x01\xFE\x7F\xF9 Hi");
    terminal->Present(console);
  });
  EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.status;
  EXPECT_EQ(run.report, "one");
  EXPECT_TRUE(Contains(run.screen, "┌──┐")) << run.screen;
  EXPECT_TRUE(Contains(run.screen, "☺■⌂∙ Hi")) << run.screen;
  EXPECT_TRUE(Contains(run.screen, "\x1b[93m")) << "yellow is PC brown made bright";
  EXPECT_TRUE(Contains(run.screen, "\x1b[44m")) << "PC blue background";
  EXPECT_TRUE(Contains(run.screen, "\x1b[91m")) << "light red";
  // Left the alternate screen, then the last screen again as text on the normal one.
  const size_t left = run.screen.find(kLeaveScreen, run.screen.find("Hi"));
  ASSERT_NE(left, std::string::npos) << run.screen;
  const std::string after = run.screen.substr(left);
  EXPECT_TRUE(Contains(after, "┌──┐")) << after;
  EXPECT_TRUE(Contains(after, "\x1b[91m\x1b[40m☺■⌂∙ Hi\x1b(B\x1b[m\r\n")) << after;
  EXPECT_FALSE(Contains(after, "\x1b[?1049h")) << after;
}

TEST(Terminal, RingsTheBellOnceForBellsSinceTheLastDraw) {
  PtyRun run = RunOnPty({}, [](int) {
    auto terminal = OpenTerminal();
    if (!terminal) _exit(2);
    Console console;
    terminal->Present(console);
    console.Write("\x07\x07\x07");
    terminal->Present(console);
    terminal->Present(console);
  });
  EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.status;
  size_t bells = 0;
  for (char c : run.screen) bells += c == '\x07';
  EXPECT_EQ(bells, 1u) << run.screen;
}

// Fewer rows than the console: rows are dropped from the top, so the status line (row 25) is on the
// terminal's last row; fewer columns: the left part, never wrapped.
// A terminal of 20 rows shows the status row last and 19 text rows above it: the bottom ones, or
// from the cursor's row on when the cursor is higher up (a cleared screen being written from the top).
TEST(Terminal, ASmallTerminalShowsTheStatusRowAndTheTextAroundTheCursor) {
  for (const auto& [cursor_row, first_shown] : {std::pair{24, 6}, std::pair{1, 1}, std::pair{3, 3}}) {
    SCOPED_TRACE(cursor_row);
    PtyOptions options;
    options.cols = 60;
    options.rows = 20;
    PtyRun run = RunOnPty(options, [cursor_row](int) {
      auto terminal = OpenTerminal();
      if (!terminal) _exit(2);
      Console console;
      for (int row = 1; row <= Console::kRows; ++row) {
        console.WriteCells(1, row, "<" + std::to_string(row) + ">", 0x07);
        console.WriteCells(70, row, "far" + std::to_string(row), 0x07);
      }
      console.GotoXY(1, cursor_row);
      terminal->Present(console);
    });
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.status;
    for (int row = 1; row <= Console::kRows; ++row) {
      const bool shown = row == Console::kRows || (row >= first_shown && row < first_shown + 19);
      EXPECT_EQ(Contains(run.screen, "<" + std::to_string(row) + ">"), shown) << row;
    }
    // Written again after the end: the same rows, the status row last.
    const std::string after = run.screen.substr(run.screen.find(kLeaveScreen));
    EXPECT_TRUE(Contains(after, "<" + std::to_string(first_shown) + ">")) << after;
    if (first_shown > 1) {
      EXPECT_FALSE(Contains(after, "<" + std::to_string(first_shown - 1) + ">")) << after;
    }
    EXPECT_EQ(after.rfind('<'), after.find("<25>")) << after;
    EXPECT_FALSE(Contains(run.screen, "far"));
  }
}

TEST(Terminal, KeysArriveAsConsoleKeys) {
  PtyOptions options;
  options.input = {
      "a\r\x03\x7f\x1bOA\x1b[B\x1bOP\x1b"
      "c\x1bH\xC3\xA9\xE2\x82\xAC\x1b[6~\x1b[3~\x1a",
      "\x1b", "z"};
  const std::string expected = "a\r\x03\b\0H\0P\0;\0.\0#\x82\0Q\0S\x1a\x1bz"s;
  PtyRun run = RunOnPty(options, [&expected](int report) {
    auto terminal = OpenTerminal();
    if (!terminal) _exit(2);
    Console console;
    terminal->Present(console);
    Report(report, "R");
    std::string keys;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (keys.size() < expected.size() && std::chrono::steady_clock::now() < deadline) {
      pollfd fd{terminal->KeyFd(), POLLIN, 0};
      poll(&fd, 1, 50);
      terminal->PumpKeys(console);
      while (console.KeyPressed()) keys += static_cast<char>(console.ReadKey());
    }
    terminal.reset();
    Report(report, keys);
  });
  EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.status;
  EXPECT_EQ(run.report, expected);
}

TEST(Terminal, RestoredOnEveryWayOut) {
  const struct {
    const char* name;
    void (*end)();
    int signal;  // 0: exits normally
  } cases[] = {
      {"exit", [] { exit(0); }, 0},
      {"abort", [] { abort(); }, SIGABRT},
      {"segv", [] { raise(SIGSEGV); }, SIGSEGV},
  };
  for (const auto& c : cases) {
    PtyRun run = RunOnPty({}, [&c](int) {
      auto terminal = OpenTerminal();
      if (!terminal) _exit(2);
      Console console;
      console.Write("before the end");
      terminal->Present(console);
      c.end();
    });
    if (c.signal == 0) {
      EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << c.name;
    } else {
      EXPECT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == c.signal) << c.name;
    }
    const size_t drawn = run.screen.rfind("before the end");
    ASSERT_NE(drawn, std::string::npos) << c.name;
    EXPECT_TRUE(Contains(run.screen.substr(drawn), kLeaveScreen)) << c.name;
  }
}

}  // namespace
}  // namespace platform
