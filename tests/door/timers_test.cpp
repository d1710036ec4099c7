// The periodic tick, the three endings, the status line pages and the sysop chat.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ansi/sequences.h"
#include "door/door.h"
#include "door/durations.h"
#include "door/program_end.h"
#include "support/door_fixture.h"

namespace door {
namespace {

using testsupport::DoorFixture;

// A connected caller with a day's time, as the IRC client starts a visit.
struct Visit : DoorFixture {
  Visit() { door->visit.time_left = 86'400; }
};

TEST(Tick, RunsAtMostEvery750Ms) {
  Visit v;
  int ticks = 0;
  v.door->on_status_bar = [&] { ++ticks; };
  v.door->DoorKeyPressed();  // due at once after start-up
  EXPECT_EQ(ticks, 1);
  v.clock.Advance(750);
  v.door->DoorKeyPressed();
  EXPECT_EQ(ticks, 1);
  v.clock.Advance(1);
  v.door->DoorKeyPressed();
  v.door->DoorKeyPressed();
  EXPECT_EQ(ticks, 2);
}

TEST(Tick, OrderIsCarrierStatusIdleTime) {
  struct Case {
    const char* name;
    bool drop_carrier, idle_over, time_over;
    std::vector<std::string> calls;
  } cases[] = {
      {"idle and time", false, true, true, {"status", "idle"}},
      {"time only", false, false, true, {"status", "time"}},
      {"carrier first", true, true, true, {"carrier"}},
      {"nothing", false, false, false, {"status"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Visit v;
    std::vector<std::string> calls;
    v.door->on_carrier_drop = [&] { calls.push_back("carrier"); };
    v.door->on_status_bar = [&] { calls.push_back("status"); };
    v.door->on_idle_timeout = [&] { calls.push_back("idle"); };
    v.door->on_time_expired = [&] { calls.push_back("time"); };
    if (c.drop_carrier) {
      v.DropCarrier();
      v.door->caller.Poll();
    }
    v.door->timers.idle_limit = c.idle_over ? 5 : 600;
    v.door->visit.time_left = c.time_over ? 5 : 600;
    v.clock.Advance(6'000);
    bool ended = false;
    try {
      v.door->Tick();
    } catch (const ProgramEnd&) {
      ended = true;
    }
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(ended, calls.back() != "status");
  }
}

TEST(Tick, IdleEndsAfter601SecondsNot600) {
  Visit v;
  v.door->timers.idle_limit = 600;
  v.clock.Advance(600'000);
  EXPECT_NO_THROW(v.door->DoorKeyPressed());
  v.clock.Advance(999);
  EXPECT_NO_THROW(v.door->DoorKeyPressed());  // 600.999 s
  v.clock.Advance(752);
  v.CallerReceived();
  EXPECT_THROW(v.door->DoorKeyPressed(), ProgramEnd);
  const std::string message = "  Idle Time Limit Exceeded.  Returning To BBS...";
  EXPECT_EQ(v.CallerReceived(),
            ansi::AnsiForeground(15) + ansi::AnsiBackground(0) + "\x1b[2J\x1b[H\r\n" + message + "\r\n");
  EXPECT_EQ(v.console.RowText(2).substr(0, message.size()), message);
  EXPECT_EQ(v.clock.slept_ms(), 1500);
}

TEST(Tick, NoTimeLeftEndsAtTheFirstTick) {
  Visit v;
  v.door->visit.time_left = 0;
  EXPECT_THROW(v.door->DoorKeyPressed(), ProgramEnd);
  const std::string message = "  Your Time Has Expired.  Returning To BBS...";
  EXPECT_EQ(v.CallerReceived(),
            ansi::AnsiForeground(15) + ansi::AnsiBackground(0) + "\x1b[2J\x1b[H\r\n" + message + "\r\n");
  EXPECT_EQ(v.console.RowText(2).substr(0, message.size()), message);
  EXPECT_EQ(v.console.At(3, 2).attr, 0x0F);
  EXPECT_EQ(v.clock.slept_ms(), 1500);
}

TEST(Tick, VisitAcrossMidnight) {
  Visit v;
  v.clock.SetTime(23, 59, 30);
  v.door->timers.idle_start = v.door->timers.session_start = v.door->MonotonicMs();
  v.door->timers.last_tick = v.door->MonotonicMs() - 1000;
  v.door->visit.time_left = 120;
  v.door->timers.idle_limit = 100;
  v.clock.Advance(60'000);  // 00:00:30
  v.door->DoorKeyPressed();
  EXPECT_EQ(v.door->SecondsLeft(), 60);
  EXPECT_EQ(v.console.RowText(25).substr(50, 11), "Idle: 01:00");
  EXPECT_EQ(v.console.RowText(25).substr(64, 14), "Left: 00:01:00");
  v.clock.Advance(40'000);
  EXPECT_NO_THROW(v.door->DoorKeyPressed());
  v.clock.Advance(1'000);
  int idle_endings = 0;
  v.door->on_idle_timeout = [&] { ++idle_endings; };
  EXPECT_THROW(v.door->DoorKeyPressed(), ProgramEnd);
  EXPECT_EQ(idle_endings, 1);
}

// Idle time, time left and the tick run on the monotonic clock: a daylight-saving change or a
// clock step, forward or back, ends no visit and changes no count; only time passing does.
TEST(Tick, WallClockJumpsEndNoVisit) {
  Visit v;
  v.clock.SetTime(2, 59, 0);
  v.door->visit.time_left = 3600;
  v.door->timers.idle_limit = 600;
  int endings = 0;
  v.door->on_idle_timeout = [&] { ++endings; };
  v.door->on_time_expired = [&] { ++endings; };
  v.door->DoorKeyPressed();
  for (const int64_t jump : {3'600'000LL, -3'600'000LL, -23 * 3'600'000LL, 12 * 3'600'000LL}) {
    SCOPED_TRACE(jump);
    v.clock.JumpWallClock(jump);
    v.clock.Advance(1000);
    EXPECT_NO_THROW(v.door->DoorKeyPressed());
  }
  EXPECT_EQ(endings, 0);
  EXPECT_EQ(v.door->SecondsLeft(), 3596);
  EXPECT_EQ(v.door->IdleSeconds(), 4);
  EXPECT_EQ(v.console.RowText(25).substr(50, 11), "Idle: 00:04");
  v.clock.Advance(597'000);  // 601 s without a key
  EXPECT_THROW(v.door->DoorKeyPressed(), ProgramEnd);
  EXPECT_EQ(endings, 1);
}

TEST(Tick, CarrierLossCallsTheHookThenEnds) {
  Visit v;
  v.door->DoorKeyPressed();  // the first tick
  std::vector<std::string> calls;
  v.door->on_carrier_drop = [&] {
    calls.push_back("carrier");
    v.door->ShowCarrierDropped();
  };
  v.door->on_status_bar = [&] { calls.push_back("status"); };
  const int64_t start = v.door->MsOfDay();
  v.DropCarrier();
  EXPECT_THROW(v.door->DoorReadKey(), ProgramEnd);
  EXPECT_EQ(calls, std::vector<std::string>{"carrier"});
  EXPECT_EQ(v.console.RowText(2).substr(0, 47), "   Caller Dropped Carrier.  Returning To BBS...");
  EXPECT_EQ(v.console.At(4, 2).attr, 0x0F);
  // Found at the next tick: the closed link is not polled over and over meanwhile.
  EXPECT_LE(MsSince(start, v.door->MsOfDay()), 751 + 1500);
  EXPECT_LE(v.clock.waits(), 3);
}

TEST(Tick, UnsetHooksDisableTheirChecks) {
  Visit v;
  v.door->on_carrier_drop = nullptr;
  v.door->on_idle_timeout = nullptr;
  v.door->on_time_expired = nullptr;
  v.door->on_status_bar = nullptr;
  v.door->visit.time_left = 0;
  v.door->timers.idle_limit = 1;
  v.DropCarrier();
  for (int i = 0; i < 10; ++i) {
    EXPECT_FALSE(v.door->DoorKeyPressed());
    v.clock.Advance(1'000);
  }
  EXPECT_FALSE(v.door->caller.IsOpen());
}

TEST(Tick, LocalModeRunsNoChecks) {
  DoorFixture local(false);
  int calls = 0;
  local.door->on_status_bar = [&] { ++calls; };
  local.clock.Advance(10'000);
  EXPECT_FALSE(local.door->DoorKeyPressed());
  EXPECT_EQ(calls, 0);
}

TEST(Tick, TerminationSignalEndsLikeALostCarrier) {
  for (bool remote : {false, true}) {
    SCOPED_TRACE(remote ? "remote" : "local");
    DoorFixture f(remote);
    f.door->visit.time_left = 86'400;
    int hooked = 0;
    f.door->on_carrier_drop = [&] { ++hooked; };
    EXPECT_FALSE(f.door->DoorKeyPressed());
    f.clock.RequestTermination();
    EXPECT_THROW(f.door->DoorKeyPressed(), ProgramEnd);
    EXPECT_EQ(hooked, 1);
    // A wait inside the goodbye ends again at once, without a second goodbye.
    EXPECT_THROW(f.door->Tick(), ProgramEnd);
    EXPECT_EQ(hooked, 1);
  }
}

// ---- status line ----

std::string Row25Attrs(const platform::Console& console) {
  std::string attrs;
  for (int col = 1; col <= 80; ++col)
    attrs += console.At(col, 25).attr == 0x1E ? 'S' : (console.At(col, 25).attr == 0x1F ? 't' : '?');
  return attrs;
}

TEST(StatusLine, PageOneAtTheStartOfADayLongVisit) {
  Visit v;
  v.door->visit.user_real_name = "John Q Public";
  v.door->visit.user_handle = "JohnnyQuest";  // cut to 10
  v.door->DrawDefaultStatusLine();
  EXPECT_EQ(
      v.console.RowText(25),
      "\xFE John Q Public        \xFE JohnnyQues \xFE ZelkDoor! \xFE Idle: 00:00 \xFE Left: 24:00:00 \xFE");
  std::string attrs(80, 't');
  for (int col : {1, 24, 37, 49, 63, 80}) attrs[col - 1] = 'S';
  EXPECT_EQ(Row25Attrs(v.console), attrs);
  EXPECT_EQ(v.CallerReceived(), "");
  // The name the application goes by takes the handle's place; the handle itself stays.
  v.door->SetStatusName("Wolf");
  v.door->DrawDefaultStatusLine();
  EXPECT_EQ(v.console.RowText(25).substr(23, 14), "\xFE Wolf       \xFE");
  EXPECT_EQ(v.door->visit.user_handle, "JohnnyQuest");
}

TEST(StatusLine, PageTwoAndOtherPages) {
  Visit v;
  v.door->sysop.status_mode = 2;
  v.door->DrawDefaultStatusLine();
  EXPECT_EQ(
      v.console.RowText(25),
      "\xFE F1: Toggle StatusBar \xFE Alt-C: Chat \xFE Alt-H: Hang-Up \xFE Alt-K: Kick \xFE           ");
  std::string attrs(80, 't');
  for (int col : {1, 24, 38, 55, 69}) attrs[col - 1] = 'S';
  EXPECT_EQ(Row25Attrs(v.console), attrs);

  v.door->sysop.status_mode = 3;
  v.door->PutStringAt("untouched", 1, 25, 0x07);
  v.door->DrawDefaultStatusLine();
  EXPECT_EQ(v.console.RowText(25).substr(0, 9), "untouched");
}

TEST(StatusLine, RefreshedByTicksAndF1) {
  Visit v;
  v.door->timers.idle_limit = 1000;
  v.clock.Advance(75'000);
  v.door->DoorKeyPressed();
  EXPECT_EQ(v.console.RowText(25).substr(50, 11), "Idle: 01:15");
  EXPECT_EQ(v.console.RowText(25).substr(64, 14), "Left: 23:58:45");
  v.console.PushExtendedKey(59);
  v.CallerTypes("k");
  EXPECT_EQ(v.door->DoorReadKey(), 'k');
  EXPECT_EQ(v.console.RowText(25).substr(2, 20), "F1: Toggle StatusBar");
}

// ---- chat ----

TEST(Chat, ColoursFollowTheTypistAndEscEnds) {
  Visit v;
  v.door->DoorSetAttr(0x1E);
  v.CallerReceived();
  v.console.PushExtendedKey(46);  // Alt-C
  v.console.PushKeys("ab\b\r");
  v.console.PushExtendedKey(46);  // inside the chat: nothing
  v.CallerTypes("cd\x7F\x1bz");   // DEL erases like Backspace
  EXPECT_EQ(v.door->DoorReadKey(), 'z');
  EXPECT_FALSE(v.door->sysop.chat_active);
  const std::string white = ansi::AnsiForeground(15), grey = ansi::AnsiForeground(7);
  EXPECT_EQ(v.CallerReceived(), ansi::AnsiAttr(0x07) + "\x1b[2J\x1b[H" + "Chat Mode Initiated\r\n" + "\r\n" +
                                    white + "a" + "b" + "\b \b" + "\r\n" + grey + "c" + "d" + "\b \b" +
                                    "\r\n\r\nChat Mode Terminated\r\n\r\n" + ansi::AnsiAttr(0x1E));
  EXPECT_EQ(v.console.At(1, 3).attr, 0x0F);  // the sysop's "a"
  EXPECT_EQ(v.console.At(1, 4).ch, 'c');
  EXPECT_EQ(v.console.At(1, 4).attr, 0x07);
  EXPECT_EQ(v.local_ansi.ConsoleAttr(), 0x1E);
}

// The chat takes its keys where the key test serves them: nobody waiting for keys is held up in
// it, so the program's one wait goes on serving everything else; its end is announced once.
TEST(Chat, KeysGoToTheChatWithoutReachingTheReader) {
  Visit v;
  int ends = 0;
  v.door->on_chat_end = [&] { ++ends; };
  v.console.PushExtendedKey(46);  // Alt-C
  v.CallerTypes("h\x82");         // é from a code page 437 caller
  EXPECT_FALSE(v.door->DoorKeyPressed());
  EXPECT_TRUE(v.door->sysop.chat_active);
  EXPECT_EQ(v.console.RowText(3).substr(0, 2), "h\x82");
  EXPECT_EQ(ends, 0);
  v.CallerTypes(
      "\x1b"
      "k");
  EXPECT_TRUE(v.door->DoorKeyPressed());
  EXPECT_FALSE(v.door->sysop.chat_active);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(v.door->DoorReadKey(), 'k');
}

TEST(Chat, NulReadsOneMoreForTheEndTestOnly) {
  Visit v;
  v.door->on_chat = [&] { v.door->DefaultChat(); };
  v.console.PushExtendedKey(46);
  // A caller's NUL is followed by its own byte; an Esc right after a NUL still ends the chat.
  v.CallerTypes(std::string("x\0q", 3));
  v.door->caller.DataWaiting();
  v.CallerTypes(
      "\x1b"
      "y");
  EXPECT_EQ(v.door->DoorReadKey(), 'y');
  EXPECT_EQ(v.console.At(1, 3).ch, 'x');
}

}  // namespace
}  // namespace door
