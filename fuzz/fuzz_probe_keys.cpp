// The caller's bytes from the start of a visit: while the charset probe waits for the terminal's
// answer, and after it, through the door's own start-up and key reader. The caller types keys,
// cursor and function keys, telnet commands and terminal reports (cursor position reports, device
// attributes of any length), each arriving whole or cut in two anywhere, at times the input
// chooses. Whatever the timing, the keys read are exactly the keys typed, in order: a cursor key
// arrives as its extended key, no byte of a report, a sequence or a telnet command is ever typed,
// and the probe is decided by the first answer complete within its wait.
//
// Input: tokens, each an opcode byte and parameter bytes.
//   opcode low nibble: what is typed (see Token below); high nibble: the pause before it (kGaps).
//   then one byte: where the token is cut in two (low nibble; 0: not cut) and the pause between
//   its parts (high nibble, 10 ms steps, shorter than the door's wait for the rest of a
//   sequence), then the token's own parameter bytes.
// A lone Esc key is typed only once the probe is over and with a pause behind it, since only a
// pause tells it from the start of a sequence.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ansi/local_ansi.h"
#include "door/door.h"
#include "door/key_table.h"
#include "door/program_end.h"
#include "loopback.h"
#include "platform/console.h"
#include "support/fake_clock.h"
#include "text/caller_charset.h"

namespace {

// The door's wait for the probe's answer.
constexpr int64_t kProbeWaitMs = 1500;
// Enough tokens to cut the answer and reports anywhere, few enough that the door's receive buffer
// never fills during the probe.
constexpr int kMaxTokens = 48;
constexpr int64_t kGaps[16] = {0, 0, 0, 0, 5, 10, 20, 50, 100, 150, 250, 400, 700, 1000, 1400, 2500};
// After a lone Esc the next byte keeps away longer than the door's wait for a sequence to begin.
constexpr int64_t kAfterLoneEscMs = 250;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

// Bytes the caller's terminal writes at a moment of the visit, relative to the probe's start.
struct Chunk {
  int64_t at_ms;
  std::string bytes;
};

// The caller's side of the visit and what the door must make of it.
struct Script {
  std::vector<Chunk> chunks;
  // What was typed, in order: bytes the key decoder must see (DEL already as Backspace), or an
  // extended key (a cursor key's scan code).
  struct Typed {
    std::string bytes;
    uint8_t scan = 0;
  };
  std::vector<Typed> typed;
  bool answered = false;  // a complete answer arrived within the probe's wait
  int answer_column = 0;
};

class Reader {
 public:
  explicit Reader(std::string_view input) : input_(input) {}
  bool empty() const { return input_.empty(); }
  uint8_t Byte() {
    if (input_.empty()) return 0;
    const auto byte = static_cast<uint8_t>(input_.front());
    input_.remove_prefix(1);
    return byte;
  }
  std::string Number(int max_digits) {
    const uint8_t b = Byte();
    std::string digits = std::to_string(b % 10);
    for (int i = 1; i < max_digits && (b >> (i + 3)) & 1; ++i)
      digits.push_back(static_cast<char>('0' + Byte() % 10));
    return digits;
  }

 private:
  std::string_view input_;
};

using std::string_view_literals::operator""sv;

constexpr std::string_view kKeySequences[] = {
    "\x1b[A", "\x1b[1;5C", "\x1b[11~", "\x1b[[A", "\x1bOP", "\x1b[200~", "\x1b[3~", "\x1bOH",
};
constexpr std::string_view kTelnetCommands[] = {
    "\xFF\xF1",                                // NOP
    "\xFF\xFD\x18",                            // DO TERMINAL-TYPE
    "\xFF\xFB\x1F",                            // WILL NAWS
    "\xFF\xFA\x1F\x00\x50\x00\x18\xFF\xF0"sv,  // NAWS 80x24
    "\xFF\xFA\x18\x00"
    "ANSI\xFF\xF0"sv,  // TERMINAL-TYPE IS ANSI
};

Script MakeScript(Reader in) {
  Script script;
  int64_t t = 0;           // when the next token may start
  int64_t min_gap = 0;     // a pause the next token must keep
  int64_t answer_at = -1;  // when the probe's answer completed
  for (int n = 0; n < kMaxTokens && !in.empty(); ++n) {
    const uint8_t opcode = in.Byte();
    const uint8_t cut = in.Byte();
    t += std::max(kGaps[opcode >> 4], min_gap);
    min_gap = 0;
    std::string bytes;
    std::string keys;
    bool report = false;
    uint8_t scan = 0;  // the extended key a sequence stands for
    switch (opcode & 15) {
      case 0:
      case 1:
      case 2:  // a printable character
        bytes.assign(1, static_cast<char>(0x20 + in.Byte() % 95));
        keys = bytes;
        break;
      case 3:  // Backspace as DEL or BS
        bytes.assign(1, (in.Byte() & 1) != 0 ? '\x7F' : '\b');
        keys = "\b";
        break;
      case 4:  // Enter, as telnet sends it
        bytes = (in.Byte() & 1) != 0 ? std::string("\r\n") : std::string("\r\0", 2);
        keys = "\r";
        break;
      case 5:  // an accented character
        bytes = (in.Byte() & 1) != 0 ? "\xC3\xA9" : "\xE2\x82\xAC";
        keys = bytes;
        break;
      case 6:
        bytes = kKeySequences[in.Byte() % std::size(kKeySequences)];
        scan = door::KeyOfSequence(bytes);
        break;
      case 7:
      case 8: {  // a cursor position report: the answer, or one more
        const std::string row = in.Number(3);
        bytes = "\x1b[" + row + ";" + in.Number(3) + "R";
        report = true;
        break;
      }
      case 9:
      case 10: {  // device attributes, primary (ESC [ ? ... c) or secondary (ESC [ > ... c)
        const uint8_t shape = in.Byte();
        bytes = (shape & 1) != 0 ? "\x1b[>" : "\x1b[?";
        const int count = 1 + (shape >> 1) % 24;
        for (int i = 0; i < count; ++i) bytes += (i > 0 ? ";" : "") + in.Number(3);
        bytes += "c";
        break;
      }
      case 11:
        bytes = kTelnetCommands[in.Byte() % std::size(kTelnetCommands)];
        break;
      case 12: {  // the Esc key alone
        const int64_t probe_over = answer_at >= 0 ? answer_at : kProbeWaitMs;
        if (t < probe_over + 20) continue;
        bytes = "\x1b";
        keys = bytes;
        min_gap = kAfterLoneEscMs;
        break;
      }
      default:  // a letter
        bytes.assign(1, static_cast<char>('a' + in.Byte() % 26));
        keys = bytes;
        break;
    }
    const size_t at = (cut & 15) % bytes.size();
    const int64_t pause = at == 0 ? 0 : (cut >> 4) * 10;
    script.chunks.push_back({t, bytes.substr(0, at == 0 ? bytes.size() : at)});
    if (at != 0) script.chunks.push_back({t + pause, bytes.substr(at)});
    t += pause;
    if (report && answer_at < 0 && t <= kProbeWaitMs) {
      answer_at = t;
      const size_t semicolon = bytes.find(';');
      script.answer_column = std::atoi(bytes.c_str() + semicolon + 1);
    }
    if (!keys.empty()) script.typed.push_back({keys, 0});
    if (scan != 0) script.typed.push_back({{}, scan});
  }
  script.answered = answer_at >= 0;
  return script;
}

// The caller's terminal as time goes on: whenever the door waits with nothing ready, the clock
// moves on to the next chunk the caller writes, or by the wait's timeout if that comes first.
class TimelineClock : public testsupport::FakeClock {
 public:
  TimelineClock(int caller_fd, std::vector<Chunk> chunks)
      : caller_fd_(caller_fd), chunks_(std::move(chunks)), origin_(MonotonicMs()) {}

  bool AllWritten() const { return next_ == chunks_.size(); }

  int Wait(std::span<platform::WaitFd> fds, int timeout_ms) override {
    fuzzsupport::Drain(caller_fd_, nullptr);
    if (const int n = platform::PollFds(fds, 0); n > 0) return n;
    if (next_ < chunks_.size()) {
      const int64_t due = origin_ + chunks_[next_].at_ms;
      const int64_t now = MonotonicMs();
      if (timeout_ms < 0 || due <= now + timeout_ms) {
        if (due > now) Advance(due - now);
        for (; next_ < chunks_.size() && origin_ + chunks_[next_].at_ms <= MonotonicMs(); ++next_)
          fuzzsupport::WriteAll(caller_fd_, chunks_[next_].bytes);
        return platform::PollFds(fds, 0);
      }
    }
    if (timeout_ms < 0 && ++waits_forever_ > 1000) Fail("the door waits for ever with nothing to come");
    Advance(timeout_ms > 0 ? timeout_ms : 1);
    return 0;
  }

 private:
  int caller_fd_;
  std::vector<Chunk> chunks_;
  size_t next_ = 0;
  int64_t origin_;
  int waits_forever_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Script script = MakeScript(Reader(std::string_view(reinterpret_cast<const char*>(data), size)));
  const text::CallerCharset charset = script.answered && script.answer_column < text::kUtf8ColumnBelow
                                          ? text::CallerCharset::kUtf8
                                          : text::CallerCharset::kCp437;
  std::string expected;
  // As the door reads keys: on a code page 437 visit, typed bytes that form UTF-8 are read as UTF-8.
  text::KeyDecoder decoder;
  decoder.SetCharset(charset, /*utf8_in_cp437=*/true);
  // An extended key is written as a NUL and its scan code, in both lists.
  for (const Script::Typed& typed : script.typed) {
    if (typed.scan != 0) {
      expected += '\0';
      expected += static_cast<char>(typed.scan);
    }
    for (const char byte : typed.bytes) decoder.Feed(static_cast<uint8_t>(byte), expected);
  }
  decoder.Flush(expected);

  auto [door_end, caller_end] = fuzzsupport::SocketPair();
  platform::Console console;
  TimelineClock clock(caller_end, script.chunks);
  ansi::LocalAnsi local_ansi(console);
  std::string keys;
  {
    door::Door door(
        door::DoorEnv{console, clock, local_ansi, nullptr, {"-H" + std::to_string(door_end)}, "zelkirc"});
    door.DoorInit();
    door.visit.charset_choice = text::CharsetChoice::kAuto;
    door.visit.time_left = 86'400;
    door.on_idle_timeout = nullptr;
    door.on_time_expired = nullptr;
    try {
      door.DoorStart();
      if (door.visit.caller_charset != charset)
        Fail("the probe decided otherwise than the first answer in time");
      for (int passes = 0;; ++passes) {
        if (passes > 100'000) Fail("the key reader did not end");
        while (door.DoorKeyPressed()) {
          const char key = door.DoorReadKey();
          if (door.keys.last_key_extended) keys.push_back('\0');
          keys.push_back(key);
        }
        if (clock.AllWritten() && door.caller.Buffer().empty() && !door.caller.DataWaiting()) break;
        door.WaitForEvent();
      }
    } catch (const door::ProgramEnd&) {
      Fail("the visit ended");
    }
    door.caller.Close(false);
  }
  close(door_end);
  close(caller_end);
  if (std::getenv("ZELK_FUZZ_SHOW") != nullptr) {
    std::fprintf(stderr, "expected keys: ");
    for (const char c : expected) std::fprintf(stderr, "%02x ", static_cast<uint8_t>(c));
    std::fprintf(stderr, "\nread keys:     ");
    for (const char c : keys) std::fprintf(stderr, "%02x ", static_cast<uint8_t>(c));
    std::fprintf(stderr, "\n");
  }
  if (keys != expected) Fail("the keys read are not the keys typed");
  return 0;
}
