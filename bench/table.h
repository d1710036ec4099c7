// One row of the benchmark table: a figure beside its target. Nothing here passes or fails.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace bench {

struct Row {
  std::string name;
  std::string value;
  std::string target;
  std::optional<bool> met;  // empty: no target
};

inline std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

inline void PrintTable(const std::vector<Row>& rows) {
  std::printf("\n%-48s %20s  %-14s %s\n", "measurement", "value", "target", "");
  std::printf("%s\n", std::string(92, '-').c_str());
  for (const Row& row : rows) {
    const char* verdict = !row.met ? "" : *row.met ? "met" : "MISSED";
    std::printf("%-48s %20s  %-14s %s\n", row.name.c_str(), row.value.c_str(), row.target.c_str(), verdict);
  }
  std::fflush(stdout);
}

}  // namespace bench
