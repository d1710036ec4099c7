// Support for the server-traffic tests: a connected client whose shown lines are read back from
// the caller's bytes, and whose protocol lines are read from the scripted server.
//
// What the caller received is turned back into the texts the client showed: every ANSI colour
// sequence becomes its colour code ("\177" plus the digit) again, and each line becomes
// "S:" + text for a status line or "L:" + text for a plain line. The oracle is thus the exact text
// handed to ShowStatus or ShowLine.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "irc/client/client.h"
#include "support/server_fixture.h"

namespace irc::traffic_test {

using Shown = std::vector<std::string>;

inline std::string S(std::string_view text) {
  return "S:" + std::string(text);
}
inline std::string L(std::string_view text) {
  return "L:" + std::string(text);
}

// ANSI colour sequences back to colour codes, then lines classified by the status marker.
inline Shown DecodeShown(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  // ANSI colour numbers 30-37 in the order of the PC colours 0-7.
  static constexpr int kAnsi[8] = {30, 34, 32, 36, 31, 35, 33, 37};
  std::string text;
  for (size_t i = 0; i < bytes.size(); ++i) {
    bool matched = false;
    for (int colour = 0; colour < 16 && !matched; ++colour) {
      std::string seq =
          std::string("\x1B[") + (colour < 8 ? "0;" : "1;") + std::to_string(kAnsi[colour % 8]) + "m";
      if (bytes.substr(i, seq.size()) == seq) {
        text += '\177';
        text += kDigits[colour];
        i += seq.size() - 1;
        matched = true;
      }
    }
    if (!matched) text += bytes[i];
  }
  Shown shown;
  const std::string status_start = "\1777" + std::string(kStatusMarker);
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    std::string line = text.substr(start, end - start);
    if (line.starts_with(status_start)) {
      shown.push_back(S(line.substr(status_start.size())));
    } else if (line.starts_with("\1777")) {
      shown.push_back(L(line.substr(2)));
    } else {
      shown.push_back("?:" + line);
    }
  }
  if (start < text.size()) shown.push_back("?:" + text.substr(start));
  return shown;
}

// The caller's bytes as the screen keeps them: what a row held before the input line's erase
// ("\x1B[<n>D\x1B[K", the prompt and typed text) is gone.
inline std::string WithoutErasedRows(std::string_view bytes) {
  std::string kept;
  for (size_t erase; (erase = bytes.find("\x1B[K")) != std::string_view::npos;) {
    const std::string_view before = bytes.substr(0, erase);
    const size_t row = before.rfind("\r\n");
    kept.append(before.substr(0, row == std::string_view::npos ? 0 : row + 2));
    bytes.remove_prefix(erase + 3);
  }
  kept.append(bytes);
  return kept;
}

// The status lines among what the caller was shown, input lines left out.
inline Shown StatusShown(std::string_view bytes) {
  Shown status;
  for (std::string& line : DecodeShown(WithoutErasedRows(bytes))) {
    if (line.starts_with("S:")) status.push_back(std::move(line));
  }
  return status;
}

// A client connected to a scripted server, with nickname Wolf, the fallback date and time
// patterns and a time-zone bias of 0.
class TrafficTest : public testing::Test {
 protected:
  explicit TrafficTest(std::string_view ini = "") : f_(ini) {}

  void SetUp() override {
    ASSERT_TRUE(f_.Connect());
    client().date_time_format = DateTimeFormat{};
  }

  Client& client() { return f_.client; }
  testsupport::FakeClock& clock() { return f_.door_fixture.clock; }

  // Handles one server line and returns what the caller was shown.
  Shown Feed(std::string_view line) {
    client().HandleServerLine(line);
    return DecodeShown(f_.CallerText());
  }

  // Protocol lines the client has sent since the last call. With a wait, returns as soon as one
  // line is there; without, only what has already arrived (sends on loopback arrive at once).
  std::vector<std::string> Sent(int wait_ms = 0) { return f_.server.ReadLines(wait_ms); }

  testsupport::ServerFixture f_;
};

}  // namespace irc::traffic_test
