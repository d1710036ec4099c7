// Times of the door runtime, used by the IRC client too: elapsed times between local wall-clock
// times of the day (allowing one midnight wrap), and durations as the caller reads them.
#pragma once

#include <cstdint>
#include <string>

namespace door {

inline constexpr int kSecondsPerDay = 86'400;
inline constexpr int64_t kMsPerDay = 86'400'000;

int SecondsSince(int start, int now);
int64_t MsSince(int64_t start, int64_t now);
std::string FormatHMS(int seconds);
std::string FormatMS(int seconds);
std::string DurationText(int64_t seconds);
// The same, with "0s" for no time at all, where a duration is shown after a label.
std::string ShownDuration(int64_t seconds);

}  // namespace door
