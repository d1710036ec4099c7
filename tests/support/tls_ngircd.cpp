#include "support/tls_ngircd.h"

#include <utility>

namespace testsupport {

#ifndef ZELK_SOURCE_DIR
#define ZELK_SOURCE_DIR "."
#endif

TlsNgircd::TlsNgircd() : TlsNgircd(ZELK_SOURCE_DIR "/tests/data/ngircd.conf") {}

TlsNgircd::TlsNgircd(std::string conf_template) : server_(std::move(conf_template)) {
  if (certificate_.ok()) server_.EnableTls(certificate_.cert_file(), certificate_.key_file());
}

std::unique_ptr<TlsNgircd> TlsNgircd::StartOrNull() {
  if (!NgircdServer::Available()) return nullptr;
  auto server = std::make_unique<TlsNgircd>();
  if (!server->Start()) return nullptr;
  return server;
}

bool TlsNgircd::Start() {
  return certificate_.ok() && server_.Start();
}

std::string TlsNgircd::Log() const {
  if (!certificate_.ok()) return "the openssl command made no certificate";
  return server_.Log();
}

}  // namespace testsupport
