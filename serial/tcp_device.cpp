#include "serial/tcp_device.h"

#include <charconv>

namespace qv {

bool IsTcpDevice(std::string_view path) {
  return path.starts_with(kTcpDevicePrefix);
}

std::optional<TcpEndpoint> ParseTcpDevice(std::string_view path) {
  if (!IsTcpDevice(path)) return std::nullopt;
  const std::string_view rest = path.substr(kTcpDevicePrefix.size());
  const size_t colon = rest.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view host = rest.substr(0, colon);
  const std::string_view port = rest.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  } else if (host.find(':') != std::string_view::npos) {
    return std::nullopt;  // an IPv6 address needs its brackets
  }
  unsigned value = 0;
  const auto r = std::from_chars(port.data(), port.data() + port.size(), value);
  if (host.empty() || r.ec != std::errc() || r.ptr != port.data() + port.size() || value == 0 ||
      value > 65535) {
    return std::nullopt;
  }
  return TcpEndpoint{std::string(host), static_cast<uint16_t>(value)};
}

std::unique_ptr<SerialDevice> MakeDeviceFor(std::string_view path) {
  return IsTcpDevice(path) ? MakeTcpDevice() : MakeSerialDevice();
}

}  // namespace qv
