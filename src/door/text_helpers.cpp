#include "door/text_helpers.h"

#include <algorithm>

namespace door {

std::string PadLeft(std::string_view text, char pad, int width) {
  const size_t w = static_cast<size_t>(std::max(width, 0));
  std::string out;
  out.reserve(w);
  if (text.size() < w) out.append(w - text.size(), pad);
  out.append(text.substr(0, w - out.size()));
  return out;
}

std::string PadRight(std::string_view text, char pad, int width) {
  const size_t w = static_cast<size_t>(std::max(width, 0));
  std::string out(text.substr(0, w));
  out.resize(w, pad);
  return out;
}

std::string AlignRight80(std::string_view text) {
  return PadLeft(text, ' ', 80);
}

std::string Concat(std::initializer_list<std::string_view> pieces) {
  size_t length = 0;
  for (std::string_view piece : pieces) length += piece.size();
  std::string out;
  out.reserve(length);
  for (std::string_view piece : pieces) out.append(piece);
  return out;
}

// One pass from left to right: text produced by a replacement is never searched again, so an
// occurrence that a replacement forms together with its neighbours stays. Rescanning from the
// start instead could loop forever (replacing "ab" by "bbaa" in "aab" never ends).
std::string ReplaceAll(std::string_view text, std::string_view old_text, std::string_view new_text) {
  if (old_text.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  for (size_t hit = text.find(old_text); hit != std::string_view::npos; hit = text.find(old_text, pos)) {
    out.append(text.substr(pos, hit - pos));
    out.append(new_text);
    pos = hit + old_text.size();
  }
  out.append(text.substr(pos));
  return out;
}

}  // namespace door
