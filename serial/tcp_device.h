// Serial device servers: a port whose device is written "tcp:HOST:PORT"
// (IPv6 hosts in brackets, "tcp:[fe80::1]:4001") is a raw TCP connection to
// a server in its "TCP server" mode, which passes the bytes to and from its
// serial line unchanged. The server's own settings give that line 2400 baud
// 8E1; the connection carries no line settings.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "serial/serial_device.h"

namespace qv {

inline constexpr std::string_view kTcpDevicePrefix = "tcp:";

struct TcpEndpoint {
  std::string Host;
  uint16_t Port = 0;
};

// Whether `path` names a serial device server (begins with "tcp:").
bool IsTcpDevice(std::string_view path);
// Host and port of "tcp:HOST:PORT"; nothing when the host is empty or the
// port is not 1..65535.
std::optional<TcpEndpoint> ParseTcpDevice(std::string_view path);

// A closed connection to a serial device server. `Open` connects (giving up
// after its connect timeout, 3 s), `Configure` changes nothing, reads and writes
// behave as on a serial device; the server closing the connection, or the
// connection breaking, reads as a hang-up.
std::unique_ptr<SerialDevice> MakeTcpDevice();

// The device of `path`: a serial device server for "tcp:...", else this
// platform's serial device.
std::unique_ptr<SerialDevice> MakeDeviceFor(std::string_view path);

}  // namespace qv
