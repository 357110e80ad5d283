// Opening a line with given settings through the device layer: a local
// serial device set to the speed and character format, or a serial device
// server ("tcp:HOST:PORT", whose own settings give the line's format). Both
// the meters' ports and the scale's line are opened this way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/bench_settings.h"
#include "serial/serial_device.h"

namespace qv {

enum class LineOpenFailure : uint8_t {
  kNone,
  kOpen,       // missing, not permitted, busy, or the server did not accept
  kConfigure,  // the device refused the settings (not a serial line?)
};

struct OpenedLine {
  std::unique_ptr<SerialDevice> Device;  // open and set up; null on failure
  LineOpenFailure Failure = LineOpenFailure::kNone;
};

// Opens `path` (exclusively) and sets `line`; on success the device's queues
// are empty.
OpenedLine OpenLine(const std::string& path, const LineSettings& line);

// The settings as the operation log names them: "2400波特8E1".
std::string LineSettingsText(const LineSettings& line);

// The line settings of a scale's line ('N', 'E', 'O' parity).
LineSettings ToLineSettings(const ScaleLine& line);

}  // namespace qv
