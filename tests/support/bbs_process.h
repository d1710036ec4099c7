// The stand-in BBS (zelkbbs) run by a test: a copy of the door with its own INI file in a fresh
// directory, zelkbbs started on a free loopback port in one hand-over style, its log read from a
// pipe, and a telnet caller that connects to it. Every wait is bounded.
//
//   BbsProcess bbs(ini);
//   ASSERT_TRUE(bbs.Start({"--style", "stdio"}));
//   ASSERT_TRUE(bbs.Call());
//   ASSERT_TRUE(bbs.CallerWaitFor("[#lobby] ", 5000));
//   bbs.HangUp();
//   EXPECT_TRUE(bbs.LogWaitFor("door ended with exit code 0", 5000));
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/child_process.h"
#include "support/door_folder.h"

namespace testsupport {

class BbsProcess {
 public:
  explicit BbsProcess(std::string_view ini_contents);
  ~BbsProcess();
  BbsProcess(const BbsProcess&) = delete;
  BbsProcess& operator=(const BbsProcess&) = delete;

  // Starts zelkbbs with these options; true once it named its port.
  bool Start(std::vector<std::string> options);
  // Connects a caller; true when connected.
  bool Call();
  void CallerTypes(std::string_view bytes);
  bool CallerWaitFor(std::string_view needle, int timeout_ms);
  // Everything the caller has received so far.
  const std::string& CallerReceived();
  void HangUp();

  // The stand-in BBS's process (its nodes' folders are named after it).
  pid_t pid() const { return process_.pid(); }

  bool LogWaitFor(std::string_view needle, int timeout_ms);
  const std::string& Log();

 private:
  void ReadLog(int timeout_ms);

  DoorFolder folder_;
  ChildProcess process_;
  int log_fd_ = -1;
  int port_ = 0;
  int caller_fd_ = -1;
  std::string log_;
  std::string received_;
};

}  // namespace testsupport
