// One serial port of the bench ("COM1".."COM32"), on a local serial device
// or, for a device written "tcp:HOST:PORT", on a serial device server
// (serial/tcp_device.h); both behave alike from here up. An open port runs two
// threads: the reader waits on the line, gathers the bytes of one block and
// hands each finished block to its slot's receive ring and to the operation
// log as one " 收到数据：" line; the writer takes the blocks queued by
// `WriteCommData` in order and writes each completely. Open, Close and
// WriteCommData belong to the user-interface thread.
//
// A thread that ends on an I/O failure (peer hung up, adapter pulled out)
// logs one line naming the port and leaves the port open for everybody
// else: `Active` stays set, nothing more arrives (reader gone) or
// WriteCommData refuses (writer gone). Close and a new Open recover.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "core/operation_log.h"
#include "serial/port_transport.h"
#include "serial/recv_ring.h"
#include "serial/serial_device.h"

namespace qv {

class TSerialPort : public PortTransport {
 public:
  static constexpr uint32_t kInfinite = std::numeric_limits<uint32_t>::max();

  // Received blocks go to `ring` and `log`; both must outlive the port.
  TSerialPort(RecvRing& ring, OperationLog& log);
  TSerialPort(const TSerialPort&) = delete;
  TSerialPort& operator=(const TSerialPort&) = delete;
  // Closes the port when it is open.
  ~TSerialPort() override;

  // Port number 1..32 and the name "COM"n; 0 or the current number changes
  // nothing.
  void SetPortNumber(uint8_t n);
  // Device of this port; empty = the platform's default for the number.
  void SetDevicePath(std::string path);
  std::string DevicePath() const override;

  // Line settings of the next Open; 2400 baud 8E1 unless set. A serial
  // device server's line takes the server's own settings instead.
  void SetLine(const LineSettings& line) { line_ = line; }
  const LineSettings& Line() const { return line_; }

  // Opens the device (exclusively, raw, with `Line()`; a server connection is
  // connected) and starts both threads.
  // False when the port is already open or the device cannot be opened or
  // set up; the log then says why (missing, no permission naming the group
  // that may use it, busy, not a serial line). Throws std::runtime_error "Unable to create read
  // thread!" or "Unable to create write thread!" when a thread cannot be started (the port is then
  // closed).
  bool Open() override;
  // Stops both threads and closes the device; nothing when closed. Never
  // waits for the log's consumer or for the line.
  void Close() override;
  // Queues `count` bytes for the writer and returns at once. False when the
  // port is closed, `count` is 0, or the writer has ended after a failure.
  bool WriteCommData(const uint8_t* data, uint32_t count);
  bool WriteCommData(std::span<const uint8_t> data) override {
    return WriteCommData(data.data(), static_cast<uint32_t>(data.size()));
  }

  // The device is held (the "handle" is set); false once Close ran.
  bool IsOpen() const override { return device_ != nullptr; }
  // Logs the bytes received since the last " 收到数据：" line as one line.
  // The reader does so when a block ends (kReadInterval of silence); the
  // user interface does so before each line of its own, so a reply's line
  // always comes before the lines that follow from it.
  void FlushReceived() override;
  // Whether each thread still runs; false before Open, after Close and after
  // the thread ended on an I/O failure.
  bool Failed() const override {
    return device_ != nullptr && !(reader_running_.load() && writer_running_.load());
  }
  bool ReaderRunning() const { return reader_running_.load(); }
  bool WriterRunning() const { return writer_running_.load(); }

  bool Active() const { return active_; }
  uint8_t PortNumber() const { return port_number_; }
  const std::string& PortName() const override { return port_name_; }
  uint32_t BaudRate() const { return line_.BaudRate; }
  // The reader waits for the line without limit while no block is begun.
  uint32_t ReadWaitTimeout() const { return kInfinite; }
  uint32_t ReadIntervalTimeout() const { return static_cast<uint32_t>(kReadInterval.count()); }
  uint32_t InQueueSize() const { return kInQueueSize; }
  uint32_t OutQueueSize() const { return kOutQueueSize; }

 private:
  // Every port of the bench runs at 2400 baud, 8 data bits, even parity,
  // 1 stop bit unless `SetLine` says otherwise; no total time-outs on reads
  // or writes.
  static constexpr uint32_t kBaudRate = 2400;
  // A block ends after 100 ms without a byte: at 2400 baud 8E1 one
  // character takes 11 bits = 4.6 ms, so 100 ms is over 20 character times
  // of silence. A meter sends its reply frame without such gaps, so a reply
  // normally arrives as one block, and it reaches the ring 100 ms after its
  // last byte, well within the cycle's reply wait (1000 ms by default).
  static constexpr std::chrono::milliseconds kReadInterval{100};
  // Largest block the reader hands over at once (half the receive ring);
  // at 2400 baud 8E1 (218 characters a second) that is 19 s of
  // uninterrupted input.
  static constexpr uint32_t kInQueueSize = 4096;
  static constexpr uint32_t kOutQueueSize = 4096;

  void ReadLoop(SerialDevice& device, std::string port_name);
  void WriteLoop(SerialDevice& device, std::string port_name);
  void StopThreads();

  RecvRing& ring_;
  OperationLog& log_;
  bool active_ = false;
  uint8_t port_number_ = 1;
  std::string port_name_ = "COM1";
  std::string device_path_;
  LineSettings line_{kBaudRate, 8, Parity::kEven, 1};
  std::unique_ptr<SerialDevice> device_;
  std::thread reader_;
  std::thread writer_;
  std::atomic<bool> reader_running_{false};
  std::atomic<bool> writer_running_{false};

  // The writer's queue. `accepting_` is false while closed and once the
  // writer has ended after a failure; `stopping_` tells the writer to end.
  std::mutex received_mutex_;
  std::recursive_mutex flush_mutex_;
  std::vector<uint8_t> received_;  // received, not yet logged

  std::mutex queue_mutex_;
  std::condition_variable queue_cv_;
  std::deque<std::vector<uint8_t>> queue_;
  bool accepting_ = false;
  bool stopping_ = false;
};

}  // namespace qv
