// Text from IRC made into the door's shown text (code page 437 bytes and in-text codes, see
// caller_charset.h): decoded as UTF-8 with each byte of a broken sequence taken as Windows-1252,
// IRC's formatting codes turned into the door's colours, and every control character shown in caret
// form (^[ for ESC, ^H for BS, ^? for DEL, ^[[ for the C1 CSI), so none reaches a terminal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace text {

struct IrcTextOptions {
  // Bold, colours and reverse become colours; the other formatting codes are dropped. Off: they
  // are shown in caret form like every other control, and so is a DEL before a hex digit, which
  // is otherwise one of our colour codes (for names, where formatting has no place).
  bool formatting = true;
  // Characters code page 437 lacks are kept for a caller that can show them. Off: each is replaced
  // by its stand-in at once, so that every character is one byte (for text padded to columns).
  bool keep_unicode = true;
};

// Appends text as shown text. The door's own colour codes in it (0x7F and a hex digit) pass and set
// the colour that IRC's "default colour" returns to; any formatting still in effect at the end is
// closed with that colour, so nothing carries over to what the door shows next.
void AppendIrcText(std::string& out, std::string_view text, IrcTextOptions options = {});

class CallerWriter;
// The same text as a caller's bytes (and the console's): what CallerWriter::Shown would write for
// AppendIrcText's result, without the shown text between.
void WriteIrcText(CallerWriter& out, std::string_view text, IrcTextOptions options = {});

// The shown text for a name or word from IRC: no formatting, one byte a character.
std::string IrcName(std::string_view text);

// The colour (0-15, the PC's) nearest to an RGB value, and the one an IRC colour number stands for.
int NearestPcColour(uint32_t rgb);
int PcColourForIrc(int irc_colour);  // 0-98; -1 for 99 (the default colour) and beyond

}  // namespace text
