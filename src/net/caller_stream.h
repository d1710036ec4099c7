// The stages a caller's bytes pass between the transport and the door: on the way in the telnet
// decoder (then the key reader), on the way out the 0xFF escaper (then the output queue). A stage
// that is off costs nothing; a link that is not a caller's keeps every stage off.
#pragma once

#include <string>
#include <string_view>

#include "net/telnet.h"

namespace net {

class CallerStream {
 public:
  void SetTelnet(bool on) {
    telnet_ = on;
    decoder_.Reset();
  }
  // Nothing to do either way: bytes pass as they are.
  bool Transparent() const { return !telnet_; }

  // Appends what the door sees of received bytes to out (only when not Transparent).
  void DecodeInput(std::string_view in, std::string& out) { decoder_.Decode(in, out); }
  // Appends the bytes that carry the door's output to out (only when not Transparent).
  void EncodeOutput(std::string_view in, std::string& out) { TelnetEscape(in, out); }

 private:
  bool telnet_ = false;
  TelnetDecoder decoder_;
};

}  // namespace net
