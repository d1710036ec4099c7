// Any bytes as a DOOR32.SYS drop file, and the same bytes cut at NUL into command-line arguments.
// Besides not crashing, an accepted drop file must carry what the door relies on.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "door/command_line.h"
#include "door/drop_file.h"
#include "text/ascii.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

void CheckDropFile(std::string_view contents) {
  const door::Door32Result result = door::ParseDoor32(contents);
  if (!result.visit) {
    if (result.error.empty()) Fail("rejected drop file without a reason");
    return;
  }
  const door::Visit& visit = *result.visit;
  // Lines hold no line ends once split.
  for (const std::string* text : {&visit.bbs_name, &visit.user_real_name, &visit.user_handle}) {
    if (text->find_first_of("\r\n") != std::string::npos) Fail("line end inside a field");
  }
  // The names keep no control byte at all, as with -A.
  for (const std::string* text : {&visit.user_real_name, &visit.user_handle}) {
    for (const char c : *text) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) Fail("control byte in a name");
    }
  }
}

// ParseDecimal accepts exactly an optional sign and digits whose value fits an int.
void CheckDecimal(const std::string& text) {
  std::string_view digits = text;
  if (digits.starts_with('+') || digits.starts_with('-')) digits.remove_prefix(1);
  const bool well_formed =
      !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos;
  errno = 0;
  const long long wide = well_formed ? std::strtoll(text.c_str(), nullptr, 10) : 0;
  const bool fits = well_formed && errno == 0 && wide >= INT32_MIN && wide <= INT32_MAX;
  const std::optional<int> value = text::ParseDecimal(text);
  if (value.has_value() != fits) Fail("decimal accepted or refused wrongly");
  if (value && *value != wide) Fail("decimal parsed to a different number");
}

void CheckCommandLine(std::string_view input) {
  std::vector<std::string> args;
  size_t start = 0;
  for (;;) {
    const size_t nul = input.find('\0', start);
    args.emplace_back(
        input.substr(start, nul == std::string_view::npos ? std::string_view::npos : nul - start));
    if (nul == std::string_view::npos) break;
    start = nul + 1;
  }
  (void)door::ParseCommandLine(args);
  for (const std::string& arg : args) {
    CheckDecimal(arg);
    if (arg.size() >= 2) CheckDecimal(arg.substr(2));  // the value of an option
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CheckDropFile(input);
  CheckCommandLine(input);
  return 0;
}
