// Key events of the Windows console as the door's key bytes.
#include "platform/windows/console_keys.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace platform::windows {
namespace {

std::string Ext(int scan) {
  return std::string{'\0', static_cast<char>(scan)};
}

struct Case {
  const char* name;
  ConsoleKey key;
  std::string bytes;
};

TEST(ConsoleKeys, MapsEventsToPcKeyBytes) {
  constexpr uint32_t kAlt = LEFT_ALT_PRESSED, kRightAlt = RIGHT_ALT_PRESSED, kCtrl = LEFT_CTRL_PRESSED;
  constexpr uint32_t kShift = SHIFT_PRESSED, kEnhanced = ENHANCED_KEY, kNumLock = NUMLOCK_ON;
  const Case cases[] = {
      {"letter", {'A', u'a', 0}, "a"},
      {"shifted letter", {'A', u'A', kShift}, "A"},
      {"Enter", {VK_RETURN, u'\r', 0}, "\r"},
      {"keypad Enter", {VK_RETURN, u'\r', kEnhanced}, "\r"},
      {"Backspace", {VK_BACK, u'\b', 0}, "\b"},
      {"Esc", {VK_ESCAPE, 27, 0}, "\x1b"},
      {"Ctrl-X", {'X', 0x18, kCtrl}, "\x18"},
      {"Ctrl-@", {'2', 0, kCtrl}, Ext(3)},
      {"e acute in code page 437", {'E', u'\u00e9', 0}, "\x82"},
      {"box drawing", {0, u'\u2502', 0}, "\xb3"},
      {"no glyph in code page 437", {0, u'\u20ac', 0}, ""},
      {"F1", {VK_F1, 0, 0}, Ext(59)},
      {"F10", {VK_F10, 0, 0}, Ext(68)},
      {"Shift-F1", {VK_F1, 0, kShift}, Ext(84)},
      {"Ctrl-F2", {VK_F2, 0, kCtrl}, Ext(95)},
      {"Alt-F3", {VK_F3, 0, kAlt}, Ext(106)},
      {"F11", {VK_F11, 0, 0}, Ext(133)},
      {"Alt-F12", {VK_F12, 0, kAlt}, Ext(140)},
      {"Alt-C", {'C', u'c', kAlt}, Ext(46)},
      {"right Alt-H", {'H', u'h', kRightAlt}, Ext(35)},
      {"Alt-K", {'K', 0, kAlt}, Ext(37)},
      {"Alt-1", {'1', u'1', kAlt}, Ext(120)},
      {"Alt-0", {'0', u'0', kAlt}, Ext(129)},
      {"AltGr types its character", {'Q', u'@', kAlt | kCtrl}, "@"},
      {"grey Up", {VK_UP, 0, kEnhanced}, Ext(72)},
      {"keypad Up, Num Lock off", {VK_UP, 0, 0}, Ext(72)},
      {"keypad 8, Num Lock on", {VK_NUMPAD8, u'8', kNumLock}, "8"},
      {"keypad Home as a digit", {VK_HOME, u'7', 0}, "7"},
      {"Down", {VK_DOWN, 0, kEnhanced}, Ext(80)},
      {"Left", {VK_LEFT, 0, kEnhanced}, Ext(75)},
      {"Right", {VK_RIGHT, 0, kEnhanced}, Ext(77)},
      {"Home", {VK_HOME, 0, kEnhanced}, Ext(71)},
      {"End", {VK_END, 0, kEnhanced}, Ext(79)},
      {"Page Up", {VK_PRIOR, 0, kEnhanced}, Ext(73)},
      {"Page Down", {VK_NEXT, 0, kEnhanced}, Ext(81)},
      {"Insert", {VK_INSERT, 0, kEnhanced}, Ext(82)},
      {"Delete", {VK_DELETE, 0, kEnhanced}, Ext(83)},
      {"keypad 5, Num Lock off", {VK_CLEAR, 0, 0}, Ext(76)},
      {"Ctrl-Left", {VK_LEFT, 0, kCtrl | kEnhanced}, Ext(115)},
      {"Ctrl-Page Down", {VK_NEXT, 0, kCtrl}, Ext(118)},
      {"Shift-Tab", {VK_TAB, u'\t', kShift}, Ext(15)},
      {"Tab", {VK_TAB, u'\t', 0}, "\t"},
      {"Shift alone", {VK_SHIFT, 0, kShift}, ""},
      {"Alt alone", {VK_MENU, 0, kAlt}, ""},
      {"Caps Lock", {VK_CAPITAL, 0, 0}, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ConsoleKeyBytes(c.key), c.bytes) << c.name;
}

}  // namespace
}  // namespace platform::windows
