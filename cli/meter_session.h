// One meter reached from the command line: the device opened as port 1 of
// a single-line bench, and one request at a time sent through the program's
// own transaction cycle (attempts, reply wait, ring scan, operation log).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "protocol/commands.h"
#include "protocol/cycle.h"
#include "protocol/event_pump.h"
#include "serial/serial_device.h"

namespace qv::cli {

// Exit codes of qorvantis-cli, each naming one kind of failure.
enum class Exit : int {
  kOk = 0,
  kBadArgument = 2,  // unknown option or subcommand, a value that cannot be sent
  kNoReply = 3,      // the meter did not answer within the attempts
  kBadReply = 4,     // only replies that were incomplete or failed their checksum
  kNoDevice = 5,     // the device, serial device server or factory server cannot be reached
  kNoJournal = 6,    // no results journal in the data folder, or it cannot be read
  kRefused = 7,      // the factory server refused: its schema, the role's rights, the name
  kNotInBuild = 8,   // this build has no PostgreSQL client (the Windows build)
  kNoReadings = 9,   // certificate: a meter has no readings in the journal, no record made
  kUnwritable = 10,  // certificate: a record cannot be written
};

// Why `device` could not be opened, for the tool's error line; `problem` is
// the device layer's reason for a local device.
std::string DeviceOpenError(const std::string& device, const std::string& problem);

// What became of one request.
struct Answer {
  Exit status = Exit::kNoReply;
  Bytes reply;  // kOk: the reply from its 68 through its 16
  Bytes sent;   // the frame of the last attempt sent
};

class MeterSession : private CycleClient {
 public:
  struct Options {
    std::string device;       // a serial device path or "tcp:HOST:PORT"
    LineSettings line;        // of a serial device (2400 baud 8E1 unless set)
    uint32_t wait_ms = 1000;  // reply wait of one attempt
    uint16_t attempts = 3;
    // Receives every line of the operation log (each frame sent and each
    // block received, in hex) when set.
    std::function<void(const std::string&)> trace;
  };

  explicit MeterSession(Options options);
  ~MeterSession() override;
  MeterSession(const MeterSession&) = delete;
  MeterSession& operator=(const MeterSession&) = delete;

  // Opens the device; false with `error` saying why.
  bool Open(std::string& error);
  // Sends `frame` (a request to `command`) with up to `attempts` attempts
  // until a correct reply to it comes from the meter the frame addresses
  // (any meter for the wildcard address). `expect_reply` false (a
  // broadcast): sent once, nothing awaited.
  Answer Ask(Command command, const Bytes& frame, bool expect_reply = true);
  // The same with the frame `build` gives at each attempt (a frame that
  // carries the time is built afresh for each); `build` gives a frame.
  Answer Ask(Command command, const FrameBuilder& build, bool expect_reply = true);

 private:
  bool RowAnswered(int row) const override;
  bool RecogniseReply(const ReplyHeader& header) const override;
  void HandleReply(std::span<const uint8_t> frame) override;
  void FlushTrace();

  Options options_;
  std::unique_ptr<SharedState> state_;
  HeadlessPump pump_;
  TransactionCycle cycle_;
  // The request being served.
  Command command_{};
  std::optional<AddressBytes> from_;  // nothing: any meter may answer
  Bytes reply_;
  bool bad_reply_ = false;
};

}  // namespace qv::cli
