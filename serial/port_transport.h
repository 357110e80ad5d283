// What a port slot holds: the transport that carries a port's bytes to its
// meters and back. Received bytes go into the slot's ring from the
// transport's own reader; the user-interface thread only opens, closes and
// writes. The serial port (TSerialPort) is the transport of local serial
// devices and of serial device servers alike (they differ only in their
// device backend); an in-process fake plugs in here without the
// transaction cycle knowing.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qv {

class PortTransport {
 public:
  virtual ~PortTransport() = default;
  // Opens the line and starts receiving into the slot's ring; false when it
  // cannot be opened (the reason is logged).
  virtual bool Open() = 0;
  // Stops receiving and closes the line; nothing happens when it is closed.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Open, but its line has failed (unplugged, hung up): it must be closed
  // and opened again.
  virtual bool Failed() const { return false; }
  // Queues `data` for sending; false when the line cannot take it.
  virtual bool WriteCommData(std::span<const uint8_t> data) = 0;
  // "COM"n, as the log names the port.
  virtual const std::string& PortName() const = 0;
  // The device behind the port, as the settings name it.
  virtual std::string DevicePath() const = 0;
  // Logs what was received and not logged yet.
  virtual void FlushReceived() {}
  // The block of the operation log the port's lines go into (kNoBlock:
  // straight to the log), while its line serves one row of several served
  // at once.
  virtual void SetLogBlock(int /*block*/) {}
  virtual int LogBlock() const { return -1; }
};

}  // namespace qv
