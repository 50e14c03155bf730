// The simulator's public face: each call goes to the server or its model.
#include "sim/simulator.h"

#include <memory>
#include <string>

#include "sim/server.h"

namespace ocamsim {
struct Simulator::Impl {
  explicit Impl(const Options &o) : server(o) {}
  detail::Server server;
};

Simulator::Simulator(Options options) : impl_(std::make_unique<Impl>(options)) {}
Simulator::~Simulator() { stop(); }
void Simulator::start() { impl_->server.start(); }
void Simulator::stop() { impl_->server.stop(); }
int Simulator::cameraPort() const { return impl_->server.port(0); }
int Simulator::ioPort() const { return impl_->server.port(1); }
namespace {

// An address a client can connect to: the wildcard addresses mean loopback.
std::string reachable(const std::string &bind, int port) {
  std::string host = bind;
  if (host.empty() || host == "0.0.0.0") host = "127.0.0.1";
  if (host == "::") host = "::1";
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return host + ":" + std::to_string(port);
}

}  // namespace

std::string Simulator::cameraAddress() const {
  return reachable(impl_->server.options().bindAddress, cameraPort());
}
std::string Simulator::ioAddress() const {
  return reachable(impl_->server.options().bindAddress, ioPort());
}
void Simulator::inject(const Fault &fault) { impl_->server.faults().inject(fault); }
void Simulator::clearFaults() { impl_->server.faults().clear(); }
std::vector<LogEntry> Simulator::log() const { return impl_->server.log().entries(); }
void Simulator::clearLog() { impl_->server.log().clear(); }
std::size_t Simulator::count(const std::string &operation) const {
  return impl_->server.log().count(operation);
}
bool Simulator::waitForCount(const std::string &operation, std::size_t n, int timeoutMs) const {
  return impl_->server.log().waitForCount(operation, n, timeoutMs);
}
std::size_t Simulator::connectionsAccepted() const { return impl_->server.slots().accepted(); }
std::size_t Simulator::openConnections() const { return impl_->server.slots().open(); }
bool Simulator::waitForOpenConnections(std::size_t n, int timeoutMs) const {
  return impl_->server.slots().waitForOpen(n, timeoutMs);
}
bool Simulator::waitForInputWaits(std::size_t n, int timeoutMs) const {
  return impl_->server.model().waitForInputWaits(n, timeoutMs);
}
std::size_t Simulator::openSessions() const { return impl_->server.model().openSessions(); }
bool Simulator::sessionOpen(int token) const { return impl_->server.model().sessionOpen(token); }
void Simulator::setInputs(int levels) { impl_->server.model().setInputs(levels); }
int Simulator::inputs() const { return impl_->server.model().inputWord() & 3; }
void Simulator::setOverload(bool on) { impl_->server.model().setOverload(on); }
int Simulator::outputs() const { return impl_->server.model().outputs(); }
int Simulator::leds() const { return impl_->server.model().leds(); }
int Simulator::acquisitionMode() const { return impl_->server.model().acquisitionMode(); }
int Simulator::shutterTime() const { return impl_->server.model().shutterTime(); }
int Simulator::gain() const { return impl_->server.model().gain(); }
std::string Simulator::lastSetting(const std::string &operation) const {
  return impl_->server.log().lastSetting(operation);
}
ocamera::Settings Simulator::settings() const { return impl_->server.model().settings(); }
std::string Simulator::applySettings(const ocamera::Settings &profile) {
  return impl_->server.model().loadSettings(profile);
}
std::vector<std::uint8_t> Simulator::lastImage() const { return impl_->server.model().lastImage(); }
std::vector<std::uint8_t> Simulator::readRam(std::size_t address, std::size_t length) const {
  return impl_->server.model().peekRam(address, length);
}
void Simulator::writeRam(std::size_t address, const std::vector<std::uint8_t> &bytes) {
  impl_->server.model().pokeRam(address, bytes);
}

}  // namespace ocamsim
