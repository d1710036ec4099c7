#include "door/durations.h"

#include "door/text_helpers.h"

namespace door {

int SecondsSince(int start, int now) {
  if (now < start) now += kSecondsPerDay;
  return now - start;
}

int64_t MsSince(int64_t start, int64_t now) {
  if (now < start) now += kMsPerDay;
  return now - start;
}

std::string FormatHMS(int seconds) {
  return PadLeft(std::to_string(seconds / 3600), '0', 2) + ":" +
         PadLeft(std::to_string(seconds % 3600 / 60), '0', 2) + ":" +
         PadLeft(std::to_string(seconds % 60), '0', 2);
}

std::string FormatMS(int seconds) {
  return PadLeft(std::to_string(seconds / 60), '0', 2) + ":" + PadLeft(std::to_string(seconds % 60), '0', 2);
}

std::string DurationText(int64_t seconds) {
  const int64_t parts[4] = {seconds / 86'400, seconds % 86'400 / 3600, seconds % 3600 / 60, seconds % 60};
  const char units[4] = {'d', 'h', 'm', 's'};
  std::string out;
  for (int i = 0; i < 4; ++i) {
    if (parts[i] <= 0) continue;
    if (!out.empty()) out += ' ';
    out += std::to_string(parts[i]);
    out += units[i];
  }
  return out;
}

std::string ShownDuration(int64_t seconds) {
  std::string text = DurationText(seconds);
  return text.empty() ? "0s" : text;
}

}  // namespace door
