// Time and text layout helpers of the door runtime, used by the IRC client too. Times are local
// wall-clock times of the day; elapsed times allow one midnight wrap.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace door {

inline constexpr int kSecondsPerDay = 86'400;
inline constexpr int64_t kMsPerDay = 86'400'000;

int SecondsSince(int start, int now);
int64_t MsSince(int64_t start, int64_t now);
std::string PadLeft(std::string_view text, char pad, int width);
std::string PadRight(std::string_view text, char pad, int width);
std::string AlignRight80(std::string_view text);
// The pieces joined with one allocation (chat lines are shown by the thousand).
std::string Concat(std::initializer_list<std::string_view> pieces);
std::string ReplaceAll(std::string_view text, std::string_view old_text, std::string_view new_text);
std::string FormatHMS(int seconds);
std::string FormatMS(int seconds);
std::string DurationText(int64_t seconds);
// The same, with "0s" for no time at all, where a duration is shown after a label.
std::string ShownDuration(int64_t seconds);

}  // namespace door
