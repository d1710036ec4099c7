// The real zelkirc binary started by a sysop from a terminal: standard input, output and error
// are a pseudo-terminal of 80x25 with TERM=xterm, so the door opens its curses screen there, and
// the caller is one end of a socket pair handed down with -H<fd>. A thread keeps reading the
// terminal so that the door never blocks on its screen output.
//
//   TerminalDoor door("[general]\nhandle=Wolf\n");
//   door.Start();
//   ASSERT_TRUE(door.CallerWaitFor("[Status] ", 5000));
//   door.SysopTypes("\033c");  // Alt-C
//   door.CloseCaller();
//   EXPECT_EQ(door.WaitExit(5000), 0);
//   EXPECT_TRUE(door.TerminalModesRestored());
#pragma once

#include <termios.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/door_folder.h"
#include "support/pseudo_terminal.h"
#include "support/sockets.h"

namespace testsupport {

class TerminalDoor {
 public:
  // ini_contents empty: no INI file at all.
  explicit TerminalDoor(std::string_view ini_contents = "");
  ~TerminalDoor();
  TerminalDoor(const TerminalDoor&) = delete;
  TerminalDoor& operator=(const TerminalDoor&) = delete;

  // Starts the door on the terminal with the caller given as -H<fd> after args.
  void Start(std::vector<std::string> args = {});
  int pid() const { return child_.pid(); }
  void Signal(int sig);
  // The exit code, or -1 when the door had to be killed after timeout_ms.
  int WaitExit(int timeout_ms);

  // The sysop's keyboard and screen.
  void SysopTypes(std::string_view bytes);
  bool TerminalWaitFor(std::string_view needle, int timeout_ms);
  std::string TerminalOutput();
  // After the door has ended: the terminal is back in the modes it had before the door started
  // (line editing, echo and signals on).
  bool TerminalModesRestored();

  // The caller's end of the connection.
  void CallerTypes(std::string_view bytes);
  bool CallerWaitFor(std::string_view needle, int timeout_ms);
  const std::string& CallerReceived();
  void CloseCaller();

  // The caller's terminal answers the charset probe with this (empty: it stays silent).
  std::string probe_answer{kCp437ProbeAnswer};

  // What the door wrote to standard error is on the terminal too; this is for failure messages.
  std::string Describe();

 private:
  void DrainTerminal();
  void ReadCaller(int timeout_ms);

  DoorFolder folder_;
  ChildProcess child_;
  // Both sides held open here, so the terminal outlives the door for the last reads.
  std::unique_ptr<PseudoTerminal> terminal_;
  int caller_fd_ = -1;
  std::string caller_received_;
  std::mutex terminal_mutex_;
  std::string terminal_output_;  // guarded by terminal_mutex_
  std::atomic<bool> stop_{false};
  std::atomic<bool> door_ended_{false};  // the reader stops once the terminal has gone quiet
  std::thread reader_;
  bool probe_answered_ = false;
};

// The sysop's terminal after the door (gtest expectations): modes as before, and it was told last
// to leave the alternate screen (xterm's rmcup), after which only the last screen is written again
// as text (no cursor moves); a hidden cursor has been shown again.
void ExpectTerminalRestored(TerminalDoor& door);

}  // namespace testsupport
