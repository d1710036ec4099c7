// One row of the benchmark table: a figure beside its target. Nothing here passes or fails.
#pragma once

#include <algorithm>
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
  int name_width = 11, value_width = 5;
  for (const Row& row : rows) {
    name_width = std::max(name_width, static_cast<int>(row.name.size()));
    value_width = std::max(value_width, static_cast<int>(row.value.size()));
  }
  std::printf("\n%-*s  %*s  %-14s\n", name_width, "measurement", value_width, "value", "target");
  std::printf("%s\n", std::string(static_cast<size_t>(name_width + value_width + 26), '-').c_str());
  for (const Row& row : rows) {
    const char* verdict = !row.met ? "" : *row.met ? "met" : "MISSED";
    std::printf("%-*s  %*s  %-14s %s\n", name_width, row.name.c_str(), value_width, row.value.c_str(),
                row.target.c_str(), verdict);
  }
  std::fflush(stdout);
}

}  // namespace bench
