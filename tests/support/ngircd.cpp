#include "support/ngircd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

#include "support/sockets.h"

namespace testsupport {
namespace {

using SteadyClock = std::chrono::steady_clock;

bool PortAccepts(int port) {
  const int fd = ConnectLoopback(port);
  if (fd < 0) return false;
  close(fd);
  return true;
}

// The template with every "Ports =" line replaced by one naming port.
std::string ConfWithPort(const std::string& conf_template, int port) {
  std::ifstream in(conf_template);
  std::ostringstream out;
  std::string line;
  while (std::getline(in, line)) {
    size_t first = line.find_first_not_of(" \t");
    if (first != std::string::npos && line.compare(first, 5, "Ports") == 0 &&
        line.find('=', first) != std::string::npos) {
      out << line.substr(0, first) << "Ports = " << port << "\n";
    } else {
      out << line << "\n";
    }
  }
  return out.str();
}

constexpr std::string_view kDhParameters =
    "-----BEGIN DH PARAMETERS-----\n"
    "MIIBCAKCAQEA//////////+t+FRYortKmq/cViAnPTzx2LnFg84tNpWp4TZBFGQz\n"
    "+8yTnc4kmz75fS/jY2MMddj2gbICrsRhetPfHtXV/WVhJDP1H18GbtCFY2VVPe0a\n"
    "87VXE15/V8k1mE8McODmi3fipona8+/och3xWKE2rec1MKzKT0g6eXq8CrGCsyT7\n"
    "YdEIqUuyyOP7uWrat2DX9GgdT0Kj3jlN9K5W7edjcrsZCwenyO4KbXCeAvzhzffi\n"
    "7MA0BM0oNC9hkXL+nOmFg/+OTxIy7vKBg8P+OxtMb61zO7X8vC7CIAXFjvGDfRaD\n"
    "ssbzSibBsu/6iGtCOGEoXJf//////////wIBAg==\n"
    "-----END DH PARAMETERS-----\n";

}  // namespace

bool NgircdServer::Available() {
  return access(kBinary, X_OK) == 0;
}

NgircdServer::NgircdServer(std::string conf_template) : conf_template_(std::move(conf_template)) {}

NgircdServer::~NgircdServer() {
  Stop();
  if (!dir_.empty()) {
    std::remove((dir_ + "/ngircd.conf").c_str());
    std::remove((dir_ + "/ngircd.log").c_str());
    std::remove((dir_ + "/dh.pem").c_str());
    rmdir(dir_.c_str());
  }
}

bool NgircdServer::Start() {
  if (process_.Running() || !Available()) return false;
  if (access(conf_template_.c_str(), R_OK) != 0) return false;
  std::string pattern = "/tmp/zelk_ngircd_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return false;
  dir_ = pattern;
  chmod(dir_.c_str(), 0755);

  close(ListenLoopback(&port_));
  std::string conf_path = dir_ + "/ngircd.conf";
  {
    std::ofstream out(conf_path, std::ios::trunc);
    out << ConfWithPort(conf_template_, port_);
    if (!cert_file_.empty()) {
      int listener = ListenLoopback(&tls_port_);
      close(listener);
      // A fixed, published group (RFC 7919 ffdhe2048): without one ngircd makes its own at start,
      // which takes seconds on a busy machine.
      const std::string dh_file = dir_ + "/dh.pem";
      std::ofstream(dh_file) << kDhParameters;
      out << "[SSL]\n\tCertFile = " << cert_file_ << "\n\tKeyFile = " << key_file_
          << "\n\tDHFile = " << dh_file << "\n\tPorts = " << tls_port_ << "\n";
    }
    if (!out) return false;
  }
  chmod(conf_path.c_str(), 0644);
  return Launch();
}

bool NgircdServer::Restart() {
  if (process_.Running() || dir_.empty()) return false;
  return Launch();
}

bool NgircdServer::Launch() {
  ChildProcess::Options options;
  options.argv = {kBinary, "-n", "-f", dir_ + "/ngircd.conf"};
  options.out = options.err = ChildProcess::Stream::AppendTo(dir_ + "/ngircd.log");
  if (!process_.Start(std::move(options))) return false;

  auto deadline = SteadyClock::now() + std::chrono::seconds(10);
  while (SteadyClock::now() < deadline) {
    if (PortAccepts(port_) && (tls_port_ == 0 || PortAccepts(tls_port_))) return true;
    if (!process_.Running()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  Stop();
  return false;
}

void NgircdServer::EnableTls(std::string cert_file, std::string key_file) {
  cert_file_ = std::move(cert_file);
  key_file_ = std::move(key_file);
}

void NgircdServer::Stop() {
  process_.Stop(3000);
}

void NgircdServer::Kill() {
  process_.Kill();
}

std::string NgircdServer::Log() const {
  if (dir_.empty()) return {};
  std::ifstream in(dir_ + "/ngircd.log");
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace testsupport
