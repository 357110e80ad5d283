#include "serial/line_open.h"

#include "serial/tcp_device.h"

namespace qv {

OpenedLine OpenLine(const std::string& path, const LineSettings& line) {
  std::unique_ptr<SerialDevice> device = MakeDeviceFor(path);
  if (device->Open(path)) return {nullptr, LineOpenFailure::kOpen};
  if (device->Configure(line)) {
    device->Close();
    return {nullptr, LineOpenFailure::kConfigure};
  }
  // Whatever the line held before we owned it is not for us.
  device->Purge(PurgeQueue::kBoth);
  return {std::move(device), LineOpenFailure::kNone};
}

std::string LineSettingsText(const LineSettings& line) {
  const char parity = line.ParityMode == Parity::kEven  ? 'E'
                      : line.ParityMode == Parity::kOdd ? 'O'
                                                        : 'N';
  return std::to_string(line.BaudRate) + "波特" + std::to_string(line.DataBits) + parity +
         std::to_string(line.StopBits);
}

LineSettings ToLineSettings(const ScaleLine& line) {
  const Parity parity = line.Parity == 'E'   ? Parity::kEven
                        : line.Parity == 'O' ? Parity::kOdd
                                             : Parity::kNone;
  return {static_cast<uint32_t>(line.Baud), static_cast<uint8_t>(line.DataBits), parity,
          static_cast<uint8_t>(line.StopBits)};
}

}  // namespace qv
