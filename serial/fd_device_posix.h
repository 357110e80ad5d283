// What the POSIX backends share: a device that is one non-blocking file
// descriptor, waited on with poll() next to an eventfd that carries the stop
// signal, so a blocked read or write wakes the moment the port is closed.
// The backends differ only in how the descriptor is obtained and set up
// (a tty with termios, a TCP connection to a serial device server).
#pragma once

#include <sys/types.h>

#include "serial/serial_device.h"

namespace qv {

class PosixFdDevice : public SerialDevice {
 public:
  ~PosixFdDevice() override { Close(); }

  ReadResult Read(std::span<uint8_t> into, std::optional<std::chrono::milliseconds> wait) override;
  WriteResult Write(std::span<const uint8_t> bytes) override;
  void Stop() override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }

 protected:
  // Takes `fd` (open, non-blocking) as the device and creates a clear stop
  // signal; on failure `fd` stays the caller's.
  std::error_code Adopt(int fd);
  // One write attempt, as write(2).
  virtual ssize_t WriteSome(std::span<const uint8_t> bytes);
  // Runs before the descriptor is closed.
  virtual void BeforeClose() {}

  int fd_ = -1;

 private:
  int stop_fd_ = -1;
};

std::error_code LastError();

}  // namespace qv
