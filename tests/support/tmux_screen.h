// A real terminal emulator for the door's console: a private tmux server (its own socket in a
// temporary folder) runs one command in a detached window of a given size, so a test can read
// the screen as text, resize the window (the door gets SIGWINCH), type keys and see what stays on
// the screen after the door has ended (the pane is kept).
//
//   TmuxScreen tmux(80, 24);
//   tmux.Run(TmuxScreen::Quote(binary) + " -?");
//   ASSERT_TRUE(tmux.WaitForExit(10'000));
//   EXPECT_NE(tmux.Contents().find("USAGE:"), std::string::npos);
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/child_process.h"
#include "support/door_folder.h"

namespace testsupport {

class TmuxScreen {
 public:
  // tmux is there (tools/setup-deps.sh installs it).
  static bool Available();
  // A word for the shell.
  static std::string Quote(std::string_view word);

  TmuxScreen(int cols, int rows);
  ~TmuxScreen();
  TmuxScreen(const TmuxScreen&) = delete;
  TmuxScreen& operator=(const TmuxScreen&) = delete;

  const std::string& dir() const { return dir_; }
  // Installs the door in a folder of its own that lasts as long as the screen: a copy of the
  // binary with this INI file next to it (none when nullopt). The binary's path.
  const std::string& InstallDoor(std::optional<std::string_view> ini_contents);
  // Starts command (a shell command line) in the window, in dir(), with TERM=screen.
  bool Run(std::string_view command);
  // The visible rows, each without trailing blanks.
  std::vector<std::string> Rows();
  // The visible rows and the history above them, joined by newlines, without tmux's own note
  // that the command has ended.
  std::string Contents();
  // Waits until the visible rows hold needle.
  bool WaitFor(std::string_view needle, int timeout_ms);
  // Waits until test holds for the visible rows.
  bool WaitUntil(const std::function<bool(const std::vector<std::string>&)>& test, int timeout_ms);
  bool Resize(int cols, int rows);
  // Types text literally on the terminal's keyboard.
  void Type(std::string_view text);
  bool WaitForExit(int timeout_ms);
  // The ended command's exit status, -1 while it runs.
  int ExitStatus();

 private:
  std::string Tmux(std::string_view args, int* status = nullptr);
  bool StartServer();

  std::string dir_;
  std::string socket_;
  int cols_, rows_;
  std::optional<DoorFolder> door_;
  ChildProcess server_;
};

}  // namespace testsupport
