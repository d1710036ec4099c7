// Read-only access to the door's INI file, in the manner of the Windows profile functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace irc {

// How reading the file went.
enum class IniFileState : uint8_t {
  kRead,        // read to its end
  kCut,         // longer than IniFile::kMaxFileBytes: read up to there
  kMissing,     // there is no such file
  kNotAFile,    // a directory, a device or a pipe
  kDenied,      // it is there, but this user may not read it
  kUnreadable,  // it is there, but opening it failed otherwise
};

// One section of the file with each of its keys once (the first one wins), in file order.
struct IniSection {
  struct Key {
    std::string name;
    std::string value;
    bool listed = true;  // false past the name-list room: ReadSectionKeys leaves it out
  };
  std::string name;
  std::vector<Key> keys;
  // The value of a key (any case), or null when the section has no such key.
  const std::string* Find(std::string_view key) const;
};

// The whole file read in one pass, with the answers the single reads give.
struct IniContents {
  IniFileState state = IniFileState::kRead;
  std::vector<IniSection> sections;  // as ReadSectionNames lists them
  // The section (any case), or null.
  const IniSection* Find(std::string_view section) const;
};

// The INI file next to the program. Every read opens and scans the file afresh, so an edit takes
// effect at the next read; nothing is cached and the file is never written. A missing or unreadable
// file, and anything that is not a regular file (a device, a pipe, a directory), reads as an empty
// one.
//
// Syntax: "[name]" opens a section; "key=value" sets a value (cut at a CR or NUL inside it, so that
// no value can carry a line end into an IRC line); lines whose first non-blank is ";" are
// comments. Blanks around names and values are ignored, one pair of double quotes around a value is
// removed, and names match without regard to ASCII case. Lines before the first section, lines
// without "=" and lines with an empty key are ignored. A section that appears again continues the
// first one; within a section the first of two equal keys wins.
class IniFile {
 public:
  // Only the first this many bytes of the file are read; the rest is ignored, as if the file
  // ended there. A real INI file is a few KiB.
  static constexpr size_t kMaxFileBytes = 4 * 1024 * 1024;
  // Values are cut to this many bytes (a 2048-byte buffer with its terminating zero).
  static constexpr size_t kMaxValueLength = 2047;
  // Name lists hold whole names only, each with a terminating zero, plus the list's final zero.
  static constexpr size_t kNameListBytes = 16384;
  // ReadAll keeps at most this many keys in all; a real INI file has a few dozen.
  static constexpr size_t kMaxKeysKept = 16384;

  explicit IniFile(std::string path);

  const std::string& Path() const { return path_; }

  // The value, or def (cut like a value) when the section or key is missing. A key with an empty
  // value gives the empty string.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  // Decimal with an optional sign, or hexadecimal with "0x"/"0X"; anything else, an empty value or
  // a number out of the 32-bit range gives def. Hexadecimal up to 0xFFFFFFFF wraps to negative.
  int ReadInteger(std::string_view section, std::string_view key, int def) const;
  // A switch: yes, true, on and any non-zero integer are true; no, false, off and 0 are false
  // (words in any case); anything else, or no key, gives def.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  // Key names of the section in file order, each once; empty when the section is missing.
  std::vector<std::string> ReadSectionKeys(std::string_view section) const;
  // Section names in file order, each once.
  std::vector<std::string> ReadSectionNames() const;
  // Everything at once, with how reading went: one pass over the file, in memory bounded by the
  // limits above.
  IniContents ReadAll() const;

 private:
  std::string path_;
};

// Parses an integer value under ReadInteger's rules; false when it is not a valid integer.
bool ParseIniInteger(std::string_view text, int* value);
// A switch value under ReadBool's rules; nullopt when it is none.
std::optional<bool> ParseIniSwitch(std::string_view text);

// The INI path for a program path: the file name's extension replaced by ".ini", or ".ini"
// appended when it has none ("build/zelkirc" -> "build/zelkirc.ini", "/x/door.exe" -> "/x/door.ini").
std::string IniPathForProgram(std::string_view program_path);
// Where the door looks for its INI file: beside the program as the BBS ran it (invoked_path, a
// symbolic link's own folder; empty when the BBS gave no folder), when a file is there, and
// otherwise beside the program file itself. With neither there, the first place.
std::string IniPathForRun(std::string_view program_path, std::string_view invoked_path);

}  // namespace irc
