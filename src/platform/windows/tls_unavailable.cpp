// This Windows build has no TLS library: a session over a connected socket fails its handshake at
// once, and the server link says that TLS is not available in this build.
#include "platform/tls.h"

namespace platform {
namespace {

class UnavailableTls : public TlsTransport {
 public:
  explicit UnavailableTls(std::unique_ptr<Transport> connected) : connected_(std::move(connected)) {}

  Progress Handshake() override { return Progress::kFailed; }
  TlsFailure failure() const override { return TlsFailure::kNotInThisBuild; }

  int Fd() const override { return -1; }
  Readiness WaitReadable(int) override { return Readiness::kError; }
  IoResult Recv(char*, size_t) override { return IoResult::Of(IoStatus::kError); }
  IoResult Send(const char*, size_t) override { return IoResult::Of(IoStatus::kError); }
  IoResult SendNow(const char*, size_t) override { return IoResult::Of(IoStatus::kError); }
  IoResult RecvNow(char*, size_t) override { return IoResult::Of(IoStatus::kError); }
  void SetBlocking(bool) override {}
  void Close(bool shutdown) override {
    if (connected_) connected_->Close(shutdown);
    connected_.reset();
  }

 private:
  std::unique_ptr<Transport> connected_;
};

}  // namespace

bool TlsAvailable() {
  return false;
}

std::unique_ptr<TlsTransport> StartTls(std::unique_ptr<Transport> connected, const TlsSettings&) {
  return std::make_unique<UnavailableTls>(std::move(connected));
}

}  // namespace platform
