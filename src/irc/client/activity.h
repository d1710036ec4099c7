// Lines that arrived for targets other than the active one: per channel, or per nickname for
// private messages, how many since the caller was last there; shown after the prompt. And
// whether a line mentions the caller's nickname, which is highlighted with a bell at most once a
// minute.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace irc {

class Activity {
 public:
  static constexpr size_t kMaxEntries = 20;  // the oldest goes first
  static constexpr int kMaxCount = 999;
  static constexpr int64_t kBellIntervalMs = 60'000;

  // One more unseen line for name.
  void Add(std::string_view name);
  // The caller is at name (switched there, or wrote to it): its lines are seen.
  bool Seen(std::string_view name);
  void Clear();
  // " +#help:3 +bob:1": the entries that fit in max_columns, oldest first; empty for none.
  std::string PromptText(int max_columns) const;
  // A mention at now_ms: true when the bell may ring (none in the last minute).
  bool BellDue(int64_t now_ms);

 private:
  struct Entry {
    std::string name;
    int count = 0;
  };
  std::vector<Entry> entries_;
  int64_t last_bell_ms_ = -kBellIntervalMs;
  bool rung_ = false;
};

// Whether text names nick as a word of its own (not inside a longer nickname), ignoring IRC case.
bool MentionsNick(std::string_view text, std::string_view nick);

}  // namespace irc
