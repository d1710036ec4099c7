#include "net/telnet.h"

#include <cstring>

namespace net {

void TelnetDecoder::Decode(std::string_view in, std::string& out) {
  size_t i = 0;
  const size_t n = in.size();
  while (i < n) {
    const auto byte = static_cast<uint8_t>(in[i]);
    switch (state_) {
      case State::kData: {
        if (after_cr_ && (byte == '\0' || byte == '\n')) {
          after_cr_ = false;
          ++i;
          break;
        }
        // Copy a run of ordinary bytes at once.
        size_t end = i;
        while (end < n) {
          const auto b = static_cast<uint8_t>(in[end]);
          if (b == kTelnetIac || b == '\0' || b == '\r') break;
          ++end;
        }
        if (end > i) {
          out.append(in.data() + i, end - i);
          after_cr_ = false;
          i = end;
          break;
        }
        if (byte == kTelnetIac) {
          state_ = State::kCommand;
        } else if (byte == '\r') {
          out.push_back('\r');
          after_cr_ = true;
        }
        // A NUL not after a CR is dropped on its own.
        ++i;
        break;
      }
      case State::kCommand:
        if (byte == kTelnetIac) {
          out.push_back(static_cast<char>(kTelnetIac));
          after_cr_ = false;
          state_ = State::kData;
        } else if (byte >= kTelnetWill) {
          state_ = State::kOption;
        } else if (byte == kTelnetSb) {
          state_ = State::kSub;
        } else {
          state_ = State::kData;  // a two-byte command (NOP, GA, AYT, a stray SE, ...)
        }
        ++i;
        break;
      case State::kOption:
        state_ = State::kData;
        ++i;
        break;
      case State::kSub: {
        const void* iac = std::memchr(in.data() + i, kTelnetIac, n - i);
        if (iac == nullptr) {
          i = n;
        } else {
          i = static_cast<size_t>(static_cast<const char*>(iac) - in.data()) + 1;
          state_ = State::kSubCommand;
        }
        break;
      }
      case State::kSubCommand:
        // IAC SE ends it; IAC IAC is a data byte inside it; anything else is taken as the client
        // having given up on the subnegotiation, and is read as a command.
        if (byte == kTelnetSe) {
          state_ = State::kData;
          ++i;
        } else if (byte == kTelnetIac) {
          state_ = State::kSub;
          ++i;
        } else {
          state_ = State::kCommand;
        }
        break;
    }
  }
}

void TelnetEscape(std::string_view in, std::string& out) {
  size_t start = 0;
  while (start < in.size()) {
    const void* iac = std::memchr(in.data() + start, kTelnetIac, in.size() - start);
    if (iac == nullptr) {
      out.append(in.data() + start, in.size() - start);
      return;
    }
    const size_t at = static_cast<size_t>(static_cast<const char*>(iac) - in.data());
    out.append(in.data() + start, at - start + 1);
    out.push_back(static_cast<char>(kTelnetIac));
    start = at + 1;
  }
}

}  // namespace net
