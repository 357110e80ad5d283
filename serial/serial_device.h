// The platform layer under the serial ports: one open serial device with a
// stop signal. The port object (serial_port.h) drives the line only through
// this interface; every system call lives in the backend file
// (serial_device_posix.cpp on Linux), so another platform is one more file.
//
// Threads: `Open`, `Configure` and `Close` run while no other thread uses the
// device. Between them one thread may `Read` while another `Write`s, and any
// thread may `Stop` or `Purge`.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

namespace qv {

enum class Parity : uint8_t { kNone, kOdd, kEven };

// The line options the port sets; every other option stays as the device
// reports it.
struct LineSettings {
  uint32_t BaudRate = 2400;
  uint8_t DataBits = 8;
  Parity ParityMode = Parity::kEven;
  uint8_t StopBits = 1;
  bool operator==(const LineSettings&) const = default;
};

// Reads "8E1" (data bits 5..8, parity N, E or O, stop bits 1 or 2) into
// `line`, keeping its speed; false, `line` unchanged, for any other text.
bool ParseLineFormat(std::string_view text, LineSettings& line);

enum class ReadStatus : uint8_t {
  kData,     // `Count` bytes were stored
  kTimeout,  // the wait passed without a byte
  kStopped,  // the stop signal is set
  kFailed,   // the device failed or hung up (`Error` tells why)
};

struct ReadResult {
  ReadStatus Status = ReadStatus::kFailed;
  size_t Count = 0;
  std::error_code Error;
};

enum class WriteStatus : uint8_t { kDone, kStopped, kFailed };

struct WriteResult {
  WriteStatus Status = WriteStatus::kFailed;
  std::error_code Error;
};

enum class PurgeQueue : uint8_t { kInput, kOutput, kBoth };

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Opens an existing device for reading and writing, for this process
  // alone: a second open of the same device, here or elsewhere, fails while
  // this one is held. Also creates a fresh, clear stop signal.
  virtual std::error_code Open(const std::string& path) = 0;
  // Raw mode with the given speed, data bits, parity and stop bits.
  virtual std::error_code Configure(const LineSettings& line) = 0;
  // Waits until bytes are there, the stop signal is set or `wait` passes
  // (no `wait` = no time limit), then stores what is available, at most
  // `into.size()` bytes.
  virtual ReadResult Read(std::span<uint8_t> into,
                          std::optional<std::chrono::milliseconds> wait) = 0;
  // Writes every byte of `bytes`, waiting as long as the line needs; a stop
  // signal ends the wait.
  virtual WriteResult Write(std::span<const uint8_t> bytes) = 0;
  // Discards what the driver holds in the given queue(s).
  virtual void Purge(PurgeQueue queue) = 0;
  // Sets the stop signal: pending and later reads and writes return
  // kStopped. It stays set until the next `Open`.
  virtual void Stop() = 0;
  // Releases the device and the stop signal; does nothing when closed.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
};

// A closed device of this platform.
std::unique_ptr<SerialDevice> MakeSerialDevice();

// Device of port number `n` (1..32) when the settings name none.
std::string DefaultDevicePath(int n);

}  // namespace qv
