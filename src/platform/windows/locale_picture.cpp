#include "platform/windows/locale_picture.h"

namespace platform::windows {

std::string DatePictureToPattern(std::string_view picture) {
  std::string out;
  size_t i = 0;
  bool skip_separator = false;
  while (i < picture.size()) {
    const char c = picture[i];
    if (c == '\'') {  // quoted literal text; '' inside it is one quote
      ++i;
      while (i < picture.size()) {
        if (picture[i] == '\'') {
          if (i + 1 < picture.size() && picture[i + 1] == '\'') {
            out += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out += picture[i] == '%' ? std::string("%%") : std::string(1, picture[i]);
        ++i;
      }
      skip_separator = false;
      continue;
    }
    size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    if (c == 'd' || c == 'M' || c == 'y' || c == 'g') {
      std::string element;
      if (c == 'd' && run <= 2) element = run == 1 ? "%-d" : "%d";
      if (c == 'M' && run <= 2) element = run == 1 ? "%-m" : "%m";
      if (c == 'y') element = run == 1 ? "%-y" : run == 2 ? "%y" : "%Y";
      if (element.empty()) {
        skip_separator = true;  // a name or an era: not shown, nor the blank or comma after it
      } else {
        out += element;
        skip_separator = false;
      }
      i += run;
      continue;
    }
    if (!(skip_separator && (c == ' ' || c == ','))) out += c == '%' ? std::string("%%") : std::string(1, c);
    ++i;
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == ',')) out.pop_back();
  return out;
}

std::string TimePattern(bool twenty_four_hour, bool hour_leading_zero, std::string_view separator) {
  std::string sep;
  for (char c : separator) sep += c == '%' ? std::string("%%") : std::string(1, c);
  std::string hour =
      twenty_four_hour ? (hour_leading_zero ? "%H" : "%-H") : (hour_leading_zero ? "%I" : "%-I");
  std::string out = hour + sep + "%M" + sep + "%S";
  if (!twenty_four_hour) out += " %p";
  return out;
}

}  // namespace platform::windows
