// The INI file read as the Windows profile functions read it: sections, keys, and the whole file.
#include "irc/session/ini_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "text/ascii.h"

namespace irc {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

char FoldCase(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = FoldCase(c);
  return out;
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// One name or value of a line, collected byte by byte with its leading and trailing blanks dropped.
// Only the first `keep` bytes are stored, so a huge line costs no more memory than a short one; the
// true trimmed length and last byte are still known.
class Field {
 public:
  void Reset(size_t keep) {
    keep_ = keep;
    kept_.clear();
    length_ = 0;
    trimmed_length_ = 0;
    last_ = '\0';
  }
  void Add(char c) {
    if (length_ == 0 && IsBlank(c)) return;
    ++length_;
    if (kept_.size() < keep_) kept_.push_back(c);
    if (!IsBlank(c)) {
      trimmed_length_ = length_;
      last_ = c;
    }
  }
  size_t TrimmedLength() const { return trimmed_length_; }
  // False when the trimmed text is longer than what was kept.
  bool Complete() const { return trimmed_length_ <= kept_.size(); }
  std::string_view Kept() const {
    return std::string_view(kept_).substr(0, std::min(trimmed_length_, kept_.size()));
  }
  char Last() const { return last_; }

 private:
  size_t keep_ = 0;
  std::string kept_;
  size_t length_ = 0;
  size_t trimmed_length_ = 0;
  char last_ = '\0';
};

// A longer name can never fit a name list, so storing more of it would serve no read.
constexpr size_t kNameKeep = IniFile::kNameListBytes;
// The first byte may be an opening quote.
constexpr size_t kValueKeep = IniFile::kMaxValueLength + 1;

// Streams the file through a line state machine and reports sections and keys to the visitor:
//   bool OnSection(std::string_view name, bool complete)
//   bool OnKey(std::string_view key, bool complete, std::string_view value)
// `complete` is false for a name too long to be kept whole. A false return stops the scan.
// Returns how reading the file went.
template <typename Visitor>
IniFileState ScanIni(const std::string& path, Visitor& visitor) {
  // Only a regular file is read: a device or a pipe named (or linked) as the INI file could
  // block the open or never end.
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return IniFileState::kMissing;
  if (error) {
    return error == std::errc::permission_denied ? IniFileState::kDenied : IniFileState::kUnreadable;
  }
  if (!std::filesystem::is_regular_file(status)) return IniFileState::kNotAFile;
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) return errno == EACCES ? IniFileState::kDenied : IniFileState::kUnreadable;

  enum class Mode { kStart, kHeader, kKey, kValue, kSkip };
  Mode mode = Mode::kStart;
  Field name;
  Field value;
  bool at_file_start = true;

  auto finish_key = [&]() -> bool {
    if (name.TrimmedLength() == 0) return true;
    std::string_view kept = value.Kept();
    size_t length = value.TrimmedLength();
    std::string_view text;
    if (length >= 2 && kept.front() == '"' && value.Last() == '"') {
      text = kept.substr(1, std::min(length - 2, IniFile::kMaxValueLength));
    } else {
      text = kept.substr(0, std::min(length, IniFile::kMaxValueLength));
    }
    // A line end or NUL inside a value ends it: what follows would otherwise go out as a line of
    // its own when the value is sent to the server.
    const size_t end = text.find_first_of(std::string_view("\r\0", 2));
    if (end != std::string_view::npos) {
      text = text.substr(0, end);
      while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    }
    return visitor.OnKey(name.Kept(), name.Complete(), text);
  };

  // Returns false when the visitor wants no more.
  auto feed = [&](char c) -> bool {
    switch (mode) {
      case Mode::kStart:
        if (c == '\n' || IsBlank(c)) return true;
        if (c == '[') {
          mode = Mode::kHeader;
          name.Reset(kNameKeep);
          return true;
        }
        if (c == ';') {
          mode = Mode::kSkip;
          return true;
        }
        mode = Mode::kKey;
        name.Reset(kNameKeep);
        [[fallthrough]];
      case Mode::kKey:
        if (c == '\n') {
          mode = Mode::kStart;  // no "=": not a key
        } else if (c == '=') {
          mode = Mode::kValue;
          value.Reset(kValueKeep);
        } else {
          name.Add(c);
        }
        return true;
      case Mode::kHeader:
        if (c == '\n') {
          mode = Mode::kStart;  // no "]": not a section header
        } else if (c == ']') {
          mode = Mode::kSkip;
          return visitor.OnSection(name.Kept(), name.Complete());
        } else {
          name.Add(c);
        }
        return true;
      case Mode::kValue:
        if (c != '\n') {
          value.Add(c);
          return true;
        }
        mode = Mode::kStart;
        return finish_key();
      case Mode::kSkip:
        if (c == '\n') mode = Mode::kStart;
        return true;
    }
    return true;
  };

  std::string buffer(64 * 1024, '\0');
  for (size_t total = 0; in && total < IniFile::kMaxFileBytes;) {
    in.read(buffer.data(),
            static_cast<std::streamsize>(std::min(buffer.size(), IniFile::kMaxFileBytes - total)));
    total += static_cast<size_t>(in.gcount());
    std::string_view chunk(buffer.data(), static_cast<size_t>(in.gcount()));
    if (chunk.empty()) break;
    // A UTF-8 byte order mark, as some editors write, is not part of the first line.
    if (at_file_start) {
      at_file_start = false;
      if (chunk.starts_with("\xEF\xBB\xBF")) chunk.remove_prefix(3);
    }
    for (char c : chunk) {
      if (!feed(c)) return IniFileState::kRead;
    }
  }
  const bool cut = in && in.peek() != std::char_traits<char>::eof();
  if (mode != Mode::kStart) feed('\n');
  return cut ? IniFileState::kCut : IniFileState::kRead;
}

// Tracks whether the scan is inside a section with the wanted name. Lines before the first section
// and sections with an empty name belong to no readable section.
class SectionMatcher {
 public:
  explicit SectionMatcher(std::string_view wanted) : wanted_(Trimmed(wanted)) {}
  void Enter(std::string_view name, bool complete) {
    inside_ = complete && !name.empty() && text::EqualsIgnoreCase(name, wanted_);
  }
  bool Inside() const { return inside_; }

 private:
  std::string_view wanted_;
  bool inside_ = false;
};

// Collects distinct names in first-seen order within the name-list budget. The first name that does
// not fit ends the list, as a full buffer would.
class NameList {
 public:
  // Returns false once the list is full.
  bool Add(std::string_view name, bool complete) {
    if (full_) return false;
    if (!seen_.insert(Folded(name)).second) return true;
    if (!complete || used_ + name.size() + 1 > IniFile::kNameListBytes - 1) {
      full_ = true;
      return false;
    }
    used_ += name.size() + 1;
    names_.emplace_back(name);
    return true;
  }
  bool full() const { return full_; }
  std::vector<std::string> Take() { return std::move(names_); }

 private:
  std::vector<std::string> names_;
  std::unordered_set<std::string> seen_;
  size_t used_ = 0;
  bool full_ = false;
};

std::string CutValue(std::string_view text) {
  return std::string(text.substr(0, std::min(text.size(), IniFile::kMaxValueLength)));
}

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
  struct Visitor {
    SectionMatcher section;
    std::string_view key;
    std::string value;
    bool found = false;
    bool OnSection(std::string_view name, bool complete) {
      section.Enter(name, complete);
      return true;
    }
    bool OnKey(std::string_view name, bool complete, std::string_view text) {
      if (!section.Inside() || !complete || !text::EqualsIgnoreCase(name, key)) return true;
      value = text;
      found = true;
      return false;
    }
  } visitor{SectionMatcher(section), Trimmed(key), {}, false};
  ScanIni(path_, visitor);
  return visitor.found ? std::move(visitor.value) : CutValue(def);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
  int value = 0;
  return ParseIniInteger(ReadString(section, key, ""), &value) ? value : def;
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  // A value no switch word can be: it tells a missing key from a present one.
  constexpr std::string_view kMissing = "\x01";
  const std::string value = ReadString(section, key, kMissing);
  if (value == kMissing) return def;
  return ParseIniSwitch(value).value_or(def);
}

std::vector<std::string> IniFile::ReadSectionKeys(std::string_view section) const {
  struct Visitor {
    SectionMatcher section;
    NameList keys;
    bool OnSection(std::string_view name, bool complete) {
      section.Enter(name, complete);
      return true;
    }
    bool OnKey(std::string_view name, bool complete, std::string_view) {
      return !section.Inside() || keys.Add(name, complete);
    }
  } visitor{SectionMatcher(section), {}};
  ScanIni(path_, visitor);
  return visitor.keys.Take();
}

std::vector<std::string> IniFile::ReadSectionNames() const {
  struct Visitor {
    NameList sections;
    bool OnSection(std::string_view name, bool complete) {
      return name.empty() || sections.Add(name, complete);
    }
    bool OnKey(std::string_view, bool, std::string_view) { return true; }
  } visitor;
  ScanIni(path_, visitor);
  return visitor.sections.Take();
}

IniContents IniFile::ReadAll() const {
  struct Visitor {
    IniContents contents;
    NameList section_names;
    std::unordered_map<std::string, size_t> section_index;   // folded name -> index
    std::vector<NameList> key_names;                         // per section: the listed keys
    std::vector<std::unordered_set<std::string>> keys_seen;  // per section: folded key names
    size_t keys_kept = 0;
    IniSection* current = nullptr;

    bool OnSection(std::string_view name, bool complete) {
      current = nullptr;
      if (name.empty()) return true;
      const std::string folded = Folded(name);
      auto found = section_index.find(folded);
      if (found == section_index.end()) {
        // As ReadSectionNames lists them: a name that does not fit ends the list.
        if (!section_names.Add(name, complete)) return true;  // not listed, so never read
        found = section_index.emplace(folded, contents.sections.size()).first;
        contents.sections.push_back(IniSection{std::string(name), {}});
        key_names.emplace_back();
        keys_seen.emplace_back();
      }
      current = &contents.sections[found->second];
      return true;
    }
    bool OnKey(std::string_view name, bool complete, std::string_view value) {
      if (current == nullptr) return true;
      const size_t index = static_cast<size_t>(current - contents.sections.data());
      // As ReadSectionKeys lists them: a name that does not fit ends the list.
      const bool listed = key_names[index].Add(name, complete);
      if (!complete || keys_kept >= IniFile::kMaxKeysKept) return true;
      if (!keys_seen[index].insert(Folded(name)).second) return true;
      ++keys_kept;
      current->keys.push_back(IniSection::Key{std::string(name), std::string(value), listed});
      return true;
    }
  } visitor;
  visitor.contents.state = ScanIni(path_, visitor);
  return std::move(visitor.contents);
}

const std::string* IniSection::Find(std::string_view key) const {
  key = Trimmed(key);
  for (const Key& entry : keys) {
    if (text::EqualsIgnoreCase(entry.name, key)) return &entry.value;
  }
  return nullptr;
}

const IniSection* IniContents::Find(std::string_view section) const {
  section = Trimmed(section);
  for (const IniSection& entry : sections) {
    if (text::EqualsIgnoreCase(entry.name, section)) return &entry;
  }
  return nullptr;
}

std::optional<bool> ParseIniSwitch(std::string_view text) {
  text = Trimmed(text);
  for (std::string_view word : {"yes", "true", "on"}) {
    if (text::EqualsIgnoreCase(text, word)) return true;
  }
  for (std::string_view word : {"no", "false", "off"}) {
    if (text::EqualsIgnoreCase(text, word)) return false;
  }
  int number = 0;
  if (ParseIniInteger(text, &number)) return number != 0;
  return std::nullopt;
}

bool ParseIniInteger(std::string_view text, int* value) {
  text = Trimmed(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  bool hex = text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (hex) text.remove_prefix(2);
  if (text.empty()) return false;

  const uint64_t base = hex ? 16 : 10;
  // Hexadecimal covers the full 32 bits; decimal stops at the signed range.
  const uint64_t limit = hex ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
  uint64_t magnitude = 0;
  for (char c : text) {
    uint64_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint64_t>(c - '0');
    } else if (hex && FoldCase(c) >= 'a' && FoldCase(c) <= 'f') {
      digit = static_cast<uint64_t>(FoldCase(c) - 'a' + 10);
    } else {
      return false;
    }
    magnitude = magnitude * base + digit;
    if (magnitude > limit) return false;
  }
  uint32_t bits = static_cast<uint32_t>(magnitude);
  if (negative) bits = 0u - bits;
  *value = static_cast<int32_t>(bits);
  return true;
}

std::string IniPathForRun(std::string_view program_path, std::string_view invoked_path) {
  std::string beside_program = IniPathForProgram(program_path);
  if (invoked_path.empty()) return beside_program;
  std::string beside_invoked = IniPathForProgram(invoked_path);
  std::error_code error;
  // A path relative to the folder the BBS started the door in is named in full in messages.
  if (std::filesystem::path(beside_invoked).is_relative()) {
    const std::filesystem::path full = std::filesystem::absolute(beside_invoked, error);
    if (!error) beside_invoked = full.lexically_normal().string();
  }
  if (std::filesystem::exists(beside_invoked, error) || !std::filesystem::exists(beside_program, error)) {
    return beside_invoked;
  }
  return beside_program;
}

std::string IniPathForProgram(std::string_view program_path) {
  size_t name_start = program_path.find_last_of("/\\");
  name_start = name_start == std::string_view::npos ? 0 : name_start + 1;
  size_t dot = program_path.rfind('.');
  // A dot that starts the file name (".prog") or lies in a directory name is no extension.
  if (dot != std::string_view::npos && dot > name_start) program_path = program_path.substr(0, dot);
  return std::string(program_path) + ".ini";
}

}  // namespace irc
