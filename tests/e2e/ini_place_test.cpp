// Where the door finds zelkirc.ini when the BBS runs it through a symbolic link in another folder:
// beside the link first, then beside the program file itself.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/door_process.h"
#include "support/scripted_server.h"

namespace {

namespace fs = std::filesystem;
using testsupport::DoorProcess;
using testsupport::ScriptedServer;

constexpr int kWaitMs = 5000;

std::string Ini(const ScriptedServer& server, std::string_view handle) {
  return "[general]\nhandle=" + std::string(handle) +
         "\n[Local]\n127.0.0.1=" + std::to_string(server.port()) + "\n";
}

TEST(IniPlace, BesideTheLinkTheBbsRunsFirstThenBesideTheProgram) {
  for (const bool ini_beside_link : {true, false}) {
    SCOPED_TRACE(ini_beside_link ? "INI beside the link" : "INI only beside the program");
    ScriptedServer program_server, link_server;
    DoorProcess door(Ini(program_server, "Real"));
    const fs::path link_dir = fs::path(door.dir()) / "node1";
    fs::create_directory(link_dir);
    fs::create_symlink(door.binary(), link_dir / "zelkirc");
    if (ini_beside_link) std::ofstream(link_dir / "zelkirc.ini") << Ini(link_server, "Linked");
    door.RunThrough((link_dir / "zelkirc").string());
    door.StartWithCaller();
    ScriptedServer& expected = ini_beside_link ? link_server : program_server;
    ASSERT_TRUE(expected.Accept(kWaitMs)) << door.CallerReceived();
    EXPECT_TRUE(expected.WaitForLine(ini_beside_link ? "NICK Linked" : "NICK Real", kWaitMs))
        << expected.received();
    door.CloseCaller();
    EXPECT_EQ(door.WaitExit(kWaitMs), 0);
  }
}

}  // namespace
