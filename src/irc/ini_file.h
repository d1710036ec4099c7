// Read-only access to the door's INI file, in the manner of the Windows profile functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace irc {

// The INI file next to the program. Every read opens and scans the file afresh, so an edit takes
// effect at the next read; nothing is cached and the file is never written. A missing or unreadable
// file, and anything that is not a regular file (a device, a pipe, a directory), reads as an empty
// one.
//
// Syntax: "[name]" opens a section; "key=value" sets a value; lines whose first non-blank is ";" are
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

  explicit IniFile(std::string path);

  const std::string& Path() const { return path_; }

  // The value, or def (cut like a value) when the section or key is missing. A key with an empty
  // value gives the empty string.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  // Decimal with an optional sign, or hexadecimal with "0x"/"0X"; anything else, an empty value or
  // a number out of the 32-bit range gives def. Hexadecimal up to 0xFFFFFFFF wraps to negative.
  int ReadInteger(std::string_view section, std::string_view key, int def) const;
  // An integer read with def as 0 or 1; non-zero is true.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  // Key names of the section in file order, each once; empty when the section is missing.
  std::vector<std::string> ReadSectionKeys(std::string_view section) const;
  // Section names in file order, each once.
  std::vector<std::string> ReadSectionNames() const;

 private:
  std::string path_;
};

// Parses an integer value under ReadInteger's rules; false when it is not a valid integer.
bool ParseIniInteger(std::string_view text, int* value);

// The INI path for a program path: the file name's extension replaced by ".ini", or ".ini"
// appended when it has none ("build/zelkirc" -> "build/zelkirc.ini", "/x/door.exe" -> "/x/door.ini").
std::string IniPathForProgram(std::string_view program_path);

}  // namespace irc
