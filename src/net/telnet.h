// Telnet on the caller's connection: the decoder that turns what a telnet client sends into the
// bytes it typed, and the escaper for what the door sends. Both are pure: bytes in, bytes out,
// state kept across calls so that a command split over several reads is still recognised.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace net {

// The telnet bytes the door uses.
inline constexpr uint8_t kTelnetIac = 255;
inline constexpr uint8_t kTelnetDont = 254;
inline constexpr uint8_t kTelnetDo = 253;
inline constexpr uint8_t kTelnetWont = 252;
inline constexpr uint8_t kTelnetWill = 251;
inline constexpr uint8_t kTelnetSb = 250;
inline constexpr uint8_t kTelnetSe = 240;
inline constexpr uint8_t kTelnetOptionBinary = 0;
inline constexpr uint8_t kTelnetOptionEcho = 1;
inline constexpr uint8_t kTelnetOptionSuppressGoAhead = 3;

// The door's opening offers: IAC WILL TRANSMIT-BINARY, IAC WILL ECHO, IAC WILL SUPPRESS-GO-AHEAD.
// Echo and suppress-go-ahead together put a telnet client into character mode.
inline constexpr std::string_view kTelnetOpeningOffers{"\xFF\xFB\x00\xFF\xFB\x01\xFF\xFB\x03", 9};

// Decodes a telnet stream. IAC IAC is one 0xFF byte; WILL, WONT, DO and DONT with their option
// byte, a subnegotiation (IAC SB ... IAC SE, of any length) and every other IAC command are
// consumed. CR NUL and CR LF are one Enter (CR); a NUL on its own is dropped. Nothing is answered:
// the door's offers are made once, at the start of the visit. Memory is constant: the contents
// of a subnegotiation are not kept.
class TelnetDecoder {
 public:
  // Appends the data bytes of `in` to `out`.
  void Decode(std::string_view in, std::string& out);
  void Reset() { *this = TelnetDecoder(); }

 private:
  enum class State : uint8_t {
    kData,        // plain data
    kCommand,     // after IAC
    kOption,      // after IAC WILL/WONT/DO/DONT: the option byte comes next
    kSub,         // inside IAC SB ... (up to the IAC SE)
    kSubCommand,  // inside a subnegotiation, after IAC
  };
  State state_ = State::kData;
  bool after_cr_ = false;  // the last data byte was a CR: a NUL or LF right after it is its partner
};

// Appends `in` to `out` with every 0xFF byte doubled, as telnet wants data sent.
void TelnetEscape(std::string_view in, std::string& out);

}  // namespace net
